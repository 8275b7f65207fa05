#include "app/win32/Win32Window.h"

#include <algorithm>

#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

Rect RectOf(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

struct MonitorSearch {
    WindowManager* manager;
    MonitorList* monitors;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) noexcept {
    if (!monitor) return FALSE;
    const auto& search = *reinterpret_cast<MonitorSearch*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    // A monitor whose details cannot be read is left out; the others still count.
    if (search.manager->GetMonitorInfoW(monitor, &info)) {
        search.monitors->push_back(MonitorEntry{RectOf(info.rcMonitor), RectOf(info.rcWork),
                                                win32::Narrow(info.szDevice),
                                                reinterpret_cast<MonitorHandle>(monitor)});
    }
    return TRUE;
}

class SystemCalls final : public WindowManager {
public:
    BOOL IsWindow(HWND window) override { return ::IsWindow(window); }
    BOOL EnumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) override {
        return ::EnumDisplayMonitors(nullptr, nullptr, callback, data);
    }
    BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) override {
        return ::GetMonitorInfoW(monitor, info);
    }
    HMONITOR MonitorFromWindow(HWND window, DWORD flags) override {
        return ::MonitorFromWindow(window, flags);
    }
    HMONITOR MonitorFromPoint(POINT point, DWORD flags) override { return ::MonitorFromPoint(point, flags); }
    BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) override {
        return ::GetWindowPlacement(window, placement);
    }
    BOOL SetWindowPlacement(HWND window, const WINDOWPLACEMENT* placement) override {
        return ::SetWindowPlacement(window, placement);
    }
    BOOL GetClientRect(HWND window, RECT* rect) override { return ::GetClientRect(window, rect); }
    LONG_PTR GetWindowLongPtrW(HWND window, int index) override { return ::GetWindowLongPtrW(window, index); }
    HMENU GetMenu(HWND window) override { return ::GetMenu(window); }
};

}  // namespace

WindowManager& SystemWindowManager() {
    static SystemCalls calls;
    return calls;
}

MonitorList Win32Window::EnumerateMonitors() {
    MonitorList monitors;
    MonitorSearch search{&m_manager, &monitors};
    m_manager.EnumDisplayMonitors(&AddMonitor, reinterpret_cast<LPARAM>(&search));
    return monitors;
}

MonitorHandle Win32Window::MonitorOfWindow() {
    return reinterpret_cast<MonitorHandle>(m_manager.MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY));
}

POINT Win32Window::WorkspaceOrigin() {
    // A tool window's placement is in screen coordinates; any other top-level window's counts from
    // the top-left corner of the primary monitor's work area ("WINDOWPLACEMENT structure").
    if (m_manager.GetWindowLongPtrW(m_window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return POINT{0, 0};
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    if (!m_manager.GetMonitorInfoW(m_manager.MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY),
                                   &primary))
        return POINT{0, 0};
    return POINT{primary.rcWork.left - primary.rcMonitor.left, primary.rcWork.top - primary.rcMonitor.top};
}

bool Win32Window::GetPlacement(WindowPlacement& placement) {
    WINDOWPLACEMENT raw{};
    raw.length = sizeof raw;
    if (!m_manager.GetWindowPlacement(m_window, &raw)) return false;
    const POINT origin = WorkspaceOrigin();
    placement.normal = RectOf(raw.rcNormalPosition);
    placement.normal.left += origin.x;
    placement.normal.right += origin.x;
    placement.normal.top += origin.y;
    placement.normal.bottom += origin.y;
    placement.showState = raw.showCmd == SW_SHOWMINIMIZED   ? ShowState::Minimized
                          : raw.showCmd == SW_SHOWMAXIMIZED ? ShowState::Maximized
                                                            : ShowState::Normal;
    return true;
}

bool Win32Window::SetPlacement(const WindowPlacement& placement) {
    WINDOWPLACEMENT raw{};
    raw.length = sizeof raw;
    if (!m_manager.GetWindowPlacement(m_window, &raw)) return false;
    const POINT origin = WorkspaceOrigin();
    raw.rcNormalPosition = RECT{placement.normal.left - origin.x, placement.normal.top - origin.y,
                                placement.normal.right - origin.x, placement.normal.bottom - origin.y};
    // Only the restored position changes. The state read back is shown again without activating
    // the window: fitting runs at every page arrival, and must not take the focus from another
    // program, or restore a window the user has minimised.
    switch (raw.showCmd) {
        case SW_SHOWMINIMIZED:
            raw.showCmd = SW_SHOWMINNOACTIVE;
            break;
        case SW_SHOWMAXIMIZED:
            raw.showCmd = SW_SHOWNA;  // no maximised-without-activation command: "in its current state"
            break;
        default:
            raw.showCmd = SW_SHOWNOACTIVATE;
            break;
    }
    return m_manager.SetWindowPlacement(m_window, &raw) != FALSE;
}

Rect Win32Window::ClientRect() {
    const auto style = static_cast<DWORD>(m_manager.GetWindowLongPtrW(m_window, GWL_STYLE));
    if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        // A minimised window has no client area and a maximised one fills the work area: the
        // restored window's client is its restored rectangle less the frame of its styles.
        WINDOWPLACEMENT raw{};
        raw.length = sizeof raw;
        if (!m_manager.GetWindowPlacement(m_window, &raw)) return {};
        const auto exStyle = static_cast<DWORD>(m_manager.GetWindowLongPtrW(m_window, GWL_EXSTYLE));
        RECT frame{0, 0, 0, 0};
        if (!::AdjustWindowRectEx(&frame, style & ~(WS_MINIMIZE | WS_MAXIMIZE),
                                  m_manager.GetMenu(m_window) != nullptr, exStyle))
            return {};
        const RECT& normal = raw.rcNormalPosition;
        return Rect{0, 0, std::max(0L, (normal.right - normal.left) - (frame.right - frame.left)),
                    std::max(0L, (normal.bottom - normal.top) - (frame.bottom - frame.top))};
    }
    RECT area{};
    m_manager.GetClientRect(m_window, &area);
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
