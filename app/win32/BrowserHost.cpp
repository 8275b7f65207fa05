#include "app/win32/BrowserHost.h"

#include <exdispid.h>
#include <mshtml.h>
#include <oleauto.h>

#include <cstdio>

namespace tallyhive {

namespace {

using win32::ComPtr;

// Interfaces by their published identifiers: MinGW's import libraries lack some of them.
IID Iid(const wchar_t* text) {
    IID iid{};
    ::IIDFromString(text, &iid);
    return iid;
}

const IID kWebBrowser2 = Iid(L"{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
const IID kBrowserEvents2 = Iid(L"{34A715A0-6587-11D0-924A-0020AFC7AC4D}");
const IID kDocumentEvents = Iid(L"{3050F260-98B5-11CF-BB82-00AA00BDCE0B}");
const IID kDocHostUIHandler = Iid(L"{BD3F23C0-D43E-11CF-893B-00AA00BDCE1A}");
const IID kOleObject = Iid(L"{00000112-0000-0000-C000-000000000046}");
const IID kOleInPlaceObject = Iid(L"{00000113-0000-0000-C000-000000000046}");
const IID kOleWindow = Iid(L"{00000114-0000-0000-C000-000000000046}");
const IID kOleInPlaceUIWindow = Iid(L"{00000115-0000-0000-C000-000000000046}");
const IID kOleInPlaceFrame = Iid(L"{00000116-0000-0000-C000-000000000046}");
const IID kOleClientSite = Iid(L"{00000118-0000-0000-C000-000000000046}");
const IID kOleInPlaceSite = Iid(L"{00000119-0000-0000-C000-000000000046}");
const IID kConnectionPointContainer = Iid(L"{B196B284-BAB4-101A-B69C-00AA00341D07}");
const IID kOleInPlaceActiveObject = Iid(L"{00000117-0000-0000-C000-000000000046}");
constexpr const wchar_t* kWebBrowserClass = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
// The HTML document the control shows pages with: a system whose control has no HTML engine behind
// it would show an empty window that never reaches a page.
constexpr const wchar_t* kHtmlDocumentClass = L"{25336920-03F9-11CF-8FD0-00AA00686F13}";

std::string HresultText(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// The host flags: no 3-D border, no scroll bars of the control (the window takes the page's size),
// flat scroll bars inside pages, themed controls, DPI-aware rendering.
constexpr DWORD kHostFlags = 0x4004008C;

bool Connect(IUnknown* source, const IID& events, IDispatch* sink, ComPtr<IConnectionPoint>& point,
             DWORD& cookie) {
    ComPtr<IConnectionPointContainer> container;
    if (!source ||
        FAILED(source->QueryInterface(kConnectionPointContainer, reinterpret_cast<void**>(container.Put()))))
        return false;
    if (FAILED(container->FindConnectionPoint(events, point.Put()))) return false;
    return SUCCEEDED(point->Advise(sink, &cookie));
}

}  // namespace

HRESULT EventSink::QueryInterface(REFIID iid, void** out) noexcept {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_events) {
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) noexcept {
    *count = 0;
    return S_OK;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT* result, EXCEPINFO*,
                          UINT*) noexcept {
    if (result) ::VariantInit(result);
    try {
        if (m_handler) m_handler(id, parameters);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

BrowserHost::BrowserHost(HWND window, Callbacks callbacks)
    : m_window(window),
      m_callbacks(std::move(callbacks)),
      m_arrivals(*this),
      m_browserEvents([this](DISPID id, DISPPARAMS* parameters) {
          const std::optional<std::string> address =
              m_arrivals.OnBrowserEvent(id, parameters, m_browser.Get());
          // Checked once the notifications waiting now have been delivered: a DocumentComplete
          // among them would make it an ordinary arrival.
          if (id == DISPID_DOWNLOADCOMPLETE && m_arrivals.ReloadPending())
              ::PostMessageW(m_window, kReloadCheckMessage, 0, 0);
          if (!address) return;
          // Each document gets the click hook anew.
          ConnectDocumentEvents();
          if (m_callbacks.documentComplete) m_callbacks.documentComplete(*address);
      }),
      m_documentEvents([this](DISPID id, DISPPARAMS*) {
          if (m_callbacks.documentEvent) m_callbacks.documentEvent(id);
      }) {
    m_browserEvents.SetInterface(kBrowserEvents2);
    m_documentEvents.SetInterface(kDocumentEvents);
}

BrowserHost::~BrowserHost() {
    Disconnect(m_documentPoint, m_documentCookie);
    Disconnect(m_browserPoint, m_browserCookie);
    m_active.Reset();
    m_browser.Reset();
    if (m_object) {
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
    }
}

bool BrowserHost::Create(std::string& why) {
    CLSID documentClass{};
    ::CLSIDFromString(kHtmlDocumentClass, &documentClass);
    ComPtr<IUnknown> engine;
    const HRESULT hasEngine = ::CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                 reinterpret_cast<void**>(engine.Put()));
    if (FAILED(hasEngine)) {
        why = "the web browser control cannot be created: this system has no HTML engine for it (" +
              HresultText(hasEngine) + ")";
        return false;
    }
    engine.Reset();
    CLSID browserClass{};
    ::CLSIDFromString(kWebBrowserClass, &browserClass);
    const HRESULT created =
        ::CoCreateInstance(browserClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kOleObject,
                           reinterpret_cast<void**>(m_object.Put()));
    if (FAILED(created)) {
        why = "the web browser control cannot be created (" + HresultText(created) + ")";
        return false;
    }
    if (!Embed(std::move(m_object), why)) return false;
    if (FAILED(m_object->QueryInterface(kWebBrowser2, reinterpret_cast<void**>(m_browser.Put())))) {
        why = "the web browser control offers no browser interface";
        return false;
    }
    m_browser->put_Silent(VARIANT_TRUE);
    Connect(m_browser.Get(), kBrowserEvents2, &m_browserEvents, m_browserPoint, m_browserCookie);
    return true;
}

bool BrowserHost::Embed(ComPtr<IOleObject> control, std::string& why) {
    m_object = std::move(control);
    if (FAILED(m_object->SetClientSite(static_cast<IOleClientSite*>(this)))) {
        why = "the web browser control does not accept this window as its site";
        return false;
    }
    RECT area{};
    ::GetClientRect(m_window, &area);
    if (FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                                m_window, &area))) {
        why = "the web browser control cannot be shown in the window";
        return false;
    }
    // In place alone the control shows the page but has no keyboard: only a UI-active control
    // hands the frame its active object (SetActiveObject), which keys and frame activation go
    // through, and takes the focus. Without it the page still works with the mouse.
    UiActivate();
    return true;
}

void BrowserHost::UiActivate() {
    RECT area{};
    ::GetClientRect(m_window, &area);
    m_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, m_window, &area);
}

void BrowserHost::OnFrameActivate(bool active) {
    if (m_active) m_active->OnFrameWindowActivate(active ? TRUE : FALSE);
}

void BrowserHost::Focus() {
    if (m_object) UiActivate();
}

void BrowserHost::OnReloadCheck() {
    const std::optional<std::string> address = m_arrivals.ConfirmReload();
    if (!address) return;
    ConnectDocumentEvents();
    if (m_callbacks.documentComplete) m_callbacks.documentComplete(*address);
}

void BrowserHost::Resize() {
    ComPtr<IOleInPlaceObject> inPlace;
    if (!m_object ||
        FAILED(m_object->QueryInterface(kOleInPlaceObject, reinterpret_cast<void**>(inPlace.Put()))))
        return;
    RECT area{};
    ::GetClientRect(m_window, &area);
    inPlace->SetObjectRects(&area, &area);
}

bool BrowserHost::TranslateKey(MSG& message) {
    if (!m_active || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    return m_active->TranslateAccelerator(&message) == S_OK;
}

std::unique_ptr<DispatchElement> BrowserHost::EventSource() {
    const ComPtr<IDispatch> document = Document();
    VARIANT value;
    ::VariantInit(&value);
    ComPtr<IDispatch> window, event, source;
    auto child = [&](IDispatch* object, const wchar_t* name, ComPtr<IDispatch>& out) {
        if (!object || !dispatch::GetProperty(object, name, value)) return false;
        const bool ok =
            value.vt == VT_DISPATCH && value.pdispVal &&
            SUCCEEDED(value.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out.Put())));
        ::VariantClear(&value);
        return ok;
    };
    if (!child(document.Get(), L"parentWindow", window) || !child(window.Get(), L"event", event) ||
        !child(event.Get(), L"srcElement", source))
        return nullptr;
    return std::make_unique<DispatchElement>(std::move(source));
}

ComPtr<IDispatch> BrowserHost::Document() {
    ComPtr<IDispatch> document;
    if (m_browser) m_browser->get_Document(document.Put());
    return document;
}

void BrowserHost::Navigate(const std::wstring& url, const std::wstring* headers,
                           const std::string* postData) {
    if (!m_browser) return;
    win32::UniqueBstr address(url);
    VARIANT flags, frame, post, head;
    ::VariantInit(&flags);
    ::VariantInit(&frame);
    ::VariantInit(&post);
    ::VariantInit(&head);
    flags.vt = VT_I4;
    flags.lVal = 0;
    win32::UniqueBstr headerText(headers ? std::wstring_view(*headers) : std::wstring_view());
    if (headers) {
        head.vt = VT_BSTR;
        head.bstrVal = headerText.Get();
    }
    SAFEARRAY* bytes = nullptr;
    if (postData) {
        // Exactly the given bytes: the length is the array's, never a terminating zero.
        bytes = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(postData->size()));
        if (bytes) {
            void* data = nullptr;
            if (SUCCEEDED(::SafeArrayAccessData(bytes, &data))) {
                std::copy(postData->begin(), postData->end(), static_cast<char*>(data));
                ::SafeArrayUnaccessData(bytes);
            }
            post.vt = VT_ARRAY | VT_UI1;
            post.parray = bytes;
        }
    }
    m_browser->Navigate(address.Get(), &flags, &frame, &post, &head);
    if (bytes) ::SafeArrayDestroy(bytes);
}

void BrowserHost::Refresh() {
    if (m_browser) m_browser->Refresh();
}

HRESULT BrowserHost::QueryInterface(REFIID iid, void** out) noexcept {
    if (iid == IID_IUnknown || iid == kOleClientSite) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (iid == kOleInPlaceSite || iid == kOleWindow) {
        *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == kOleInPlaceFrame || iid == kOleInPlaceUIWindow) {
        *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (iid == kDocHostUIHandler) {
        *out = static_cast<IDocHostUIHandler*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

HRESULT BrowserHost::GetContainer(IOleContainer** container) noexcept {
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT BrowserHost::GetWindow(HWND* window) noexcept {
    *window = m_window;
    return S_OK;
}

HRESULT BrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                      LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) noexcept {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    *document = nullptr;
    ::GetClientRect(m_window, position);
    ::GetClientRect(m_window, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = m_window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT BrowserHost::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) noexcept {
    m_active.Reset();
    if (active) active->QueryInterface(kOleInPlaceActiveObject, reinterpret_cast<void**>(m_active.Put()));
    return S_OK;
}

HRESULT BrowserHost::GetHostInfo(DOCHOSTUIINFO* info) noexcept {
    info->dwFlags = kHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT BrowserHost::GetExternal(IDispatch** external) noexcept {
    *external = nullptr;
    return S_FALSE;
}

HRESULT BrowserHost::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) noexcept {
    *translated = nullptr;
    return S_FALSE;
}

HRESULT BrowserHost::FilterDataObject(IDataObject*, IDataObject** filtered) noexcept {
    *filtered = nullptr;
    return S_FALSE;
}

void BrowserHost::ConnectDocumentEvents() {
    Disconnect(m_documentPoint, m_documentCookie);
    const ComPtr<IDispatch> document = Document();
    Connect(document.Get(), kDocumentEvents, &m_documentEvents, m_documentPoint, m_documentCookie);
}

void BrowserHost::Disconnect(ComPtr<IConnectionPoint>& point, DWORD& cookie) {
    if (point && cookie) point->Unadvise(cookie);
    point.Reset();
    cookie = 0;
}

}  // namespace tallyhive
