#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Addresses.h"

// The small platform services the application shell needs besides the page bridge: message boxes,
// the user's browser, the program file, the single-instance lock, and the main window with its
// monitors. Each host implements them in files of its own; tests use the fakes in app/testing.
namespace tallyhive {

enum class MessageKind {
    Warning,   // OK button, exclamation icon
    Question,  // Yes and No buttons, question icon
};
enum class MessageAnswer { Ok, Yes, No };

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // A modal message box over the main window (over nothing when there is none yet). Blocks until
    // the user answers; a box closed without a choice answers No (Ok for a warning).
    virtual MessageAnswer ShowMessage(std::string_view caption, std::string_view text, MessageKind kind) = 0;
    // Hands the URL to the user's own browser, never through a shell command line. Failures go
    // unnoticed by design: nothing the caller could do about them.
    virtual void OpenUrl(std::string_view url) = 0;
};

class ProgramInfo {
public:
    virtual ~ProgramInfo() = default;
    // Full path of the running program file, as it appears in the built-in pages' addresses.
    virtual std::string ProgramPath() const = 0;
    // The program file as the user knows it, for the message boxes' caption. Differs from
    // ProgramPath where addresses carry the path in an encoded form ("my%20tools").
    virtual std::string ProgramFilePath() const { return ProgramPath(); }
    // True when `url`, as the browser reports it, is the program's built-in page `number`.
    virtual bool IsBuiltInPage(std::string_view url, int number) const {
        return url == BuiltInPageAddress(ProgramPath(), number);
    }
    // The four-part ProductVersion of the program ("2.0.0.1"); empty when it cannot be read.
    virtual std::string ProductVersion() const = 0;
};

enum class InstanceState {
    First,           // this process holds the lock until Release or its end
    AlreadyRunning,  // another process of this user holds it
    Unknown,         // the lock could not be taken for another reason
};

class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    virtual InstanceState Acquire(std::string_view name) = 0;
    // Gives the lock up; nothing when none is held. Safe to call twice.
    virtual void Release() = 0;
};

// Rectangles in device pixels; right and bottom lie just outside, as the platforms count them.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

using MonitorHandle = std::uintptr_t;  // 0 is no monitor

struct MonitorEntry {
    Rect monitor;
    Rect workArea;  // the monitor less task bars and docks, desktop coordinates
    std::string deviceName;
    MonitorHandle handle = 0;
    bool operator==(const MonitorEntry&) const = default;
};
using MonitorList = std::vector<MonitorEntry>;

enum class ShowState { Normal, Minimized, Maximized };

struct WindowPlacement {
    ShowState showState = ShowState::Normal;
    Rect normal;  // the restored window rectangle, frame included, in desktop coordinates
};

// The main window as the shell sees it. Geometry is in device pixels whatever unit the toolkit
// uses, so the fitting rules give the same numbers on every platform.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual bool WindowExists() const = 0;
    // One entry per monitor in the platform's order; a monitor whose details cannot be read is left out.
    virtual MonitorList EnumerateMonitors() = 0;
    // The monitor holding the largest part of the window, the primary one when it is on none.
    virtual MonitorHandle MonitorOfWindow() = 0;
    virtual bool GetPlacement(WindowPlacement& placement) = 0;
    // Writes the placement back; the show state is kept as the platform has it, and the window is
    // not activated.
    virtual bool SetPlacement(const WindowPlacement& placement) = 0;
    virtual void Repaint() = 0;
    // Size of the restored window's client area (the browser), origin at 0,0; also while the window
    // is minimised or maximised.
    virtual Rect ClientRect() = 0;
    // Logical pixels per inch of the screen; 96 is a scale of 1.
    virtual double LogicalDpiX() = 0;
    virtual double LogicalDpiY() = 0;
    // The current page's body scrollWidth and scrollHeight, in the page's own pixels. False when
    // there is no page or body, or the sizes cannot be read.
    virtual bool BodyScrollSize(int& width, int& height) = 0;
    // Centres the window in the work area of its monitor.
    virtual void CenterWindow() = 0;
    // Ends the window's modal run with this result once the running command has returned.
    virtual void Close(int result) = 0;
};

enum class RemeasureResult {
    Loaded,  // measured, and the new assessment is shown
    Failed,
    // The measurement goes on in a window of its own after the command has come back; its result
    // is loaded by the user's load command once it has ended.
    StillRunning,
};

// Runs the assessment again. The re-measure command lives in its own part of the program; the
// shell only calls through this seam and shows the failure or the still-running message.
class Remeasurer {
public:
    virtual ~Remeasurer() = default;
    // Measures again and then, when that succeeded, calls `loadLatest`; Loaded only when both did.
    virtual RemeasureResult Remeasure(const std::function<bool()>& loadLatest) = 0;
};

// Until a platform provides the re-measure command: every attempt fails, so the user is told so.
class UnavailableRemeasurer final : public Remeasurer {
public:
    RemeasureResult Remeasure(const std::function<bool()>&) override { return RemeasureResult::Failed; }
};

}  // namespace tallyhive
