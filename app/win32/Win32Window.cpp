#include "app/win32/Win32Window.h"

#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

Rect RectOf(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    if (!monitor) return FALSE;
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    // A monitor whose details cannot be read is left out; the others still count.
    if (::GetMonitorInfoW(monitor, &info)) {
        reinterpret_cast<MonitorList*>(list)->push_back(
            MonitorEntry{RectOf(info.rcMonitor), RectOf(info.rcWork), win32::Narrow(info.szDevice),
                         reinterpret_cast<MonitorHandle>(monitor)});
    }
    return TRUE;
}

}  // namespace

MonitorList Win32Window::EnumerateMonitors() {
    MonitorList monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

MonitorHandle Win32Window::MonitorOfWindow() {
    return reinterpret_cast<MonitorHandle>(::MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY));
}

bool Win32Window::GetPlacement(WindowPlacement& placement) {
    WINDOWPLACEMENT raw{};
    raw.length = sizeof raw;
    if (!::GetWindowPlacement(m_window, &raw)) return false;
    placement.normal = RectOf(raw.rcNormalPosition);
    placement.showState = raw.showCmd == SW_SHOWMINIMIZED   ? ShowState::Minimized
                          : raw.showCmd == SW_SHOWMAXIMIZED ? ShowState::Maximized
                                                            : ShowState::Normal;
    return true;
}

bool Win32Window::SetPlacement(const WindowPlacement& placement) {
    WINDOWPLACEMENT raw{};
    raw.length = sizeof raw;
    if (!::GetWindowPlacement(m_window, &raw)) return false;
    // Only the normal position changes: a maximised or minimised window keeps its state.
    raw.rcNormalPosition =
        RECT{placement.normal.left, placement.normal.top, placement.normal.right, placement.normal.bottom};
    return ::SetWindowPlacement(m_window, &raw) != FALSE;
}

Rect Win32Window::ClientRect() {
    RECT area{};
    ::GetClientRect(m_window, &area);
    return RectOf(area);
}

double Win32Window::ScreenDpi(int axis) {
    const HDC screen = ::GetDC(nullptr);
    if (!screen) return 96.0;
    const int dpi = ::GetDeviceCaps(screen, axis);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96.0;
}

void Win32Window::CenterWindow() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT window{};
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &info) ||
        !::GetWindowRect(m_window, &window))
        return;
    const int width = window.right - window.left, height = window.bottom - window.top;
    const RECT& work = info.rcWork;
    ::SetWindowPos(m_window, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tallyhive
