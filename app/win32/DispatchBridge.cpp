#include "app/win32/DispatchBridge.h"

#include <exdispid.h>
#include <oleauto.h>

#include <deque>
#include <vector>

namespace tallyhive {

namespace {

using win32::ComPtr;
using win32::Narrow;
using win32::Wide;

// Releases what a variant holds, whatever it is.
class ScopedVariant {
public:
    ScopedVariant() { ::VariantInit(&m_value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    ~ScopedVariant() { ::VariantClear(&m_value); }
    VARIANT& Get() { return m_value; }

private:
    VARIANT m_value;
};

bool MemberId(IDispatch* object, std::wstring_view name, LCID locale, DISPID& id) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, locale, &id));
}

ComPtr<IDispatch> DispatchOf(VARIANT& value) {
    ComPtr<IDispatch> object;
    if (value.vt == VT_DISPATCH && value.pdispVal) {
        value.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.Put()));
    }
    return object;
}

ComPtr<IDispatch> ChildObject(IDispatch* object, const wchar_t* name) {
    ScopedVariant value;
    if (!object || !dispatch::GetProperty(object, name, value.Get())) return {};
    return DispatchOf(value.Get());
}

}  // namespace

namespace dispatch {

bool GetProperty(IDispatch* object, std::wstring_view name, VARIANT& value, LCID locale) {
    DISPID id = 0;
    if (!object || !MemberId(object, name, locale, id)) return false;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ::VariantClear(&value);
    return SUCCEEDED(
        object->Invoke(id, IID_NULL, locale, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
}

bool PutProperty(IDispatch* object, std::wstring_view name, const VARIANT& value) {
    DISPID id = 0;
    if (!object || !MemberId(object, name, LOCALE_USER_DEFAULT, id)) return false;
    VARIANT argument = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &named, 1, 1};
    return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters,
                                    nullptr, nullptr, nullptr));
}

bool ToText(const VARIANT& value, std::string& text) {
    ScopedVariant converted;
    if (FAILED(::VariantChangeType(&converted.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR))) return false;
    const BSTR bstr = converted.Get().bstrVal;
    text = bstr ? Narrow(std::wstring_view(bstr, ::SysStringLen(bstr))) : std::string();
    return true;
}

}  // namespace dispatch

namespace {

// Whether a notification's browser argument is the control itself: a frame's notifications name
// the frame's own browser object. Compared by identity, as COM defines it.
bool IsControl(const VARIANT& from, IUnknown* control) {
    if (!control || from.vt != VT_DISPATCH || !from.pdispVal) return true;
    ComPtr<IUnknown> notified, ours;
    from.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(notified.Put()));
    control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ours.Put()));
    return notified && notified.Get() == ours.Get();
}

}  // namespace

std::optional<std::string> TopLevelDocumentAddress(const DISPPARAMS* parameters, IUnknown* browser) {
    // DocumentComplete(pDisp, URL): the arguments come last first.
    if (!parameters || parameters->cArgs < 2) return std::nullopt;
    const VARIANT& url = parameters->rgvarg[0];
    if (!IsControl(parameters->rgvarg[1], browser)) return std::nullopt;
    const VARIANT* text = url.vt == (VT_BYREF | VT_VARIANT) ? url.pvarVal : &url;
    if (!text || text->vt != VT_BSTR || !text->bstrVal) return std::string();
    return Narrow(std::wstring_view(text->bstrVal, ::SysStringLen(text->bstrVal)));
}

std::optional<std::string> PageArrivals::OnBrowserEvent(DISPID id, const DISPPARAMS* parameters,
                                                        IUnknown* control) {
    switch (id) {
        case DISPID_BEFORENAVIGATE2:
            // BeforeNavigate2(pDisp, ...): the browser argument comes last. A frame's own navigation
            // ends in no DocumentComplete of the control's, so it is left out.
            if (parameters && parameters->cArgs > 0 &&
                IsControl(parameters->rgvarg[parameters->cArgs - 1], control)) {
                m_navigating = true;
                m_reloading = m_reloadCompleted = false;
            }
            return std::nullopt;
        case DISPID_DOWNLOADBEGIN:
            // A download that no navigation began reloads the page shown.
            if (!m_navigating && !m_shown.empty()) m_reloading = true;
            return std::nullopt;
        case DISPID_DOWNLOADCOMPLETE:
            // Every navigation fires this too, the page before still reading "complete": only a
            // reload counts, and only once its document has loaded.
            if (m_reloading && DocumentIsComplete()) m_reloadCompleted = true;
            m_reloading = false;
            return std::nullopt;
        case DISPID_DOCUMENTCOMPLETE: {
            std::optional<std::string> address = TopLevelDocumentAddress(parameters, control);
            if (!address) return std::nullopt;
            m_shown = *address;
            m_navigating = m_reloading = m_reloadCompleted = false;
            return address;
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::string> PageArrivals::ConfirmReload() {
    if (!m_reloadCompleted) return std::nullopt;
    m_reloadCompleted = false;
    return m_shown;
}

bool PageArrivals::DocumentIsComplete() {
    const ComPtr<IDispatch> document = m_browser.Document();
    ScopedVariant state;
    std::string text;
    return document && dispatch::GetProperty(document.Get(), L"readyState", state.Get()) &&
           dispatch::ToText(state.Get(), text) && text == "complete";
}

std::string DispatchElement::Id() const {
    ScopedVariant value;
    std::string text;
    if (dispatch::GetProperty(m_element.Get(), L"id", value.Get())) dispatch::ToText(value.Get(), text);
    return text;
}

std::string DispatchElement::TagName() const {
    ScopedVariant value;
    std::string text;
    if (dispatch::GetProperty(m_element.Get(), L"tagName", value.Get())) dispatch::ToText(value.Get(), text);
    return text;
}

std::unique_ptr<PageElement> DispatchElement::Parent() const {
    ComPtr<IDispatch> parent = ChildObject(m_element.Get(), L"parentElement");
    if (!parent) return nullptr;
    return std::make_unique<DispatchElement>(std::move(parent));
}

ComPtr<IDispatch> DispatchPageBridge::ElementById(std::string_view id) {
    const ComPtr<IDispatch> document = m_browser.Document();
    const ComPtr<IDispatch> all = ChildObject(document.Get(), L"all");
    if (!all) return {};
    // all.item(id): the element with that identifier.
    DISPID item = 0;
    if (!MemberId(all.Get(), L"item", LOCALE_USER_DEFAULT, item)) return {};
    const win32::UniqueBstr key(Wide(id));
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = key.Get();
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    ScopedVariant result;
    if (FAILED(all->Invoke(item, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                           &parameters, &result.Get(), nullptr, nullptr)))
        return {};
    return DispatchOf(result.Get());
}

bool DispatchPageBridge::QueryElementProperty(std::string_view id, std::string_view name,
                                              std::string& value) {
    const ComPtr<IDispatch> element = ElementById(id);
    if (!element) return false;
    ScopedVariant read;
    std::string text;
    if (!dispatch::GetProperty(element.Get(), Wide(name), read.Get()) || !dispatch::ToText(read.Get(), text))
        return false;
    value = std::move(text);
    return true;
}

bool DispatchPageBridge::QueryObjectProperty(const PageElement* element, std::string_view name,
                                             std::string& value) {
    const auto* ours = dynamic_cast<const DispatchElement*>(element);
    if (!ours || !ours->Get()) return false;
    ScopedVariant read;
    std::string text;
    if (!dispatch::GetProperty(ours->Get(), Wide(name), read.Get()) || !dispatch::ToText(read.Get(), text))
        return false;
    value = std::move(text);
    return true;
}

bool DispatchPageBridge::CallPageScript(std::string_view function, std::span<const ScriptArg> args) {
    const ComPtr<IDispatch> document = m_browser.Document();
    const ComPtr<IDispatch> script = ChildObject(document.Get(), L"Script");
    if (!script) return false;
    DISPID id = 0;
    if (!MemberId(script.Get(), Wide(function), LOCALE_SYSTEM_DEFAULT, id)) return false;
    // The platform takes positional arguments last first.
    std::vector<VARIANT> arguments(args.size());
    std::deque<win32::UniqueBstr> texts;  // stay in place while the call uses them
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& slot = arguments[args.size() - 1 - i];
        ::VariantInit(&slot);
        if (const auto* text = std::get_if<std::string>(&args[i])) {
            texts.emplace_back(Wide(*text));
            slot.vt = VT_BSTR;
            slot.bstrVal = texts.back().Get();
        } else {
            slot.vt = VT_R8;
            slot.dblVal = std::get<double>(args[i]);
        }
    }
    DISPPARAMS parameters{arguments.empty() ? nullptr : arguments.data(), nullptr,
                          static_cast<UINT>(arguments.size()), 0};
    ScopedVariant ignored;
    return SUCCEEDED(
        script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, &ignored.Get(), nullptr, nullptr));
}

void DispatchPageBridge::SetElementHtml(std::string_view id, std::string_view html) {
    const ComPtr<IDispatch> element = ElementById(id);
    if (!element) return;
    const win32::UniqueBstr text(Wide(html));
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text.Get();
    dispatch::PutProperty(element.Get(), L"innerHTML", value);
}

void DispatchPageBridge::SetElementText(std::string_view id, std::string_view text) {
    const ComPtr<IDispatch> element = ElementById(id);
    if (!element) return;
    const win32::UniqueBstr characters(Wide(text));
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = characters.Get();
    dispatch::PutProperty(element.Get(), L"innerText", value);
}

void DispatchPageBridge::NavigateTo(std::string_view url, std::string_view headers,
                                    const std::string* postData) {
    const std::wstring wideHeaders = Wide(headers);
    m_browser.Navigate(Wide(url), headers.empty() ? nullptr : &wideHeaders, postData);
}

void DispatchPageBridge::ReloadPage() {
    m_browser.Refresh();
}

void DispatchPageBridge::LoadBuiltInPage(int resourceNumber) {
    m_browser.Navigate(Wide(win32::ResourcePageAddress(m_programPath, resourceNumber)), nullptr, nullptr);
}

bool DispatchPageBridge::BodyScrollSize(int& width, int& height) {
    const ComPtr<IDispatch> document = m_browser.Document();
    const ComPtr<IDispatch> body = ChildObject(document.Get(), L"body");
    if (!body) return false;
    ScopedVariant w, h;
    if (!dispatch::GetProperty(body.Get(), L"scrollWidth", w.Get()) ||
        !dispatch::GetProperty(body.Get(), L"scrollHeight", h.Get()))
        return false;
    ScopedVariant wi, hi;
    if (FAILED(::VariantChangeType(&wi.Get(), &w.Get(), 0, VT_I4)) ||
        FAILED(::VariantChangeType(&hi.Get(), &h.Get(), 0, VT_I4)))
        return false;
    width = wi.Get().lVal;
    height = hi.Get().lVal;
    return true;
}

}  // namespace tallyhive
