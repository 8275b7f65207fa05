#include "app/testing/Fakes.h"

#include "presentation/testing/Fakes.h"

namespace tallyhive {

std::unique_ptr<PageElement> FakePageElement::Parent() const {
    if (!parent) return nullptr;
    return std::make_unique<FakePageElement>(*parent);
}

bool FakePageBridge::QueryElementProperty(std::string_view id, std::string_view name, std::string& value) {
    calls.push_back("QueryElementProperty " + std::string(id) + " " + std::string(name));
    const auto it = properties.find(std::make_pair(std::string(id), std::string(name)));
    if (it == properties.end()) return false;
    value = it->second;
    return true;
}

bool FakePageBridge::QueryObjectProperty(const PageElement* element, std::string_view name,
                                         std::string& value) {
    const std::string id = element ? element->Id() : std::string("(null)");
    calls.push_back("QueryObjectProperty " + id + " " + std::string(name));
    if (!element) return false;
    const auto it = properties.find(std::make_pair(id, std::string(name)));
    if (it == properties.end()) return false;
    value = it->second;
    return true;
}

bool FakePageBridge::CallPageScript(std::string_view function, std::span<const ScriptArg> args) {
    calls.push_back(DescribeScriptCall(function, args));
    return scriptResult;
}

void FakePageBridge::SetElementHtml(std::string_view id, std::string_view html) {
    calls.push_back("SetElementHtml " + std::string(id) + " " + std::string(html));
}

void FakePageBridge::SetElementText(std::string_view id, std::string_view text) {
    calls.push_back("SetElementText " + std::string(id) + " " + std::string(text));
}

void FakePageBridge::NavigateTo(std::string_view url, std::string_view headers, const std::string* postData) {
    std::string line = "NavigateTo " + std::string(url);
    if (!headers.empty()) line += " headers=" + std::string(headers);
    if (postData) line += " post=" + *postData;
    calls.push_back(std::move(line));
    navigations.push_back(Navigation{std::string(url), std::string(headers),
                                     postData ? std::optional<std::string>(*postData) : std::nullopt});
}

void FakePageBridge::ReloadPage() {
    calls.emplace_back("ReloadPage");
}

void FakePageBridge::LoadBuiltInPage(int resourceNumber) {
    calls.push_back("LoadBuiltInPage " + std::to_string(resourceNumber));
}

}  // namespace tallyhive
