#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/AppServices.h"
#include "assessment/Services.h"

namespace tallyhive {

// Measuring again on Linux: the runner the program carries runs on a worker thread while a modal
// window shows its output as it comes and the time elapsed. No other command can run meanwhile and
// the page stays as it was, but the main window keeps painting.
class ProgressRemeasurer final : public Remeasurer {
public:
    ProgressRemeasurer(FileService& files, const TimeService& time, std::function<std::string()> uiLanguage);
    void SetOwner(QWidget* owner) { m_owner = owner; }
    RemeasureResult Remeasure(const std::function<bool()>& loadLatest) override;
    // Removes what earlier runs had to leave in the temporary folder; the program calls it when it
    // starts and when it ends.
    void RemoveEarlierRunners();

private:
    FileService& m_files;
    const TimeService& m_time;
    std::function<std::string()> m_uiLanguage;
    QPointer<QWidget> m_owner;
};

}  // namespace tallyhive
