#include "app/WindowFitting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/testing/Fakes.h"

namespace tallyhive {
namespace {

// A window whose frame adds 16 pixels across and 39 down (borders and caption) to its client area.
constexpr int kFrameX = 16;
constexpr int kFrameY = 39;

MonitorEntry Monitor(Rect area, Rect work, std::string name, MonitorHandle handle) {
    return MonitorEntry{area, work, std::move(name), handle};
}

// One window with a client area of `clientW` by `clientH` at (left, top) on the first monitor.
FakeWindowHost Window(MonitorList monitors, MonitorHandle on, int left, int top, int clientW, int clientH) {
    FakeWindowHost window;
    window.monitors = std::move(monitors);
    window.windowMonitor = on;
    window.client = {0, 0, clientW, clientH};
    window.placement.normal = {left, top, left + clientW + kFrameX, top + clientH + kFrameY};
    return window;
}

TEST(FitWindowToPage, ClientAreaTakesThePagesSizeScaled) {
    struct Case {
        double scale;
        int scrollW, scrollH;
        int clientW, clientH;  // wanted
        const char* why;
    };
    const Case cases[] = {
        {1.0, 500, 200, 640, 320, "a small page at 96 dpi gets the least size"},
        {1.25, 800, 600, 1000, 750, "120 dpi scales the page"},
        {1.5, 500, 200, 960, 480, "the least size is scaled too"},
        {1.5, 700, 500, 1050, 750, "144 dpi"},
        {1.0, 640, 320, 640, 320, "exactly the least size"},
        {1.0, 1000, 700, 1000, 700, "a large page at 96 dpi"},
        {1.0, 0, 0, 640, 320, "an empty page"},
        {1.0, -50, -50, 640, 320, "negative sizes cannot shrink the window"},
        {1.5, 641, 321, 961, 481, "fractions are truncated: 961.5 and 481.5"},
    };
    const MonitorList monitors = {Monitor({0, 0, 4000, 3000}, {0, 0, 4000, 2960}, "DISPLAY1", 1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWindowHost window = Window(monitors, 1, 50, 60, 400, 300);
        window.scrollWidth = c.scrollW;
        window.scrollHeight = c.scrollH;
        FitWindowToPage(window, DisplayScale{c.scale, c.scale});
        ASSERT_EQ(window.placementsSet.size(), 1u);
        const Rect& r = window.placementsSet[0].normal;
        EXPECT_EQ(r.Width() - kFrameX, c.clientW) << "the frame is kept, only the client changes";
        EXPECT_EQ(r.Height() - kFrameY, c.clientH);
        EXPECT_EQ(r.left, 50);
        EXPECT_EQ(r.top, 60);
        EXPECT_EQ(window.repaints, 1);
    }
}

TEST(FitWindowToPage, BottomStaysInsideTheWorkAreaOfItsOwnMonitor) {
    struct Case {
        MonitorList monitors;
        MonitorHandle on;
        int left, top;  // desktop coordinates of the window
        int scrollH;
        Rect want;  // desktop coordinates
        const char* why;
    };
    const MonitorList two = {
        Monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, "\\\\.\\DISPLAY1", 11),
        Monitor({1920, 300, 3200, 1324}, {1920, 300, 3200, 1284}, "\\\\.\\DISPLAY2", 22),
    };
    const Case cases[] = {
        {two, 11, 100, 100, 480, {100, 100, 756, 619}, "fits: nothing moves"},
        {two, 11, 100, 700, 480, {100, 521, 756, 1040}, "moved up onto the work area's bottom"},
        {two, 11, 100, 521, 480, {100, 521, 756, 1040}, "a bottom exactly on the work area moves too"},
        {two, 11, 100, 700, 2000, {100, 0, 756, 2039}, "taller than the work area: top on the monitor's top"},
        {two, 22, 2000, 350, 480, {2000, 350, 2656, 869}, "second monitor, lower on the desktop: fits"},
        {two, 22, 2000, 1000, 480, {2000, 765, 2656, 1284}, "measured from the second monitor's own top"},
        {two, 22, 2000, 1000, 2000, {2000, 300, 2656, 2339}, "and its top edge is the limit"},
        {two, 11, -200, 100, 480, {-200, 100, 456, 619}, "the left edge is not limited"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWindowHost window = Window(c.monitors, c.on, c.left, c.top, 640, 320);
        window.scrollWidth = 640;
        window.scrollHeight = c.scrollH;
        FitWindowToPage(window, DisplayScale{});
        ASSERT_EQ(window.placementsSet.size(), 1u);
        EXPECT_EQ(window.placementsSet[0].normal, c.want);
    }
}

TEST(FitWindowToPage, AnyFailureLeavesTheWindowAsItWas) {
    const MonitorList monitors = {
        Monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, "DISPLAY1", 1),
        Monitor({1920, 0, 3840, 1080}, {1920, 0, 3840, 1040}, "display1", 2),
    };
    struct Case {
        void (*setUp)(FakeWindowHost&);
        const char* why;
    };
    const Case cases[] = {
        {[](FakeWindowHost& w) { w.hasBody = false; }, "no page or body"},
        {[](FakeWindowHost& w) { w.windowMonitor = 99; }, "the window's monitor is not in the list"},
        {[](FakeWindowHost& w) { w.windowMonitor = 0; }, "no monitor at all"},
        {[](FakeWindowHost& w) { w.exists = false; }, "the window has gone"},
        {[](FakeWindowHost& w) { w.placementReadable = false; }, "placement cannot be read"},
        {[](FakeWindowHost& w) { w.monitors[0].monitor = {}; }, "a monitor with an empty rectangle"},
        {[](FakeWindowHost& w) {
             w.placement.normal = {5000, 10, 5656, 369};
         },
         "would not overlap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWindowHost window = Window(monitors, 1, 100, 100, 640, 320);
        window.scrollWidth = 900;
        window.scrollHeight = 700;
        c.setUp(window);
        const WindowPlacement before = window.placement;
        FitWindowToPage(window, DisplayScale{});
        EXPECT_TRUE(window.placementsSet.empty());
        EXPECT_EQ(window.placement.normal, before.normal);
        EXPECT_EQ(window.repaints, 0);
    }
}

TEST(FitWindowToPage, FailedWriteIsNotRepainted) {
    FakeWindowHost window =
        Window({Monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, "DISPLAY1", 1)}, 1, 100, 100, 640, 320);
    window.placementWritable = false;
    window.scrollWidth = 700;
    window.scrollHeight = 400;
    FitWindowToPage(window, DisplayScale{});
    EXPECT_EQ(window.repaints, 0);
}

TEST(FitWindowToPage, MaximisedWindowKeepsItsStateAndGetsANewRestoredSize) {
    FakeWindowHost window =
        Window({Monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, "DISPLAY1", 1)}, 1, 100, 100, 640, 320);
    window.placement.showState = ShowState::Maximized;
    window.scrollWidth = 800;
    window.scrollHeight = 600;
    FitWindowToPage(window, DisplayScale{});
    ASSERT_EQ(window.placementsSet.size(), 1u);
    EXPECT_EQ(window.placementsSet[0].showState, ShowState::Maximized);
    EXPECT_EQ(window.placementsSet[0].normal, (Rect{100, 100, 916, 739}));
}

TEST(Monitors, FoundByExactName) {
    const MonitorList monitors = {
        Monitor({0, 0, 10, 10}, {}, "DISPLAY1", 1),
        Monitor({10, 0, 20, 10}, {}, "display1", 2),
        Monitor({20, 0, 30, 10}, {}, "DISPLAY1", 3),
    };
    EXPECT_EQ(FindMonitorByName(monitors, "DISPLAY1").handle, 1u) << "the first of two equal names";
    EXPECT_EQ(FindMonitorByName(monitors, "display1").handle, 2u) << "case matters";
    EXPECT_EQ(FindMonitorByName(monitors, "DISPLAY"), MonitorEntry{}) << "no prefix match";
    EXPECT_EQ(FindMonitorByName(monitors, ""), MonitorEntry{});
    EXPECT_EQ(MonitorToScreenRect(monitors, "display1", {1, 2, 3, 4}), (Rect{11, 2, 13, 4}));
    EXPECT_EQ(MonitorToScreenRect(monitors, "none", {1, 2, 3, 4}), (Rect{1, 2, 3, 4}));
}

TEST(Monitors, WindowRectIsRelativeToItsMonitor) {
    FakeWindowHost window;
    window.monitors = {Monitor({0, 0, 1920, 1080}, {}, "A", 1), Monitor({-1280, -200, 0, 824}, {}, "B", 2)};
    window.windowMonitor = 2;
    window.placement.normal = {-1000, -100, -400, 300};
    Rect rect;
    ASSERT_TRUE(GetWindowRectOnMonitor(window.monitors, window, rect));
    EXPECT_EQ(rect, (Rect{280, 100, 880, 500})) << "a monitor left of and above the primary one";
}

TEST(Monitors, PlacingOnAnEmptyNameUsesTheWindowsOwnMonitor) {
    FakeWindowHost window;
    window.monitors = {Monitor({0, 0, 1920, 1080}, {}, "A", 1), Monitor({1920, 0, 3840, 1080}, {}, "B", 2)};
    window.windowMonitor = 2;
    ASSERT_TRUE(PlaceWindowOnMonitor(window.monitors, window, {10, 20, 110, 120}, ""));
    EXPECT_EQ(window.placement.normal, (Rect{1930, 20, 2030, 120}));
    EXPECT_FALSE(PlaceWindowOnMonitor(window.monitors, window, {10, 20, 110, 120}, "C")) << "unknown name";
}

}  // namespace
}  // namespace tallyhive
