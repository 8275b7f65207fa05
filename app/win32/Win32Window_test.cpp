// The main window's input filter: what never reaches the page.
#include "app/win32/Win32Window.h"

#include <gtest/gtest.h>

#include "app/WindowFitting.h"
#include "app/win32/WindowIcons.h"
#include "app/win32/testing/FakeDesktop.h"
#include "platform/win32/Handles.h"

namespace tallyhive {
namespace {

TEST(FilterInputMessage, RightClicksAndZoomNeverReachThePage) {
    struct Case {
        UINT message;
        bool controlDown;
        bool swallowed;
        const char* why;
    };
    const Case cases[] = {
        {WM_RBUTTONDOWN, false, true, "right button down opens no context menu"},
        {WM_RBUTTONUP, true, true, "right button up, whatever the keys"},
        {WM_RBUTTONDBLCLK, false, false, "a right double-click passes"},
        {WM_MOUSEWHEEL, true, true, "Ctrl+wheel would zoom the page"},
        {WM_MOUSEWHEEL, false, false, "the wheel alone scrolls"},
        {WM_LBUTTONDOWN, true, false, "left clicks reach the page's commands"},
        {WM_KEYDOWN, true, false, "keys go to the page"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FilterInputMessage(c.message, c.controlDown), c.swallowed);
    }
}

class NoBrowser final : public BrowserControl {
public:
    win32::ComPtr<IDispatch> Document() override { return {}; }
    void Navigate(const std::wstring&, const std::wstring*, const std::string*) override {}
    void Refresh() override {}
};

Rect RectOf(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

// The fitting as a page arrival runs it, for a page of `width` by `height` at a scale of 1.
void FitTo(Win32Window& window, int width, int height) {
    const MonitorList monitors = window.EnumerateMonitors();
    const MonitorEntry monitor = FindMonitorByName(monitors, MonitorNameOfWindow(monitors, window));
    Rect onMonitor;
    ASSERT_TRUE(GetWindowRectOnMonitor(monitors, window, onMonitor));
    const Rect fitted = FittedWindowRect(onMonitor, window.ClientRect(), width, height, {}, monitor);
    ASSERT_TRUE(PlaceWindowOnMonitor(monitors, window, fitted, ""));
}

// The window manager places windows in workspace coordinates, the monitors are in screen
// coordinates: with a task bar at the top or the left the two differ by the task bar's size.
TEST(Win32Window, PlacementIsReadAndWrittenInScreenCoordinates) {
    struct Case {
        RECT primaryWork;
        std::size_t on;
        RECT normal;  // screen coordinates
        const char* why;
    };
    const Case cases[] = {
        {{0, 0, 1920, 1040}, 0, {300, 200, 956, 559}, "task bar at the bottom"},
        {{0, 40, 1920, 1080}, 0, {300, 200, 956, 559}, "task bar at the top"},
        {{62, 0, 1920, 1080}, 0, {300, 200, 956, 559}, "task bar at the left"},
        {{0, 40, 1920, 1080}, 1, {2000, 100, 2656, 459}, "a second monitor, the task bar atop the primary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        NoBrowser browser;
        DispatchPageBridge bridge(browser, "C:\\tallyhive.exe");
        testing::FakeDesktop desktop;
        desktop.monitors = {{{0, 0, 1920, 1080}, c.primaryWork, L"\\\\.\\DISPLAY1"},
                            {{1920, 0, 3200, 1024}, {1920, 0, 3200, 1024}, L"\\\\.\\DISPLAY2"}};
        desktop.windowMonitor = c.on;
        desktop.normal = c.normal;
        Win32Window window(desktop.window, bridge, desktop);
        const Rect monitor = RectOf(desktop.monitors[c.on].monitor);

        Rect onMonitor;
        ASSERT_TRUE(GetWindowRectOnMonitor(window.EnumerateMonitors(), window, onMonitor));
        EXPECT_EQ(onMonitor, (Rect{c.normal.left - monitor.left, c.normal.top - monitor.top,
                                   c.normal.right - monitor.left, c.normal.bottom - monitor.top}));

        ASSERT_TRUE(PlaceWindowOnMonitor(window.EnumerateMonitors(), window, {10, 20, 666, 379}, ""));
        EXPECT_EQ(RectOf(desktop.normal),
                  (Rect{monitor.left + 10, monitor.top + 20, monitor.left + 666, monitor.top + 379}));
    }
}

// A minimised window has no client area and a maximised one fills the work area: neither tells the
// frame of the restored window. Fitting gives the restored window the page's size and leaves the
// window as it is shown, without taking the focus from whatever the user is working in.
TEST(Win32Window, FittingKeepsTheShowStateAndNeverActivates) {
    struct Case {
        UINT state;
        const char* why;
    };
    const Case cases[] = {
        {SW_SHOWNORMAL, "restored"},
        {SW_SHOWMINIMIZED, "minimised"},
        {SW_SHOWMAXIMIZED, "maximised"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        NoBrowser browser;
        DispatchPageBridge bridge(browser, "C:\\tallyhive.exe");
        testing::FakeDesktop desktop;
        desktop.monitors = {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, L"\\\\.\\DISPLAY1"}};
        desktop.normal = {100, 100, 100, 100};
        const RECT noClient = desktop.RestoredClient();  // the frame's size, negated
        desktop.normal = {100, 100, 100 + 640 - noClient.right, 100 + 320 - noClient.bottom};
        desktop.state = c.state;
        Win32Window window(desktop.window, bridge, desktop);

        FitTo(window, 800, 500);
        const RECT client = desktop.RestoredClient();
        EXPECT_EQ(client.right, 800);
        EXPECT_EQ(client.bottom, 500);
        EXPECT_EQ(desktop.normal.left, 100);
        EXPECT_EQ(desktop.normal.top, 100);
        EXPECT_EQ(desktop.state, c.state);
        EXPECT_EQ(desktop.activations, 0);
    }
}

// The program's icon for its window, at the large size (Alt+Tab) and the small one (the caption), from
// the program's own resources. (Wine here has no display to make a window the icons could be read
// back from, so they are read from the owner that hands them to the window with WM_SETICON.)
TEST(WindowIcons, TheProgramsIconAtBothSizes) {
    const win32::ModuleHandle program(::LoadLibraryExW(
        L"" TALLYHIVE_MAIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(program);
    const WindowIcons icons(nullptr, program.Get(), 128);
    struct Case {
        const char* which;
        HICON icon;
        int width, height;
    };
    const Case cases[] = {
        {"large", icons.Large(), ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)},
        {"small", icons.Small(), ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.which);
        ASSERT_NE(c.icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(c.icon, &info));
        BITMAP colour{};
        ::GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, c.width);
        EXPECT_EQ(colour.bmHeight, c.height);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    }
}

}  // namespace
}  // namespace tallyhive
