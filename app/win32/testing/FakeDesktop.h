#pragma once
// A desktop of monitors with one top-level window, behind the window manager's calls, answering as
// Windows documents them. The awkward parts are the point:
//  - "WINDOWPLACEMENT structure": rcNormalPosition of a top-level window without WS_EX_TOOLWINDOW is
//    in workspace coordinates, whose (0,0) is the top-left corner of the primary monitor's work
//    area, while "MONITORINFO structure" gives rcMonitor and rcWork in screen coordinates.
//  - "ShowWindow function": SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_RESTORE, SW_SHOW
//    and SW_SHOWDEFAULT activate the window; SW_SHOWNOACTIVATE, SW_SHOWMINNOACTIVE and SW_SHOWNA do
//    not. "SetWindowPlacement function" applies showCmd as ShowWindow does, and "GetWindowPlacement
//    function" reports the current state (SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED).
//  - A minimised window has no client area: "GetClientRect function" gives an empty rectangle. A
//    maximised one fills its monitor's work area.
#include <windows.h>

#include <vector>

#include "app/win32/Win32Window.h"

namespace tallyhive::testing {

class FakeDesktop final : public WindowManager {
public:
    struct Monitor {
        RECT monitor;  // screen coordinates; the primary monitor's top-left corner is (0,0)
        RECT work;
        const wchar_t* device;
    };
    std::vector<Monitor> monitors;  // the first is the primary one

    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150));
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD exStyle = WS_EX_APPWINDOW;
    std::size_t windowMonitor = 0;
    RECT normal{};  // the restored rectangle in screen coordinates, frame included
    UINT state = SW_SHOWNORMAL;
    std::vector<UINT> showCommands;  // every showCmd written
    int activations = 0;

    // The client rectangle a restored window of the current `normal` has.
    RECT RestoredClient() const {
        RECT frame{0, 0, 0, 0};
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        return RECT{0, 0, (normal.right - normal.left) - (frame.right - frame.left),
                    (normal.bottom - normal.top) - (frame.bottom - frame.top)};
    }

    BOOL IsWindow(HWND hwnd) override { return hwnd == window; }
    BOOL EnumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) override {
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            RECT area = monitors[i].monitor;
            if (!callback(Handle(i), nullptr, &area, data)) return FALSE;
        }
        return TRUE;
    }
    BOOL GetMonitorInfoW(HMONITOR handle, MONITORINFO* info) override {
        const std::size_t i = Index(handle);
        if (i >= monitors.size() || !info) return FALSE;
        info->rcMonitor = monitors[i].monitor;
        info->rcWork = monitors[i].work;
        info->dwFlags = i == 0 ? MONITORINFOF_PRIMARY : 0;
        if (info->cbSize >= sizeof(MONITORINFOEXW))
            ::lstrcpynW(reinterpret_cast<MONITORINFOEXW*>(info)->szDevice, monitors[i].device, CCHDEVICENAME);
        return TRUE;
    }
    HMONITOR MonitorFromWindow(HWND, DWORD) override { return Handle(windowMonitor); }
    HMONITOR MonitorFromPoint(POINT point, DWORD) override {
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            if (::PtInRect(&monitors[i].monitor, point)) return Handle(i);
        }
        return Handle(0);
    }
    BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement) override {
        if (hwnd != window || placement->length != sizeof(WINDOWPLACEMENT)) return FALSE;
        placement->flags = 0;
        placement->showCmd = state;
        placement->ptMinPosition = POINT{-1, -1};
        placement->ptMaxPosition = POINT{-1, -1};
        placement->rcNormalPosition = normal;
        const POINT origin = WorkspaceOrigin();
        ::OffsetRect(&placement->rcNormalPosition, -origin.x, -origin.y);
        return TRUE;
    }
    BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement) override {
        if (hwnd != window || placement->length != sizeof(WINDOWPLACEMENT)) return FALSE;
        normal = placement->rcNormalPosition;
        const POINT origin = WorkspaceOrigin();
        ::OffsetRect(&normal, origin.x, origin.y);
        const UINT command = placement->showCmd;
        showCommands.push_back(command);
        switch (command) {
            case SW_SHOWNORMAL:
            case SW_RESTORE:
                state = SW_SHOWNORMAL;
                ++activations;
                break;
            case SW_SHOWNOACTIVATE:
                state = SW_SHOWNORMAL;
                break;
            case SW_SHOWMINIMIZED:
                state = SW_SHOWMINIMIZED;
                ++activations;
                break;
            case SW_SHOWMINNOACTIVE:
            case SW_MINIMIZE:
                state = SW_SHOWMINIMIZED;
                break;
            case SW_SHOWMAXIMIZED:
                state = SW_SHOWMAXIMIZED;
                ++activations;
                break;
            case SW_SHOW:
            case SW_SHOWDEFAULT:
                ++activations;
                break;
            default:  // SW_SHOWNA and SW_HIDE leave the state and the active window
                break;
        }
        return TRUE;
    }
    BOOL GetClientRect(HWND hwnd, RECT* rect) override {
        if (hwnd != window) return FALSE;
        if (state == SW_SHOWMINIMIZED) {
            *rect = RECT{0, 0, 0, 0};
        } else if (state == SW_SHOWMAXIMIZED) {
            const RECT& work = monitors[windowMonitor].work;
            RECT frame{0, 0, 0, 0};
            ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
            *rect = RECT{0, 0, (work.right - work.left) - (frame.right - frame.left),
                         (work.bottom - work.top) - (frame.bottom - frame.top)};
        } else {
            *rect = RestoredClient();
        }
        return TRUE;
    }
    LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) override {
        if (hwnd != window) return 0;
        DWORD value = index == GWL_STYLE ? style : index == GWL_EXSTYLE ? exStyle : 0;
        if (index == GWL_STYLE && state == SW_SHOWMINIMIZED) value |= WS_MINIMIZE;
        if (index == GWL_STYLE && state == SW_SHOWMAXIMIZED) value |= WS_MAXIMIZE;
        return static_cast<LONG_PTR>(value);
    }
    HMENU GetMenu(HWND) override { return nullptr; }

private:
    static HMONITOR Handle(std::size_t i) {
        return reinterpret_cast<HMONITOR>(static_cast<INT_PTR>(0x100 + i));
    }
    static std::size_t Index(HMONITOR handle) {
        return static_cast<std::size_t>(reinterpret_cast<INT_PTR>(handle) - 0x100);
    }
    // Tool windows are placed in screen coordinates; others in the primary work area's.
    POINT WorkspaceOrigin() const {
        if ((exStyle & WS_EX_TOOLWINDOW) || monitors.empty()) return POINT{0, 0};
        return POINT{monitors[0].work.left - monitors[0].monitor.left,
                     monitors[0].work.top - monitors[0].monitor.top};
    }
};

}  // namespace tallyhive::testing
