#pragma once
#include <windows.h>

#include <exdisp.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <functional>
#include <memory>
#include <string>

#include "app/win32/DispatchBridge.h"

namespace tallyhive {

// COM interfaces have no virtual destructor by design: objects are released, never deleted through
// an interface. The host owns these objects and outlives the control, so Release only counts.
// Every COM method is noexcept: a C++ exception cannot cross into the control that calls it, so
// those that run code of ours catch everything and answer E_FAIL.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Receives the events of a dispatch event interface (the browser's or the document's) as calls.
class EventSink final : public IDispatch {
public:
    using Handler = std::function<void(DISPID id, DISPPARAMS* parameters)>;
    explicit EventSink(Handler handler) : m_handler(std::move(handler)) {}
    void SetInterface(const IID& events) { m_events = events; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO*, UINT*) noexcept override;

private:
    Handler m_handler;
    IID m_events{};
};

// The web browser control in place in a window: its client site, in-place site and frame, and the
// document host handler that sets the host flags and keeps the context menu shut.
class BrowserHost final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public BrowserControl {
public:
    struct Callbacks {
        std::function<void(const std::string& url)> documentComplete;
        std::function<void(DISPID id)> documentEvent;
    };
    // Posted to the window after a reload has completed; the window passes it to OnReloadCheck.
    static constexpr UINT kReloadCheckMessage = WM_APP + 1;

    BrowserHost(HWND window, Callbacks callbacks);
    ~BrowserHost();
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;

    // Creates the control and activates it in the window; false with the reason when it cannot.
    bool Create(std::string& why);
    // Takes `control` as the control in the window and activates it there (Create's second half).
    bool Embed(win32::ComPtr<IOleObject> control, std::string& why);
    // The window has been activated or deactivated (WM_ACTIVATE).
    void OnFrameActivate(bool active);
    // The window has the keyboard focus (WM_SETFOCUS): the page takes it.
    void Focus();
    void Resize();
    // Keys go to the page first; true when the control took the message.
    bool TranslateKey(MSG& message);
    // A reload that no DocumentComplete followed is the page shown arriving again.
    void OnReloadCheck();
    // The element the current document event started on.
    std::unique_ptr<DispatchElement> EventSource();

    // BrowserControl
    win32::ComPtr<IDispatch> Document() override;
    void Navigate(const std::wstring& url, const std::wstring* headers, const std::string* postData) override;
    void Refresh() override;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowObject() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }
    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) noexcept override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }
    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) noexcept override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) noexcept override { return S_OK; }
    // IOleInPlaceUIWindow and IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) noexcept override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) noexcept override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) noexcept override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) noexcept override { return S_FALSE; }
    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) noexcept override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR*, DWORD) noexcept override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget**) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) noexcept override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) noexcept override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** filtered) noexcept override;

private:
    // UI activation: the control takes the keyboard focus.
    void UiActivate();
    void ConnectDocumentEvents();
    void Disconnect(win32::ComPtr<IConnectionPoint>& point, DWORD& cookie);

    HWND m_window;
    Callbacks m_callbacks;
    win32::ComPtr<IOleObject> m_object;
    win32::ComPtr<IWebBrowser2> m_browser;
    win32::ComPtr<IOleInPlaceActiveObject> m_active;
    PageArrivals m_arrivals;
    EventSink m_browserEvents;
    EventSink m_documentEvents;
    win32::ComPtr<IConnectionPoint> m_browserPoint, m_documentPoint;
    DWORD m_browserCookie = 0, m_documentCookie = 0;
};

#pragma GCC diagnostic pop

}  // namespace tallyhive
