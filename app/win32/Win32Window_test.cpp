// The main window's input filter: what never reaches the page.
#include "app/win32/Win32Window.h"

#include <gtest/gtest.h>

#include "app/win32/WindowIcons.h"
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
