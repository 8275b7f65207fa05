// The Windows page bridge driven against dispatch objects of our own, under Wine: element lookup,
// property reads, script calls with their arguments in order, content changes and navigation.
#include "app/win32/DispatchBridge.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/Addresses.h"

namespace tallyhive {
namespace {

using win32::ComPtr;
using win32::Narrow;
using win32::Wide;

// COM interfaces have no virtual destructor by design: objects are released, never deleted through
// the interface.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// A scriptable object: named properties (texts, numbers or other objects) and methods. The test owns
// every fake, so Release only counts.
class FakeDispatch final : public IDispatch {
public:
    using Method = std::function<HRESULT(const std::vector<VARIANT>& firstParameterFirst, VARIANT* result)>;

    std::map<std::wstring, std::wstring> texts;
    std::map<std::wstring, long> numbers;
    std::map<std::wstring, FakeDispatch*> objects;
    std::map<std::wstring, Method> methods;
    std::vector<std::pair<std::wstring, std::wstring>> puts;  // property, text

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1) return E_INVALIDARG;
        const std::wstring name = names[0];
        if (!texts.count(name) && !numbers.count(name) && !objects.count(name) && !methods.count(name) &&
            name != L"innerHTML" && name != L"innerText")
            return DISP_E_UNKNOWNNAME;
        m_names.push_back(name);
        ids[0] = static_cast<DISPID>(m_names.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id < 1 || static_cast<std::size_t>(id) > m_names.size()) return DISP_E_MEMBERNOTFOUND;
        const std::wstring& name = m_names[static_cast<std::size_t>(id) - 1];
        if (flags & DISPATCH_PROPERTYPUT) {
            const VARIANT& value = parameters->rgvarg[0];
            puts.emplace_back(name, value.vt == VT_BSTR
                                        ? std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal))
                                        : std::wstring());
            return S_OK;
        }
        if (const auto method = methods.find(name); method != methods.end() && (flags & DISPATCH_METHOD)) {
            std::vector<VARIANT> ordered;
            for (UINT i = parameters->cArgs; i-- > 0;) ordered.push_back(parameters->rgvarg[i]);
            return method->second(ordered, result);
        }
        if (result) ::VariantInit(result);
        if (const auto text = texts.find(name); text != texts.end()) {
            result->vt = VT_BSTR;
            result->bstrVal = ::SysAllocString(text->second.c_str());
        } else if (const auto number = numbers.find(name); number != numbers.end()) {
            result->vt = VT_I4;
            result->lVal = number->second;
        } else if (const auto object = objects.find(name); object != objects.end()) {
            result->vt = VT_DISPATCH;
            result->pdispVal = object->second;
            if (object->second) object->second->AddRef();
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        return S_OK;
    }

private:
    ULONG m_references = 1;
    std::vector<std::wstring> m_names;
};

class FakeBrowser final : public BrowserControl {
public:
    FakeDispatch* document = nullptr;
    std::vector<std::string> navigations;
    int refreshes = 0;

    ComPtr<IDispatch> Document() override {
        ComPtr<IDispatch> out;
        if (document) document->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out.Put()));
        return out;
    }
    void Navigate(const std::wstring& url, const std::wstring* headers,
                  const std::string* postData) override {
        navigations.push_back(Narrow(url) + "|" + (headers ? Narrow(*headers) : "-") + "|" +
                              (postData ? *postData : "-"));
    }
    void Refresh() override { ++refreshes; }
};

// A page: a document with "all", "Script" and "body", and a few elements.
struct Page {
    FakeDispatch document, all, script, body, button, paragraph, container;
    std::vector<std::vector<std::string>> calls;

    Page() {
        document.objects = {{L"all", &all}, {L"Script", &script}, {L"body", &body}};
        body.numbers = {{L"scrollWidth", 500}, {L"scrollHeight", 200}};
        container.texts = {{L"id", L""}, {L"tagName", L"DIV"}};
        button.texts = {{L"id", L"open_page"}, {L"tagName", L"BUTTON"}, {L"name", L"42"}, {L"value", L""}};
        button.objects = {{L"parentElement", &container}};
        paragraph.texts = {{L"id", L"system_information"}, {L"tagName", L"P"}};
        all.methods[L"item"] = [this](const std::vector<VARIANT>& args, VARIANT* result) {
            ::VariantInit(result);
            const std::wstring id(args.at(0).bstrVal, ::SysStringLen(args.at(0).bstrVal));
            FakeDispatch* found = id == L"open_page"            ? &button
                                  : id == L"system_information" ? &paragraph
                                                                : nullptr;
            if (found) {
                result->vt = VT_DISPATCH;
                result->pdispVal = found;
                found->AddRef();
            } else {
                result->vt = VT_NULL;
            }
            return S_OK;
        };
        script.methods[L"setBarValue"] = [this](const std::vector<VARIANT>& args, VARIANT*) {
            std::vector<std::string> call;
            for (const VARIANT& arg : args) {
                std::string text;
                dispatch::ToText(arg, text);
                call.push_back(text);
            }
            calls.push_back(call);
            return S_OK;
        };
    }
};

TEST(DispatchPageBridge, ReadsPropertiesOfElementsByIdentifier) {
    Page page;
    FakeBrowser browser;
    browser.document = &page.document;
    DispatchPageBridge bridge(browser, "C:\\Program\\tallyhive.exe");
    struct Case {
        const char* id;
        const char* property;
        bool found;
        const char* value;
    };
    const Case cases[] = {
        {"open_page", "name", true, "42"},
        {"open_page", "value", true, ""},  // an empty property still reads
        {"open_page", "href", false, "unchanged"},
        {"missing", "name", false, "unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + "." + c.property);
        std::string value = "unchanged";
        EXPECT_EQ(bridge.QueryElementProperty(c.id, c.property, value), c.found);
        EXPECT_EQ(value, c.value);
    }
    browser.document = nullptr;
    std::string value = "unchanged";
    EXPECT_FALSE(bridge.QueryElementProperty("open_page", "name", value)) << "no page yet";
}

TEST(DispatchPageBridge, ScriptArgumentsArriveFirstParameterFirst) {
    Page page;
    FakeBrowser browser;
    browser.document = &page.document;
    DispatchPageBridge bridge(browser, "C:\\Program\\tallyhive.exe");
    const ScriptArg args[] = {std::string("#cpu_score"), std::string("7.9"), std::string("#F51D90"), 640.0};
    EXPECT_TRUE(bridge.CallPageScript("setBarValue", args));
    ASSERT_EQ(page.calls.size(), 1u);
    EXPECT_EQ(page.calls[0], (std::vector<std::string>{"#cpu_score", "7.9", "#F51D90", "640"}));
    EXPECT_FALSE(bridge.CallPageScript("noSuchFunction", args));
    EXPECT_TRUE(bridge.CallPageScript("setBarValue", {})) << "no arguments";
}

TEST(DispatchPageBridge, ChangesContentAndNavigates) {
    Page page;
    FakeBrowser browser;
    browser.document = &page.document;
    DispatchPageBridge bridge(browser, "C:\\Program\\tallyhive.exe");
    bridge.SetElementHtml("system_information", "Windows 7 <b>Ultimate</b>");
    bridge.SetElementText("system_information", "a < b");
    bridge.SetElementText("missing", "nothing happens");
    EXPECT_EQ(page.paragraph.puts,
              (std::vector<std::pair<std::wstring, std::wstring>>{
                  {L"innerHTML", L"Windows 7 <b>Ultimate</b>"}, {L"innerText", L"a < b"}}));

    const std::string body("a=%37&b=\0c", 10);
    bridge.NavigateTo("http://127.0.0.1:8470/as/responses/add/tallyhive",
                      "Content-type: application/x-www-form-urlencoded\r\n", &body);
    bridge.LoadBuiltInPage(129);
    bridge.ReloadPage();
    ASSERT_EQ(browser.navigations.size(), 2u);
    EXPECT_EQ(browser.navigations[0],
              "http://127.0.0.1:8470/as/responses/add/tallyhive|Content-type: "
              "application/x-www-form-urlencoded\r\n|" +
                  body)
        << "the post data keeps its exact length";
    EXPECT_EQ(browser.navigations[1], "res://C:\\Program\\tallyhive.exe/129|-|-");
    EXPECT_EQ(browser.refreshes, 1);

    int width = 0, height = 0;
    EXPECT_TRUE(bridge.BodyScrollSize(width, height));
    EXPECT_EQ(width, 500);
    EXPECT_EQ(height, 200);
}

TEST(DispatchElement, IdTagAndParent) {
    Page page;
    FakeDispatch* raw = &page.button;
    raw->AddRef();
    ComPtr<IDispatch> held;
    *held.Put() = raw;
    const DispatchElement element(std::move(held));
    EXPECT_EQ(element.Id(), "open_page");
    EXPECT_EQ(element.TagName(), "BUTTON");
    const auto parent = element.Parent();
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->TagName(), "DIV");
    EXPECT_EQ(parent->Id(), "");
    EXPECT_FALSE(parent->Parent());
}

// Page arrival: the control's own document completing, not a frame's inside it.
TEST(TopLevelDocumentAddress, OnlyTheControlsOwnDocumentArrives) {
    FakeDispatch control, frame;
    win32::UniqueBstr url(std::wstring_view(L"http://127.0.0.1:8470/as/software/tallyhive/start.php"));
    VARIANT address;
    ::VariantInit(&address);
    address.vt = VT_BSTR;
    address.bstrVal = url.Get();
    VARIANT byReference;
    ::VariantInit(&byReference);
    byReference.vt = VT_BYREF | VT_VARIANT;
    byReference.pvarVal = &address;
    VARIANT empty;
    ::VariantInit(&empty);
    auto from = [](FakeDispatch* browser) {
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_DISPATCH;
        value.pdispVal = browser;
        return value;
    };
    const std::string start = "http://127.0.0.1:8470/as/software/tallyhive/start.php";
    struct Case {
        const char* why;
        std::vector<VARIANT> lastFirst;  // as the notification passes them
        std::optional<std::string> want;
    };
    const Case cases[] = {
        {"the control's page, address by reference", {byReference, from(&control)}, start},
        {"the control's page, address by value", {address, from(&control)}, start},
        {"a frame inside the page", {byReference, from(&frame)}, std::nullopt},
        {"no address: still the page", {empty, from(&control)}, std::string()},
        {"too few arguments", {byReference}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<VARIANT> args = c.lastFirst;
        DISPPARAMS parameters{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        EXPECT_EQ(TopLevelDocumentAddress(&parameters, &control), c.want);
    }
    EXPECT_EQ(TopLevelDocumentAddress(nullptr, &control), std::nullopt);
}

// The browser control showing a page the program carries, as the "res Protocol" and
// "DocumentComplete event" pages describe it: the module path in a res: address is percent-encoded,
// so the browser decodes it to find the module, and an unencoded '#' ends the path (what follows is a
// fragment). The page is then reported in the browser's own qualified form, which need not be the
// text it was told to open: here every character beyond a few safe ones is percent-encoded, as UTF-8,
// with lower-case digits. A module that cannot be found shows the browser's own error page.
class ResProtocolBrowser final : public BrowserControl {
public:
    explicit ResProtocolBrowser(std::wstring module) : m_module(std::move(module)) {}
    std::vector<std::string> reported;  // the addresses of DocumentComplete, in order

    ComPtr<IDispatch> Document() override { return {}; }
    void Navigate(const std::wstring& url, const std::wstring*, const std::string*) override {
        reported.push_back(Open(url));
    }
    void Refresh() override {}

    static constexpr const char* kErrorPage = "res://ieframe.dll/navcancl.htm";

private:
    std::string Open(std::wstring url) const {
        const std::wstring scheme = L"res://";
        if (url.compare(0, scheme.size(), scheme) != 0) return kErrorPage;
        url =
            url.substr(scheme.size(), url.find(L'#') == std::wstring::npos ? std::wstring::npos
                                                                           : url.find(L'#') - scheme.size());
        const std::size_t slash = url.rfind(L'/');
        if (slash == std::wstring::npos) return kErrorPage;
        std::wstring module = url.substr(0, slash);
        const std::wstring number = url.substr(slash + 1);
        // Escapes are bytes of UTF-8 (Wine's UrlUnescapeW does not read them so, hence by hand).
        std::string bytes;
        const std::string text = Narrow(module);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() &&
                std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
                i += 2;
            } else {
                bytes.push_back(text[i]);
            }
        }
        const std::wstring decoded = Wide(bytes);
        if (::CompareStringOrdinal(decoded.c_str(), -1, m_module.c_str(), -1, TRUE) != CSTR_EQUAL)
            return kErrorPage;
        std::string qualified = "res://";
        for (unsigned char c : Narrow(decoded)) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                std::string_view(":\\._-").find(static_cast<char>(c)) != std::string_view::npos) {
                qualified.push_back(static_cast<char>(c));
            } else {
                const char digits[] = "0123456789abcdef";
                qualified += {'%', digits[c >> 4], digits[c & 15]};
            }
        }
        return qualified + "/" + Narrow(number);
    }

    std::wstring m_module;
};

// The agreement pages must count as the program's own wherever the program is installed, or their
// "agree" button does nothing.
TEST(BuiltInPage, TheProgramsOwnPageIsTrustedWhereverItLies) {
    const std::string root = "http://127.0.0.1:8470/as/";
    const wchar_t* const paths[] = {
        L"C:\\Tools\\tallyhive.exe",
        L"C:\\Program Files\\TALLYHIVE\\tallyhive.exe",
        L"D:\\Tools #2\\tallyhive.exe",
        L"C:\\100%20 sure\\tallyhive.exe",
        L"C:\\Users\\\u5c71\u7530\\\u30c4\u30fc\u30eb\\tallyhive.exe",
    };
    for (const wchar_t* path : paths) {
        const std::string program = Narrow(path);
        SCOPED_TRACE(program);
        ResProtocolBrowser browser(path);
        DispatchPageBridge bridge(browser, program);
        bridge.LoadBuiltInPage(kAgreementEnglish);
        ASSERT_EQ(browser.reported.size(), 1u);
        const std::string& shown = browser.reported[0];
        EXPECT_NE(shown, ResProtocolBrowser::kErrorPage) << "the browser finds the program's page";
        auto programAt = [](std::string modulePath) {
            return [modulePath](std::string_view url, int number) {
                return win32::IsResourcePageAddress(url, modulePath, number);
            };
        };
        EXPECT_TRUE(IsTrustedPage(shown, root, programAt(program))) << shown;
        EXPECT_FALSE(IsTrustedPage(shown, root, programAt("C:\\Other\\tallyhive.exe")))
            << "another program's page";
        std::string otherCase = program;
        for (char& c : otherCase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(IsTrustedPage(shown, root, programAt(otherCase))) << "file names have no letter case";
    }
}

// The browser control's notifications (DWebBrowserEvents2) around what it shows, as its pages
// describe them. Navigate: BeforeNavigate2, DownloadBegin, DownloadComplete (fired for every
// navigation, while the page before is still the document and reads "complete"), NavigateComplete2,
// and DocumentComplete once the new document's readyState is "complete" ("DownloadComplete event",
// "DocumentComplete event"). Refresh reloads the document with DownloadBegin and DownloadComplete
// only: no BeforeNavigate2, NavigateComplete2 or DocumentComplete ("Refresh method").
class NotifyingBrowser final : public BrowserControl {
public:
    FakeDispatch control;  // the browser object the notifications name
    FakeDispatch document;
    std::vector<std::string> arrivals;

    NotifyingBrowser() { document.texts[L"readyState"] = L"uninitialized"; }

    ComPtr<IDispatch> Document() override {
        ComPtr<IDispatch> out;
        document.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out.Put()));
        return out;
    }
    void Navigate(const std::wstring& url, const std::wstring*, const std::string*) override {
        Fire(DISPID_BEFORENAVIGATE2, url);
        Fire(DISPID_DOWNLOADBEGIN);
        Fire(DISPID_DOWNLOADCOMPLETE);
        Fire(DISPID_NAVIGATECOMPLETE2, url);
        document.texts[L"readyState"] = L"loading";
        document.texts[L"readyState"] = L"complete";
        Fire(DISPID_DOCUMENTCOMPLETE, url);
    }
    void Refresh() override {
        Fire(DISPID_DOWNLOADBEGIN);
        document.texts[L"readyState"] = L"loading";
        document.texts[L"readyState"] = L"complete";
        Fire(DISPID_DOWNLOADCOMPLETE);
    }
    // The host's message loop once the notifications are over: a completed reload is confirmed.
    void Idle() {
        if (const auto arrived = m_arrivals.ConfirmReload()) arrivals.push_back(*arrived);
    }

private:
    // With a URL: the notification's (pDisp, URL, ...) arguments, passed last first.
    void Fire(DISPID id, const std::wstring& url = {}) {
        win32::UniqueBstr text(url);
        std::vector<VARIANT> lastFirst;
        if (!url.empty()) {
            VARIANT address, from;
            ::VariantInit(&address);
            ::VariantInit(&from);
            address.vt = VT_BSTR;
            address.bstrVal = text.Get();
            from.vt = VT_DISPATCH;
            from.pdispVal = &control;
            lastFirst = {address, from};
        }
        DISPPARAMS parameters{lastFirst.empty() ? nullptr : lastFirst.data(), nullptr,
                              static_cast<UINT>(lastFirst.size()), 0};
        if (const auto arrived = m_arrivals.OnBrowserEvent(id, &parameters, &control))
            arrivals.push_back(*arrived);
    }

    PageArrivals m_arrivals{*this};
};

// Every page shown arrives once, a reloaded one too ("reload", F5): its result is filled in again,
// the start page checks the version again and the window is fitted.
TEST(PageArrivals, EveryShownPageArrivesOnceReloadsIncluded) {
    const std::string start = "http://127.0.0.1:8470/as/software/tallyhive/start.php?lang=en";
    const std::string result = "http://127.0.0.1:8470/as/software/tallyhive/result_20.php";
    NotifyingBrowser browser;
    DispatchPageBridge bridge(browser, "C:\\Program\\tallyhive.exe");
    bridge.NavigateTo(start, "", nullptr);
    browser.Idle();
    EXPECT_EQ(browser.arrivals, (std::vector<std::string>{start})) << "a navigation arrives once";
    bridge.ReloadPage();
    browser.Idle();
    EXPECT_EQ(browser.arrivals, (std::vector<std::string>{start, start})) << "a reload arrives";
    bridge.NavigateTo(result, "", nullptr);
    browser.Idle();
    bridge.ReloadPage();
    browser.Idle();
    EXPECT_EQ(browser.arrivals, (std::vector<std::string>{start, start, result, result}));
}

}  // namespace
}  // namespace tallyhive
