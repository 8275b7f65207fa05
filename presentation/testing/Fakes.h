#pragma once
// A page that records what filling it did, for the tests of the filling and of the shell.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/PageWriter.h"

namespace tallyhive {

// "CallPageScript f(a,7.9)": texts as they are, numbers in their shortest exact form.
std::string DescribeScriptCall(std::string_view function, std::span<const ScriptArg> args);

// Records every call as one line of text, in order: "CallPageScript f(a,7.9)",
// "SetElementHtml <id> <html>", "SetElementText <id> <text>".
class FakePageWriter final : public PageWriter {
public:
    std::vector<std::string> calls;
    bool scriptResult = true;  // what CallPageScript answers

    bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) override {
        calls.push_back(DescribeScriptCall(function, args));
        return scriptResult;
    }
    void SetElementHtml(std::string_view id, std::string_view html) override {
        calls.push_back("SetElementHtml " + std::string(id) + " " + std::string(html));
    }
    void SetElementText(std::string_view id, std::string_view text) override {
        calls.push_back("SetElementText " + std::string(id) + " " + std::string(text));
    }
};

}  // namespace tallyhive
