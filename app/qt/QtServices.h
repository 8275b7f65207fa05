#pragma once
#include <QPointer>
#include <QWidget>
#include <string>

#include "app/AppServices.h"

namespace tallyhive {

// Message boxes and the user's browser through Qt.
class QtUserInterface final : public UserInterface {
public:
    // Boxes are modal on the main window once there is one.
    void SetOwner(QWidget* owner) { m_owner = owner; }
    MessageAnswer ShowMessage(std::string_view caption, std::string_view text, MessageKind kind) override;
    void OpenUrl(std::string_view url) override;

private:
    QPointer<QWidget> m_owner;
};

class QtProgramInfo final : public ProgramInfo {
public:
    // `programPath`: the program file as the built-in pages' addresses spell it (URL path form);
    // `filePath`: the same file as the file system names it.
    QtProgramInfo(std::string programPath, std::string filePath)
        : m_path(std::move(programPath)), m_filePath(std::move(filePath)) {}
    std::string ProgramPath() const override { return m_path; }
    std::string ProgramFilePath() const override { return m_filePath; }
    std::string ProductVersion() const override;

private:
    std::string m_path;
    std::string m_filePath;
};

}  // namespace tallyhive
