#pragma once
// Fakes of the shell's platform services for unit tests: plain data set by the test, every call
// recorded, so a test reads like the situation it sets up.
#include <string>
#include <string_view>
#include <vector>

#include "app/AppServices.h"

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
    bool measures = true;  // whether the measurement itself succeeds
    int runs = 0;

    bool Remeasure(const std::function<bool()>& loadLatest) override {
        ++runs;
        return measures && loadLatest();
    }
};

}  // namespace tallyhive
