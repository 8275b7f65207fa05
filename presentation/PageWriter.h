#pragma once
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tallyhive {

// One positional argument of a page script call: a text or a number.
using ScriptArg = std::variant<std::string, double>;

// What filling a page needs of the page shown: its script functions and the content of its
// elements. Every operation works on the page shown at the moment of the call and fails quietly.
class PageWriter {
public:
    virtual ~PageWriter() = default;

    // Calls the page's global function with the arguments, first parameter first.
    virtual bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) = 0;
    // Replaces the element's content with markup (SetElementHtml) or characters (SetElementText).
    virtual void SetElementHtml(std::string_view id, std::string_view html) = 0;
    virtual void SetElementText(std::string_view id, std::string_view text) = 0;
};

}  // namespace tallyhive
