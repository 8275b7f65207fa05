// The browser control's host against a control of our own that activates as the OLE pages say:
// the keyboard reaches the page only once the control is UI active.
#include "app/win32/BrowserHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace tallyhive {
namespace {

using win32::ComPtr;

#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

IID Iid(const wchar_t* text) {
    IID iid{};
    ::IIDFromString(text, &iid);
    return iid;
}

// An embedded control, as "IOleObject::DoVerb", "OLEIVERB_INPLACEACTIVATE", "OLEIVERB_UIACTIVATE"
// and "IOleInPlaceUIWindow::SetActiveObject" describe it. In-place activation shows the control
// without its user interface: no active object for the frame, no keyboard focus. UI activation (in
// place first if it is not yet) tells the site (OnUIActivate), hands the frame and document windows
// the control's active object (SetActiveObject), through which the container passes keys and frame
// activation, and takes the keyboard focus.
class ActivatingControl final : public IOleObject, public IOleInPlaceActiveObject {
public:
    std::vector<LONG> verbs;
    std::vector<BOOL> frameActivations;
    int focusTaken = 0;
    int keysOffered = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == Iid(L"{00000112-0000-0000-C000-000000000046}")) {
            *out = static_cast<IOleObject*>(this);
        } else if (iid == Iid(L"{00000117-0000-0000-C000-000000000046}") ||
                   iid == Iid(L"{00000114-0000-0000-C000-000000000046}")) {
            *out = static_cast<IOleInPlaceActiveObject*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        m_site.Reset();
        if (site) site->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(m_site.Put()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override {
        verbs.push_back(verb);
        ComPtr<IOleInPlaceSite> inPlace;
        if (!site ||
            FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(inPlace.Put()))))
            return E_UNEXPECTED;
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_UIACTIVATE) return OLEOBJ_S_INVALIDVERB;
        if (!m_inPlace) {
            if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
            inPlace->OnInPlaceActivate();
            m_inPlace = true;
        }
        if (verb == OLEIVERB_UIACTIVATE) {
            if (!m_uiActive) {
                inPlace->OnUIActivate();
                IOleInPlaceFrame* frame = nullptr;
                IOleInPlaceUIWindow* document = nullptr;
                RECT position{}, clip{};
                OLEINPLACEFRAMEINFO info{};
                info.cb = sizeof info;
                if (FAILED(inPlace->GetWindowContext(&frame, &document, &position, &clip, &info)))
                    return E_FAIL;
                if (frame) {
                    frame->SetActiveObject(this, L"page");
                    frame->Release();
                }
                if (document) {
                    document->SetActiveObject(this, L"page");
                    document->Release();
                }
                m_uiActive = true;
            }
            ++focusTaken;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = nullptr;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // The page takes navigation keys such as Tab.
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG) override {
        ++keysOffered;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL active) override {
        frameActivations.push_back(active);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    ComPtr<IOleObject> Held() {
        ComPtr<IOleObject> out;
        QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out.Put()));
        return out;
    }

private:
    ULONG m_references = 1;
    ComPtr<IOleClientSite> m_site;
    bool m_inPlace = false;
    bool m_uiActive = false;
};

// Tab, Enter and Space on the page's buttons, Ctrl+C and F5 work without a click first, and the
// control hears when the window is activated and when it gets the focus.
TEST(BrowserHost, ThePageHasTheKeyboardFromTheStart) {
    ActivatingControl control;
    {
        BrowserHost host(nullptr, {});
        std::string why;
        ASSERT_TRUE(host.Embed(control.Held(), why)) << why;
        EXPECT_EQ(control.focusTaken, 1) << "the page has the focus once shown";
        MSG tab{nullptr, WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(host.TranslateKey(tab)) << "the page takes Tab";
        EXPECT_EQ(control.keysOffered, 1);

        host.OnFrameActivate(false);
        host.OnFrameActivate(true);
        EXPECT_EQ(control.frameActivations, (std::vector<BOOL>{FALSE, TRUE}));
        host.Focus();
        EXPECT_EQ(control.focusTaken, 2) << "the focus the window gets goes on to the page";
    }
}

}  // namespace
}  // namespace tallyhive
