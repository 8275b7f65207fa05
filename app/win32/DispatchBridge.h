#pragma once
#include <windows.h>

#include <oaidl.h>

#include <memory>
#include <optional>
#include <string>

#include "app/PageBridge.h"
#include "platform/win32/Win32Util.h"

// The page bridge of the Windows program, over the browser's document object model reached through
// late binding (IDispatch): the same names a page script uses ("all", "Script", "body",
// "innerHTML"), so tests can drive it with dispatch objects of their own.
namespace tallyhive {

// What the bridge needs of the browser control itself.
class BrowserControl {
public:
    virtual ~BrowserControl() = default;
    // The document of the page shown now, with a reference of its own; null when there is none.
    virtual win32::ComPtr<IDispatch> Document() = 0;
    // Starts a navigation: flags 0, no target frame; post data as a byte array of its exact length.
    virtual void Navigate(const std::wstring& url, const std::wstring* headers,
                          const std::string* postData) = 0;
    virtual void Refresh() = 0;
};

// The address in a document-complete notification (arguments: the browser whose document finished,
// then the address) when it is the one for `browser`'s own top-level document. Empty for a frame's
// document, which notifies too, and for a notification without an address.
std::optional<std::string> TopLevelDocumentAddress(const DISPPARAMS* parameters, IUnknown* browser);

// Which of the browser's notifications (DWebBrowserEvents2, by DISPID) mean that a page has
// arrived, and with which address. DocumentComplete of the control's own document does. A reload
// (Refresh, F5) fires none: only a DownloadBegin and DownloadComplete that no navigation began. Once
// such a download has completed with the document complete, the host checks again after the
// notifications waiting behind it (ConfirmReload, from a posted message); unless a DocumentComplete
// came meanwhile, the page shown has arrived again.
class PageArrivals {
public:
    explicit PageArrivals(BrowserControl& browser) : m_browser(browser) {}
    // `control`: the browser object itself, to tell its own document from a frame's.
    std::optional<std::string> OnBrowserEvent(DISPID id, const DISPPARAMS* parameters, IUnknown* control);
    // A reload has completed and waits for ConfirmReload.
    bool ReloadPending() const { return m_reloadCompleted; }
    // The address shown, when the reload that completed was not followed by a DocumentComplete.
    std::optional<std::string> ConfirmReload();

private:
    bool DocumentIsComplete();

    BrowserControl& m_browser;
    std::string m_shown;  // the address of the last page that arrived
    bool m_navigating = false;
    bool m_reloading = false;
    bool m_reloadCompleted = false;
};

// An element of the shown page, held by its dispatch interface.
class DispatchElement final : public PageElement {
public:
    explicit DispatchElement(win32::ComPtr<IDispatch> element) : m_element(std::move(element)) {}
    std::string Id() const override;
    std::string TagName() const override;
    std::unique_ptr<PageElement> Parent() const override;
    IDispatch* Get() const { return m_element.Get(); }

private:
    win32::ComPtr<IDispatch> m_element;
};

class DispatchPageBridge final : public PageBridge {
public:
    DispatchPageBridge(BrowserControl& browser, std::string programPath)
        : m_browser(browser), m_programPath(std::move(programPath)) {}

    bool QueryElementProperty(std::string_view id, std::string_view name, std::string& value) override;
    bool QueryObjectProperty(const PageElement* element, std::string_view name, std::string& value) override;
    bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) override;
    void SetElementHtml(std::string_view id, std::string_view html) override;
    void SetElementText(std::string_view id, std::string_view text) override;
    void NavigateTo(std::string_view url, std::string_view headers, const std::string* postData) override;
    void ReloadPage() override;
    void LoadBuiltInPage(int resourceNumber) override;

    // The shown page's body scroll size, as the fitting reads it.
    bool BodyScrollSize(int& width, int& height);

private:
    win32::ComPtr<IDispatch> ElementById(std::string_view id);

    BrowserControl& m_browser;
    std::string m_programPath;
};

// Late-binding helpers, also used by the tests' fakes.
namespace dispatch {
// Reads property `name` of `object` as a variant; false when there is no such member or the read fails.
bool GetProperty(IDispatch* object, std::wstring_view name, VARIANT& value,
                 LCID locale = LOCALE_USER_DEFAULT);
bool PutProperty(IDispatch* object, std::wstring_view name, const VARIANT& value);
// A variant as text through the platform's conversion; false when it has none.
bool ToText(const VARIANT& value, std::string& text);
}  // namespace dispatch

}  // namespace tallyhive
