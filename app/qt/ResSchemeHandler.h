#pragma once
#include <QByteArray>
#include <QString>
#include <QWebEngineUrlSchemeHandler>
#include <string>

namespace tallyhive {

// The bytes of a file built into the program (a Qt resource path, ":/..."); empty when there is none.
QByteArray ReadResource(const QString& path);

// Serves the program's own pages and pictures under the "res" scheme, at the addresses the
// Windows program uses: "res://" + program path + "/129" for a page; pictures lie beside the pages
// at "res://" + program path + "/PNG/130".
class ResSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    ResSchemeHandler(std::string programUrlPath, std::string softwareRoot, QObject* parent = nullptr);
    // Before QApplication: the scheme's flags keep pages from the network away from it.
    static void RegisterScheme();
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    std::string ImageAddress(int number) const;

    std::string m_programUrlPath;
    std::string m_softwareRoot;
};

}  // namespace tallyhive
