#pragma once
#include <windows.h>

#include "platform/win32/Handles.h"

namespace tallyhive {

// A window's own icon, from icon resource `resource` of `module`, at the two sizes the system shows:
// large (Alt+Tab) and small (the caption and the task bar). A dialog has none of its own and would
// show the generic one. The icons are held here: create this after the window and destroy it after
// the window has gone.
class WindowIcons {
public:
    WindowIcons(HWND window, HMODULE module, int resource);
    WindowIcons(const WindowIcons&) = delete;
    WindowIcons& operator=(const WindowIcons&) = delete;

    // What the window was given; null when the resource has no icon.
    HICON Large() const { return m_large.Get(); }
    HICON Small() const { return m_small.Get(); }

private:
    win32::IconHandle m_large;
    win32::IconHandle m_small;
};

}  // namespace tallyhive
