#pragma once
#include <QString>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/AppServices.h"
#include "app/EventQueue.h"
#include "app/TallyhiveDlg.h"
#include "app/qt/QtPageBridge.h"

class QWebChannel;
class QWebEngineProfile;
class QWebEngineView;

namespace tallyhive {

class QtUserInterface;
class ResSchemeHandler;

// Receives what the injected page script reports through the web channel.
class PageChannelReceiver final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void pageClicked(const QVariantMap& message) { emit clicked(message); }
    Q_INVOKABLE void pagePainted(const QString& token) { emit painted(token); }
signals:
    void clicked(const QVariantMap& message);
    void painted(const QString& token);
};

// The browser page: which navigations it allows, and no windows of its own.
class TallyhivePage final : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
};

struct MainWindowConfig {
    std::string serviceRoot;     // normalised, ends in "/"
    std::string programUrlPath;  // the program file in URL path form
};

// The one window: the browser fills it, and it implements the window side of the shell. Clicks
// and page arrivals go through the event queue, one at a time, so a handler that waits (for a script
// answer, a message box, a measurement) never sees another start inside it.
class MainWindow final : public QWidget, public WindowHost {
    Q_OBJECT
public:
    MainWindow(const MainWindowConfig& config, QtUserInterface& ui, const ProgramInfo& program,
               AssessmentServices assessment, Remeasurer& remeasurer);
    ~MainWindow() override;

    // Centres the window and loads the agreement page; call once the window is shown.
    void Start();

    bool WindowExists() const override { return true; }
    MonitorList EnumerateMonitors() override;
    MonitorHandle MonitorOfWindow() override;
    bool GetPlacement(WindowPlacement& placement) override;
    bool SetPlacement(const WindowPlacement& placement) override;
    void Repaint() override { update(); }
    Rect ClientRect() override;
    double LogicalDpiX() override;
    double LogicalDpiY() override;
    bool BodyScrollSize(int& width, int& height) override;
    void CenterWindow() override;
    void Close(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PendingEvent {
        enum class Kind { Click, Arrival } kind = Kind::Click;
        QString url;  // the clicked document, or the page that arrived
        std::shared_ptr<QtPageElement> source;
        bool ok = true;
        quint64 serial = 0;
    };

    void OnClicked(const QVariantMap& message);
    void OnLoadFinished(bool ok);
    void Enqueue(PendingEvent event);
    void Handle(const PendingEvent& event);
    bool IsOurs(QObject* watched) const;
    double DevicePixelRatio() const;

    MainWindowConfig m_config;
    QtUserInterface& m_ui;
    // Destroyed in reverse order: the view before its page, the page before its profile, the
    // profile before the handler it uses.
    std::unique_ptr<ResSchemeHandler> m_schemeHandler;
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<PageChannelReceiver> m_receiver;
    std::unique_ptr<QWebChannel> m_channel;
    std::unique_ptr<TallyhivePage> m_page;
    std::unique_ptr<QWebEngineView> m_view;
    std::unique_ptr<QtPageBridge> m_bridge;
    std::unique_ptr<CTallyhiveDlg> m_dlg;

    EventQueue m_events;
    std::optional<int> m_closeResult;
    bool m_closing = false;
    quint64 m_paintToken = 0;
};

}  // namespace tallyhive
