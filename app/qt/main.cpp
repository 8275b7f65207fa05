// tallyhive: the desktop program on Linux.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>
#include <exception>

#include "app/Addresses.h"
#include "app/AppServices.h"
#include "app/TallyhiveApp.h"
#include "app/qt/MainWindow.h"
#include "app/qt/ProgressRemeasurer.h"
#include "app/qt/QtServices.h"
#include "app/qt/ResSchemeHandler.h"
#include "platform/HostServices.h"
#include "platform/Platform.h"
#include "tallyhive_version.h"

namespace {

int Fail(const QString& text) {
    std::fprintf(stderr, "tallyhive: %s\n", qPrintable(text));
    return 2;
}

// The program's options. Parsed twice: once before any window system is needed, for --help and
// --version, and once more by the real application, after Qt has taken its own options (such as
// -qwindowgeometry) out of the arguments.
struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption serviceRoot{
        QStringLiteral("service-root"),
        QStringLiteral("Root address of the web service (default: %1).")
            .arg(QString::fromUtf8(tallyhive::DefaultServiceRoot().data(),
                                   static_cast<qsizetype>(tallyhive::DefaultServiceRoot().size()))),
        QStringLiteral("URL")};
    QCommandLineOption windowsDir{
        QStringLiteral("windows-dir"),
        QStringLiteral("The Windows directory whose assessment datastore is read (default: $WINDIR)."),
        QStringLiteral("DIR")};

    CommandLine() {
        parser.setApplicationDescription(
            QStringLiteral("Shows, re-measures and shares the Windows Experience Index."));
        parser.addOption(serviceRoot);
        parser.addOption(windowsDir);
    }
};

}  // namespace

int main(int argc, char** argv) try {
    using namespace tallyhive;
    QCoreApplication::setApplicationName(QStringLiteral("tallyhive"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYHIVE_VERSION));
    // Set before any application object exists, the probe below included.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ResSchemeHandler::RegisterScheme();
    {
        // Help and version answer without a display: a console application reads them. Other
        // problems wait for the real parse, which no longer sees Qt's own window-system options.
        QCoreApplication probe(argc, argv);
        CommandLine early;
        early.parser.parse(QCoreApplication::arguments());
        if (early.parser.isSet(early.version)) {
            std::printf("tallyhive %s\n", TALLYHIVE_VERSION);
            return 0;
        }
        if (early.parser.isSet(early.help) || early.parser.isSet(QStringLiteral("help-all"))) {
            std::fputs(qPrintable(early.parser.helpText()), stdout);
            return 0;
        }
    }

    // Chromium refuses to start as root with its sandbox on; that is all a root session changes.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The window places and sizes itself to fit each page, which only X11 lets a program do: under
    // a Wayland session it runs through XWayland, unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);

    CommandLine commandLine;
    const QCommandLineParser& parser = commandLine.parser;
    if (!commandLine.parser.parse(QCoreApplication::arguments())) {
        return Fail(QStringLiteral("%1 (see --help)").arg(parser.errorText()));
    }
    const QCommandLineOption& serviceRootOption = commandLine.serviceRoot;
    const QCommandLineOption& windowsDirOption = commandLine.windowsDir;
    if (!parser.positionalArguments().isEmpty()) {
        return Fail(QStringLiteral("unexpected argument '%1' (see --help)")
                        .arg(parser.positionalArguments().first()));
    }

    std::string root;
    std::string why;
    const std::string givenRoot = parser.isSet(serviceRootOption)
                                      ? parser.value(serviceRootOption).toStdString()
                                      : std::string(DefaultServiceRoot());
    if (!NormalizeServiceRoot(givenRoot, root, why)) {
        return Fail(QStringLiteral("--service-root %1: %2")
                        .arg(QString::fromStdString(givenRoot), QString::fromStdString(why)));
    }
    // As the browser will report page addresses, so the prefix test on them matches.
    const QUrl rootUrl(QString::fromStdString(root), QUrl::StrictMode);
    if (!rootUrl.isValid() || rootUrl.host().isEmpty()) {
        return Fail(
            QStringLiteral("--service-root %1: not a valid address").arg(QString::fromStdString(givenRoot)));
    }
    root = rootUrl.toString(QUrl::FullyEncoded).toStdString();
    if (root.empty() || root.back() != '/') root.push_back('/');

    std::string windowsDir;
    if (parser.isSet(windowsDirOption)) {
        const QString dir = parser.value(windowsDirOption);
        if (!QFileInfo(dir).isDir())
            return Fail(QStringLiteral("--windows-dir %1: no such directory").arg(dir));
        windowsDir = QDir(dir).absolutePath().toStdString();
        // The assessment tool that measuring again starts writes into the same Windows directory.
        qputenv("WINDIR", QByteArray::fromStdString(windowsDir));
    }

    // The program file in the form the built-in pages' addresses carry it.
    QUrl programUrl;
    programUrl.setPath(QCoreApplication::applicationFilePath());
    const std::string programUrlPath = programUrl.path(QUrl::FullyEncoded).toStdString();

    QtUserInterface ui;
    QtProgramInfo program(programUrlPath, QCoreApplication::applicationFilePath().toStdString());
    const std::unique_ptr<FileService> files = MakeFileService(windowsDir);
    const std::unique_ptr<TimeService> time = MakeTimeService();
    const std::unique_ptr<ModuleService> modules = MakeModuleService();
    const std::unique_ptr<XmlParser> xml = MakeXmlParser();
    ProgressRemeasurer remeasurer(*files, *time, [] { return UiLanguage(); });
    const std::unique_ptr<InstanceLock> lock = MakeInstanceLock();

    StartUpServices services{*lock, ui, program, [] { return UiLanguage(); }};
    const bool refused = CTallyhiveApp().StartUp(services, [&] {
        remeasurer.RemoveEarlierRunners();
        MainWindow window(MainWindowConfig{root, programUrlPath}, ui, program,
                          AssessmentServices{*files, *time, *modules, *xml}, remeasurer);
        ui.SetOwner(&window);
        remeasurer.SetOwner(&window);
        window.show();
        window.Start();
        QApplication::exec();
        ui.SetOwner(nullptr);
        remeasurer.RemoveEarlierRunners();
    });
    return refused ? 1 : 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "tallyhive: %s\n", error.what());
    return 1;
}
