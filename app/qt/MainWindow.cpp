#include "app/qt/MainWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QJsonObject>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <map>

#include "app/Addresses.h"
#include "app/ScriptText.h"
#include "app/qt/QtServices.h"
#include "app/qt/ResSchemeHandler.h"
#include "app/qt/TestLog.h"
#include "platform/Platform.h"

namespace tallyhive {

namespace {

int Round(double value) {
    return static_cast<int>(std::lround(value));
}

Rect ToDevice(const QRect& rect, double ratio) {
    return Rect{Round(rect.x() * ratio), Round(rect.y() * ratio), Round((rect.x() + rect.width()) * ratio),
                Round((rect.y() + rect.height()) * ratio)};
}

QRect FromDevice(const Rect& rect, double ratio) {
    const int left = Round(rect.left / ratio);
    const int top = Round(rect.top / ratio);
    return QRect(left, top, Round(rect.right / ratio) - left, Round(rect.bottom / ratio) - top);
}

QJsonObject GeometryJson(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {
        {QStringLiteral("frame"),
         QStringLiteral("%1,%2,%3x%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())},
        {QStringLiteral("client"), QStringLiteral("%1,%2,%3x%4")
                                       .arg(client.x())
                                       .arg(client.y())
                                       .arg(client.width())
                                       .arg(client.height())},
        {QStringLiteral("dpr"), window.devicePixelRatioF()}};
}

// Lets the page go when a handler ends, however it ends: the next event reads the page shown then.
class UnpinOnExit {
public:
    explicit UnpinOnExit(QtPageBridge& bridge) : m_bridge(bridge) {}
    UnpinOnExit(const UnpinOnExit&) = delete;
    UnpinOnExit& operator=(const UnpinOnExit&) = delete;
    ~UnpinOnExit() { m_bridge.Unpin(); }

private:
    QtPageBridge& m_bridge;
};

void LogFailure(std::string_view what) {
    if (what.empty()) {
        TestLog::Write(QStringLiteral("error"));
        return;
    }
    TestLog::Write(
        QStringLiteral("error"),
        {{QStringLiteral("what"), QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()))}});
}

}  // namespace

bool TallyhivePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    Q_UNUSED(isMainFrame);
    const QString scheme = url.scheme();
    // Web pages and the program's own; the engine itself keeps network pages away from "res".
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("res"))
        return true;
    if (url.toString() == QLatin1String("about:blank")) return true;
    // Files, other programs' schemes and pages written by a script stay out of the window.
    return scheme == QLatin1String("data") && type == NavigationTypeTyped;
}

QWebEnginePage* TallyhivePage::createWindow(WebWindowType) {
    return nullptr;  // one window only: links that ask for another one open nothing
}

MainWindow::MainWindow(const MainWindowConfig& config, QtUserInterface& ui, const ProgramInfo& program,
                       AssessmentServices assessment, Remeasurer& remeasurer)
    : m_config(config),
      m_ui(ui),
      m_events(
          ui, program, [] { return UiLanguage(); }, &LogFailure) {
    setWindowTitle(QStringLiteral("TALLYHIVE"));
    // A close box and a sizing frame; no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/resources/images/tallyhive-%1.png").arg(size), QSize(size, size));
    }
    setWindowIcon(icon);
    setContextMenuPolicy(Qt::NoContextMenu);

    const std::string softwareRoot = ServiceAddresses(config.serviceRoot).SoftwareRoot();
    m_schemeHandler = std::make_unique<ResSchemeHandler>(config.programUrlPath, softwareRoot);
    // No storage name: an off-the-record profile keeps cookies and cache in memory, so the program
    // writes no files of its own.
    m_profile = std::make_unique<QWebEngineProfile>();
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->installUrlSchemeHandler("res", m_schemeHandler.get());

    m_page = std::make_unique<TallyhivePage>(m_profile.get());
    QWebEngineSettings* settings = m_page->settings();
    // Scroll bars stay on for areas inside a page that scroll (the agreement's box); the view's own
    // are hidden by the injected page script, since the window is sized to the page instead.
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);

    m_receiver = std::make_unique<PageChannelReceiver>();
    m_channel = std::make_unique<QWebChannel>();
    m_channel->registerObject(QStringLiteral("tallyhiveHost"), m_receiver.get());
    // Only the injected script's world sees the channel; the pages' own scripts cannot call it.
    m_page->setWebChannel(m_channel.get(), QWebEngineScript::ApplicationWorld);
    QWebEngineScript hooks;
    hooks.setName(QStringLiteral("tallyhive-hooks"));
    hooks.setInjectionPoint(QWebEngineScript::DocumentCreation);
    hooks.setWorldId(QWebEngineScript::ApplicationWorld);
    hooks.setRunsOnSubFrames(false);
    hooks.setSourceCode(QString::fromUtf8(ReadResource(QStringLiteral(":/qtwebchannel/qwebchannel.js")) +
                                          "\n" + ReadResource(QStringLiteral(":/app/qt/page_hooks.js"))));
    m_page->scripts().insert(hooks);

    m_view = std::make_unique<QWebEngineView>();
    m_view->setPage(m_page.get());
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);  // owned by this window
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view.get());

    m_bridge = std::make_unique<QtPageBridge>(*m_page, config.programUrlPath);
    m_dlg = std::make_unique<CTallyhiveDlg>(
        DialogServices{*m_bridge, *this, ui, program, assessment, remeasurer, [] { return UiLanguage(); }},
        config.serviceRoot);

    connect(m_page.get(), &QWebEnginePage::loadStarted, this, [this] { m_bridge->OnLoadStarted(); });
    connect(m_page.get(), &QWebEnginePage::loadFinished, this, &MainWindow::OnLoadFinished);
    connect(m_receiver.get(), &PageChannelReceiver::clicked, this, &MainWindow::OnClicked);
    connect(m_receiver.get(), &PageChannelReceiver::painted, this, [](const QString& token) {
        TestLog::Write(QStringLiteral("painted"), {{QStringLiteral("token"), token}});
    });
    qApp->installEventFilter(this);

    // The least content size at scale 1; the first page sets the real size.
    resize(640, 320);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::Start() {
    m_dlg->OnDialogCreated();
}

double MainWindow::DevicePixelRatio() const {
    if (const QWindow* handle = windowHandle()) return handle->devicePixelRatio();
    return devicePixelRatioF();
}

MonitorList MainWindow::EnumerateMonitors() {
    MonitorList monitors;
    std::map<QString, int> seen;
    for (QScreen* screen : QGuiApplication::screens()) {
        const double ratio = screen->devicePixelRatio();
        // Entries are found by name, and an empty name means "no monitor": screens reported
        // without a name, or under one name twice, are told apart by their place in the list.
        QString name = screen->name();
        if (name.isEmpty()) name = QStringLiteral("screen");
        if (seen[name]++ > 0 || screen->name().isEmpty()) name += QStringLiteral("#%1").arg(seen[name]);
        monitors.push_back(MonitorEntry{ToDevice(screen->geometry(), ratio),
                                        ToDevice(screen->availableGeometry(), ratio), name.toStdString(),
                                        reinterpret_cast<MonitorHandle>(screen)});
    }
    return monitors;
}

MonitorHandle MainWindow::MonitorOfWindow() {
    const QRect frame = frameGeometry();
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(frame);
        const qint64 area = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (best == nullptr) best = QGuiApplication::primaryScreen();
    return reinterpret_cast<MonitorHandle>(best);
}

bool MainWindow::GetPlacement(WindowPlacement& placement) {
    const double ratio = DevicePixelRatio();
    if (isMinimized() || isMaximized() || isFullScreen()) {
        // The restored rectangle: the normal client geometry with today's frame around it.
        const QRect normal = normalGeometry();
        const QMargins frame(
            geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
            frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
        placement.normal = ToDevice(normal.marginsAdded(frame), ratio);
        placement.showState = isMinimized() ? ShowState::Minimized : ShowState::Maximized;
        return true;
    }
    placement.showState = ShowState::Normal;
    placement.normal = ToDevice(frameGeometry(), ratio);
    return true;
}

bool MainWindow::SetPlacement(const WindowPlacement& placement) {
    // Qt offers no portable way to change the restored size of a maximised or minimised window
    // without restoring it; such a window is left as it is.
    if (isMinimized() || isMaximized() || isFullScreen()) return false;
    const QRect frame = FromDevice(placement.normal, DevicePixelRatio());
    const QRect current = frameGeometry();
    const QRect client = geometry();
    const QRect target(frame.x() + (client.x() - current.x()), frame.y() + (client.y() - current.y()),
                       frame.width() - (current.width() - client.width()),
                       frame.height() - (current.height() - client.height()));
    if (target.width() <= 0 || target.height() <= 0) return false;
    setGeometry(target);
    return true;
}

Rect MainWindow::ClientRect() {
    const double ratio = DevicePixelRatio();
    return Rect{0, 0, Round(width() * ratio), Round(height() * ratio)};
}

double MainWindow::LogicalDpiX() {
    const QScreen* on = screen();
    return on ? on->logicalDotsPerInchX() * DevicePixelRatio() : 96.0;
}

double MainWindow::LogicalDpiY() {
    const QScreen* on = screen();
    return on ? on->logicalDotsPerInchY() * DevicePixelRatio() : 96.0;
}

bool MainWindow::BodyScrollSize(int& width, int& height) {
    return m_bridge->BodyScrollSize(width, height);
}

void MainWindow::CenterWindow() {
    // The window has no owner: it is centred on the monitor it is on (where the desktop or
    // -qwindowgeometry put it), in that monitor's work area.
    const auto* on = reinterpret_cast<const QScreen*>(MonitorOfWindow());
    if (on == nullptr) return;
    const QRect area = on->availableGeometry();
    const QRect frame = frameGeometry();
    move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}

void MainWindow::Close(int result) {
    m_closeResult = result;
    // Nothing queued behind the command that closes the window runs any more.
    m_events.Close();
    if (!m_events.Busy()) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A command or arrival is still running inside a nested loop: the window closes once it has
    // returned, never under it.
    if (m_events.Busy()) {
        if (!m_closeResult) m_closeResult = CTallyhiveDlg::kCancelResult;
        m_events.Close();
        event->ignore();
        return;
    }
    m_closing = true;
    m_events.Close();
    TestLog::Write(QStringLiteral("closed"),
                   {{QStringLiteral("result"), m_closeResult.value_or(CTallyhiveDlg::kCancelResult)}});
    event->accept();
}

bool MainWindow::IsOurs(QObject* watched) const {
    if (watched == windowHandle()) return true;
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && widget->window() == this;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) && IsOurs(watched)) {
        // No right button in any page: no context menu, and the page's own menus stay shut too.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
    } else if (type == QEvent::ContextMenu && IsOurs(watched)) {
        return true;
    } else if (type == QEvent::Wheel && IsOurs(watched)) {
        // Ctrl with the wheel would zoom the page; the wheel alone scrolls as usual.
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if ((wheel->modifiers() | QGuiApplication::queryKeyboardModifiers()) & Qt::ControlModifier)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::OnClicked(const QVariantMap& message) {
    PendingEvent pending;
    pending.kind = PendingEvent::Kind::Click;
    pending.url = message.value(QStringLiteral("page")).toString();
    pending.source = QtPageElement::FromVariant(message.value(QStringLiteral("source")));
    pending.serial = m_bridge->LoadSerial();
    TestLog::Write(
        QStringLiteral("click"),
        {{QStringLiteral("url"), pending.url},
         {QStringLiteral("id"), pending.source ? QString::fromStdString(pending.source->Id()) : QString()}});
    // Handled once the channel's message has been delivered: while the page's message is still being
    // dispatched, scripts run in the page never answer, and a command that reads the page would wait
    // in vain.
    auto shared = std::make_shared<PendingEvent>(std::move(pending));
    QTimer::singleShot(0, this, [this, shared] { Enqueue(std::move(*shared)); });
}

void MainWindow::OnLoadFinished(bool ok) {
    PendingEvent pending;
    pending.kind = PendingEvent::Kind::Arrival;
    pending.url = m_page->url().toString(QUrl::FullyEncoded);
    pending.ok = ok;
    pending.serial = m_bridge->LoadSerial();
    TestLog::Write(QStringLiteral("arrived"),
                   {{QStringLiteral("url"), pending.url}, {QStringLiteral("ok"), ok}});
    Enqueue(std::move(pending));
}

void MainWindow::Enqueue(PendingEvent event) {
    if (m_closing) return;
    m_events.Post([this, event = std::move(event)] { Handle(event); });
    // The command that asked for the window to close has returned: it closes now.
    if (m_closeResult && !m_events.Busy()) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::Handle(const PendingEvent& event) {
    const UnpinOnExit unpin(*m_bridge);
    const std::string url = event.url.toStdString();
    if (event.kind == PendingEvent::Kind::Click) {
        // Both the page that was clicked and the page shown now must be ours or the service's: a
        // click queued behind a command must not act on a page that has come in meanwhile.
        const std::string shown = m_page->url().toString(QUrl::FullyEncoded).toStdString();
        if (!IsTrustedPage(shown, m_config.serviceRoot, m_config.programUrlPath)) return;
        m_bridge->Pin(m_bridge->LoadSerial());
        m_dlg->OnPageEvent(CTallyhiveDlg::kClickEvent, event.source.get(), url);
        return;
    }
    // Another load has started since this one finished: its own arrival follows.
    if (event.serial != m_bridge->LoadSerial()) return;
    m_bridge->Pin(event.serial);
    if (event.ok) {
        m_dlg->OnPageArrived(url);
    } else {
        // The browser's error page: nothing of ours is in it, but it is shown and fitted.
        m_dlg->FitWindowToPage();
    }
    QJsonObject fields = GeometryJson(*this);
    fields.insert(QStringLiteral("url"), event.url);
    fields.insert(QStringLiteral("ok"), event.ok);
    TestLog::Write(QStringLiteral("handled"), fields);
    if (TestLog::Enabled()) {
        const QString token = QString::number(++m_paintToken) + QLatin1Char(' ') + event.url;
        m_page->runJavaScript(
            QStringLiteral("window.__tallyhiveReportPainted && window.__tallyhiveReportPainted(%1)")
                .arg(QString::fromStdString(JsonStringLiteral(token.toStdString()))),
            QWebEngineScript::ApplicationWorld);
    }
}

}  // namespace tallyhive
