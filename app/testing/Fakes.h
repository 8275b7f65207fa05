#pragma once
// Fakes of the shell's services for unit tests: the page, the window and the rest, plain data set by
// the test, every call recorded, so a test reads like the situation it sets up.
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/AppServices.h"
#include "app/PageBridge.h"

namespace tallyhive {

class FakeUserInterface final : public UserInterface {
public:
    struct Message {
        std::string caption;
        std::string text;
        MessageKind kind;
    };
    std::vector<Message> messages;
    std::vector<std::string> openedUrls;
    MessageAnswer answer = MessageAnswer::No;  // what a question is answered with

    MessageAnswer ShowMessage(std::string_view caption, std::string_view text, MessageKind kind) override {
        messages.push_back(Message{std::string(caption), std::string(text), kind});
        return kind == MessageKind::Question ? answer : MessageAnswer::Ok;
    }
    void OpenUrl(std::string_view url) override { openedUrls.emplace_back(url); }
};

class FakeProgramInfo final : public ProgramInfo {
public:
    std::string path = "/opt/tallyhive/bin/tallyhive";
    std::string filePath;  // empty: the same as `path`
    std::string productVersion = "2.0.0.1";

    std::string ProgramPath() const override { return path; }
    std::string ProgramFilePath() const override { return filePath.empty() ? path : filePath; }
    std::string ProductVersion() const override { return productVersion; }
};

class FakeInstanceLock final : public InstanceLock {
public:
    InstanceState state = InstanceState::First;
    std::vector<std::string> acquired;  // names asked for
    int releases = 0;

    InstanceState Acquire(std::string_view name) override {
        acquired.emplace_back(name);
        return state;
    }
    void Release() override { ++releases; }
};

// A window on a desktop of monitors. Placement reads and writes can be made to fail; every write
// is kept so a test can check what was asked for.
class FakeWindowHost final : public WindowHost {
public:
    bool exists = true;
    MonitorList monitors;
    MonitorHandle windowMonitor = 0;
    WindowPlacement placement;
    bool placementReadable = true;
    bool placementWritable = true;
    std::vector<WindowPlacement> placementsSet;
    int repaints = 0;
    Rect client;
    double dpiX = 96.0;
    double dpiY = 96.0;
    int dpiReads = 0;
    bool hasBody = true;
    int scrollWidth = 0;
    int scrollHeight = 0;
    int centerings = 0;
    std::vector<int> closeResults;

    bool WindowExists() const override { return exists; }
    MonitorList EnumerateMonitors() override { return monitors; }
    MonitorHandle MonitorOfWindow() override { return windowMonitor; }
    bool GetPlacement(WindowPlacement& out) override {
        if (!placementReadable) return false;
        out = placement;
        return true;
    }
    bool SetPlacement(const WindowPlacement& in) override {
        if (!placementWritable) return false;
        placementsSet.push_back(in);
        placement = in;
        return true;
    }
    void Repaint() override { ++repaints; }
    Rect ClientRect() override { return client; }
    double LogicalDpiX() override {
        ++dpiReads;
        return dpiX;
    }
    double LogicalDpiY() override {
        ++dpiReads;
        return dpiY;
    }
    bool BodyScrollSize(int& width, int& height) override {
        if (!hasBody) return false;
        width = scrollWidth;
        height = scrollHeight;
        return true;
    }
    void CenterWindow() override { ++centerings; }
    void Close(int result) override { closeResults.push_back(result); }
};

class FakeRemeasurer final : public Remeasurer {
public:
    bool measures = true;       // whether the measurement itself succeeds
    bool stillRunning = false;  // the runner goes on after the command has come back
    int runs = 0;

    RemeasureResult Remeasure(const std::function<bool()>& loadLatest) override {
        ++runs;
        if (stillRunning) return RemeasureResult::StillRunning;
        return measures && loadLatest() ? RemeasureResult::Loaded : RemeasureResult::Failed;
    }
};

// An element of a page as the host would be handed it; parents are shared so a chain can be built
// once and handed out many times.
class FakePageElement final : public PageElement {
public:
    FakePageElement(std::string elementId, std::string elementTag,
                    std::shared_ptr<const FakePageElement> parentElement = {})
        : id(std::move(elementId)), tagName(std::move(elementTag)), parent(std::move(parentElement)) {}

    std::string id;
    std::string tagName;
    std::shared_ptr<const FakePageElement> parent;

    std::string Id() const override { return id; }
    std::string TagName() const override { return tagName; }
    std::unique_ptr<PageElement> Parent() const override;
};

// Records every call as one line of text, in order:
//   "QueryElementProperty <id> <name>", "QueryObjectProperty <id> <name>",
//   "CallPageScript f(a,7.9)" (texts as they are, numbers in their shortest exact form),
//   "SetElementHtml <id> <html>", "SetElementText <id> <text>",
//   "NavigateTo <url>" (then " headers=<headers>" and " post=<data>" when given),
//   "ReloadPage", "LoadBuiltInPage <number>".
class FakePageBridge final : public PageBridge {
public:
    struct Navigation {
        std::string url;
        std::string headers;
        std::optional<std::string> postData;
    };

    std::vector<std::string> calls;
    std::vector<Navigation> navigations;
    // (element id, property name) -> value; used by both property queries (objects by their Id()).
    std::map<std::pair<std::string, std::string>, std::string, std::less<>> properties;
    bool scriptResult = true;  // what CallPageScript answers

    bool QueryElementProperty(std::string_view id, std::string_view name, std::string& value) override;
    bool QueryObjectProperty(const PageElement* element, std::string_view name, std::string& value) override;
    bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) override;
    void SetElementHtml(std::string_view id, std::string_view html) override;
    void SetElementText(std::string_view id, std::string_view text) override;
    void NavigateTo(std::string_view url, std::string_view headers = {},
                    const std::string* postData = nullptr) override;
    void ReloadPage() override;
    void LoadBuiltInPage(int resourceNumber) override;
};

}  // namespace tallyhive
