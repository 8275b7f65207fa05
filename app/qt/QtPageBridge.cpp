#include "app/qt/QtPageBridge.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <charconv>
#include <cmath>

#include "app/Addresses.h"
#include "app/ScriptText.h"

namespace tallyhive {

namespace {

QString Literal(std::string_view text) {
    return QString::fromStdString(JsonStringLiteral(text));
}

QString NumberLiteral(double value) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

QUrl ToUrl(std::string_view text) {
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QUrl url(string, QUrl::StrictMode);
    if (!url.isValid()) url = QUrl(string, QUrl::TolerantMode);
    return url;
}

// A read in the isolated world that answers {ok, v}: an exception and a missing property both
// come back as a failed read rather than as an undefined value that looks like an empty text.
std::optional<std::string> ReadAnswer(const std::optional<QVariant>& answer) {
    if (!answer) return std::nullopt;
    const QVariantMap map = answer->toMap();
    if (!map.value(QStringLiteral("ok")).toBool()) return std::nullopt;
    return map.value(QStringLiteral("v")).toString().toStdString();
}

}  // namespace

std::unique_ptr<QtPageElement> QtPageElement::FromVariant(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantMap) return nullptr;
    const QVariantMap map = value.toMap();
    auto element = std::make_unique<QtPageElement>();
    element->m_id = map.value(QStringLiteral("id")).toString().toStdString();
    element->m_tag = map.value(QStringLiteral("tag")).toString().toStdString();
    if (map.value(QStringLiteral("hasHref")).toBool()) {
        element->m_href = map.value(QStringLiteral("href")).toString().toStdString();
    }
    if (std::unique_ptr<QtPageElement> parent = FromVariant(map.value(QStringLiteral("parent")))) {
        element->m_parent = std::move(parent);
    }
    return element;
}

std::unique_ptr<PageElement> QtPageElement::Parent() const {
    if (!m_parent) return nullptr;
    return std::make_unique<QtPageElement>(*m_parent);
}

bool QtPageElement::Property(std::string_view name, std::string& value) const {
    if (name == "href") {
        if (!m_href) return false;
        value = *m_href;
        return true;
    }
    if (name == "id") {
        value = m_id;
        return true;
    }
    if (name == "tagName") {
        value = m_tag;
        return true;
    }
    return false;
}

QtPageBridge::QtPageBridge(QWebEnginePage& page, std::string programUrlPath)
    : m_page(page), m_programUrlPath(std::move(programUrlPath)) {}

bool QtPageBridge::PageUsable() const {
    if (m_pinned && *m_pinned != m_loadSerial) return false;
    return !(m_unresponsive && *m_unresponsive == m_loadSerial);
}

std::optional<QVariant> QtPageBridge::Run(const QString& script, quint32 world) {
    if (!PageUsable()) return std::nullopt;
    struct Answer {
        bool done = false;
        QVariant value;
    };
    // A script sent right after a navigation that changed the page's process can be dropped on
    // the way without an answer ever coming. It is sent again after a short wait; a page that
    // answers none of the attempts is given up as unresponsive.
    auto answer = std::make_shared<Answer>();
    for (int attempt = 0; attempt < kScriptAttempts && !answer->done; ++attempt) {
        QEventLoop loop;
        QPointer<QEventLoop> guard(&loop);
        m_page.runJavaScript(script, world, [answer, guard](const QVariant& value) {
            if (answer->done) return;
            answer->done = true;
            answer->value = value;
            if (guard) guard->quit();
        });
        if (answer->done) break;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(attempt + 1 < kScriptAttempts ? kScriptRetryMs : kScriptTimeoutMs);
        // Input waits until the answer is in; page events that arrive meanwhile are queued by the
        // window and handled after the running handler has returned.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!answer->done) {
        m_unresponsive = m_loadSerial;
        return std::nullopt;
    }
    // The page may have started another load while we waited; its answer is then not ours.
    if (m_pinned && *m_pinned != m_loadSerial) return std::nullopt;
    return answer->value;
}

bool QtPageBridge::QueryElementProperty(std::string_view id, std::string_view name, std::string& value) {
    const QString script = QStringLiteral(
                               "(function () { try {"
                               " var e = document.getElementById(%1); if (!e) return {ok: false};"
                               " var n = %2; if (!(n in e)) return {ok: false};"
                               " return {ok: true, v: String(e[n])};"
                               " } catch (x) { return {ok: false}; } })()")
                               .arg(Literal(id), Literal(name));
    const std::optional<std::string> read = ReadAnswer(Run(script, QWebEngineScript::ApplicationWorld));
    if (!read) return false;
    value = *read;
    return true;
}

bool QtPageBridge::QueryObjectProperty(const PageElement* element, std::string_view name,
                                       std::string& value) {
    const auto* clicked = dynamic_cast<const QtPageElement*>(element);
    if (clicked == nullptr) return false;
    return clicked->Property(name, value);
}

bool QtPageBridge::CallPageScript(std::string_view function, std::span<const ScriptArg> args) {
    QString list;
    for (const ScriptArg& arg : args) {
        if (!list.isEmpty()) list += QLatin1Char(',');
        if (const auto* text = std::get_if<std::string>(&arg)) {
            list += Literal(*text);
        } else {
            list += NumberLiteral(std::get<double>(arg));
        }
    }
    // The page's own functions live in its main world; names and arguments go in as literals.
    const QString script = QStringLiteral(
                               "(function () { try {"
                               " var f = window[%1]; if (typeof f !== 'function') return 'missing';"
                               " f.apply(window, [%2]); return 'ok';"
                               " } catch (x) { return 'error'; } })()")
                               .arg(Literal(function), list);
    const std::optional<QVariant> answer = Run(script, QWebEngineScript::MainWorld);
    return answer && answer->toString() == QLatin1String("ok");
}

void QtPageBridge::SetElementHtml(std::string_view id, std::string_view html) {
    Run(QStringLiteral("(function () { var e = document.getElementById(%1); if (e) e.innerHTML = %2; "
                       "return true; })()")
            .arg(Literal(id), Literal(html)),
        QWebEngineScript::ApplicationWorld);
}

void QtPageBridge::SetElementText(std::string_view id, std::string_view text) {
    Run(QStringLiteral("(function () { var e = document.getElementById(%1); if (e) e.innerText = %2; "
                       "return true; })()")
            .arg(Literal(id), Literal(text)),
        QWebEngineScript::ApplicationWorld);
}

void QtPageBridge::NavigateTo(std::string_view url, std::string_view headers, const std::string* postData) {
    QWebEngineHttpRequest request(ToUrl(url),
                                  postData ? QWebEngineHttpRequest::Post : QWebEngineHttpRequest::Get);
    // Header lines "Name: value", each ended by CR LF.
    std::string_view rest = headers;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        request.setHeader(QByteArray(line.data(), static_cast<qsizetype>(colon)),
                          QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    }
    if (postData) {
        request.setPostData(QByteArray(postData->data(), static_cast<qsizetype>(postData->size())));
    }
    m_page.load(request);
}

void QtPageBridge::ReloadPage() {
    m_page.triggerAction(QWebEnginePage::Reload);
}

void QtPageBridge::LoadBuiltInPage(int resourceNumber) {
    m_page.load(
        QUrl(QString::fromStdString(BuiltInPageAddress(m_programUrlPath, resourceNumber)), QUrl::StrictMode));
}

bool QtPageBridge::BodyScrollSize(int& width, int& height) {
    const std::optional<QVariant> answer =
        Run(QStringLiteral("(function () { var b = document.body; if (!b) return null;"
                           " return [b.scrollWidth, b.scrollHeight]; })()"),
            QWebEngineScript::ApplicationWorld);
    if (!answer) return false;
    const QVariantList sizes = answer->toList();
    if (sizes.size() != 2) return false;
    bool okWidth = false;
    bool okHeight = false;
    const int w = sizes[0].toInt(&okWidth);
    const int h = sizes[1].toInt(&okHeight);
    if (!okWidth || !okHeight) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace tallyhive
