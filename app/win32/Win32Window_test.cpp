// The main window's input filter: what never reaches the page.
#include "app/win32/Win32Window.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tallyhive
