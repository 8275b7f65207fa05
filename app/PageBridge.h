#pragma once
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "presentation/PageWriter.h"

namespace tallyhive {

// An element of the current page that the host was handed (the source of a click, its parents).
// Owned by the caller; valid only while the page it came from is shown.
class PageElement {
public:
    virtual ~PageElement() = default;
    virtual std::string Id() const = 0;       // empty when the element has none
    virtual std::string TagName() const = 0;  // upper case, as the DOM reports it ("A", "IMG")
    virtual std::unique_ptr<PageElement> Parent() const = 0;  // null at the top
};

// The host's only way into the page shown in the embedded browser. Every operation works on the
// page shown at the moment of the call and fails quietly: false, or nothing done. The filling of the
// result pages needs only the PageWriter part of it.
class PageBridge : public PageWriter {
public:
    // False when there is no page, no such element or no such property; `value` is then unchanged.
    virtual bool QueryElementProperty(std::string_view id, std::string_view name, std::string& value) = 0;
    // As above for an element object; a null element gives false.
    virtual bool QueryObjectProperty(const PageElement* element, std::string_view name,
                                     std::string& value) = 0;
    // Starts loading `url`; with post data the browser posts exactly those bytes.
    virtual void NavigateTo(std::string_view url, std::string_view headers = {},
                            const std::string* postData = nullptr) = 0;
    virtual void ReloadPage() = 0;
    // Loads one of the program's own pages by its resource number.
    virtual void LoadBuiltInPage(int resourceNumber) = 0;
};

}  // namespace tallyhive
