#pragma once
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "app/PageBridge.h"

class QWebEnginePage;

namespace tallyhive {

// An element of a page as it was when it was clicked: the click listener sends what the commands
// need (id, tag name, the address of a link, the parent) with the click, so the host never has to
// find the element again after the page may have changed.
class QtPageElement final : public PageElement {
public:
    // Null when the map does not describe an element.
    static std::unique_ptr<QtPageElement> FromVariant(const QVariant& value);

    std::string Id() const override { return m_id; }
    std::string TagName() const override { return m_tag; }
    std::unique_ptr<PageElement> Parent() const override;
    // "href", "id" and "tagName" are known; any other property counts as unreadable.
    bool Property(std::string_view name, std::string& value) const;

private:
    std::string m_id;
    std::string m_tag;
    std::optional<std::string> m_href;
    std::shared_ptr<const QtPageElement> m_parent;
};

// The page bridge over Qt WebEngine. Script calls are answered asynchronously by the engine; each
// bridge call waits for its answer in a local event loop, bounded by a time-out, so a hung page
// gives a failed call instead of a hung program.
class QtPageBridge final : public PageBridge {
public:
    QtPageBridge(QWebEnginePage& page, std::string programUrlPath);
    QtPageBridge(const QtPageBridge&) = delete;
    QtPageBridge& operator=(const QtPageBridge&) = delete;

    bool QueryElementProperty(std::string_view id, std::string_view name, std::string& value) override;
    bool QueryObjectProperty(const PageElement* element, std::string_view name, std::string& value) override;
    bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) override;
    void SetElementHtml(std::string_view id, std::string_view html) override;
    void SetElementText(std::string_view id, std::string_view text) override;
    void NavigateTo(std::string_view url, std::string_view headers = {},
                    const std::string* postData = nullptr) override;
    void ReloadPage() override;
    void LoadBuiltInPage(int resourceNumber) override;

    bool BodyScrollSize(int& width, int& height);

    // Every load the page starts counts one up. While a handler runs for one page, the host pins
    // the bridge to it: once another load has started, reads and writes fail instead of reaching
    // a different page than the one the handler was called for.
    void OnLoadStarted() { ++m_loadSerial; }
    quint64 LoadSerial() const { return m_loadSerial; }
    void Pin(quint64 serial) { m_pinned = serial; }
    void Unpin() { m_pinned.reset(); }

    static constexpr int kScriptTimeoutMs = 10000;
    static constexpr int kScriptRetryMs = 300;
    static constexpr int kScriptAttempts = 3;

private:
    // Runs `script` (an expression) in `world` and waits for its value; nullopt on time-out or
    // when the pinned page has gone.
    std::optional<QVariant> Run(const QString& script, quint32 world);
    bool PageUsable() const;

    QWebEnginePage& m_page;
    std::string m_programUrlPath;
    quint64 m_loadSerial = 0;
    std::optional<quint64> m_pinned;
    // A page that let one call time out is not waited for again until the next load.
    std::optional<quint64> m_unresponsive;
};

}  // namespace tallyhive
