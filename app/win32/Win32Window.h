#pragma once
#include <windows.h>

#include <optional>

#include "app/AppServices.h"
#include "app/win32/DispatchBridge.h"

namespace tallyhive {

// True when a message for the window is swallowed before the page sees it: right clicks (no
// context menu in any page) and the Ctrl+wheel page zoom. A right double-click passes.
constexpr bool FilterInputMessage(UINT message, bool controlDown) {
    return message == WM_RBUTTONDOWN || message == WM_RBUTTONUP || (message == WM_MOUSEWHEEL && controlDown);
}

// The window manager's calls that the window's geometry goes through: the system's own in the
// program; the tests put a desktop of their own behind them.
class WindowManager {
public:
    virtual ~WindowManager() = default;
    virtual BOOL IsWindow(HWND window) = 0;
    virtual BOOL EnumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) = 0;
    virtual BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) = 0;
    virtual HMONITOR MonitorFromWindow(HWND window, DWORD flags) = 0;
    virtual HMONITOR MonitorFromPoint(POINT point, DWORD flags) = 0;
    virtual BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) = 0;
    virtual BOOL SetWindowPlacement(HWND window, const WINDOWPLACEMENT* placement) = 0;
    virtual BOOL GetClientRect(HWND window, RECT* rect) = 0;
    virtual LONG_PTR GetWindowLongPtrW(HWND window, int index) = 0;
    virtual HMENU GetMenu(HWND window) = 0;
};
WindowManager& SystemWindowManager();

// The main window as the shell sees it, in device pixels (the program is DPI aware).
class Win32Window final : public WindowHost {
public:
    Win32Window(HWND window, DispatchPageBridge& bridge, WindowManager& manager = SystemWindowManager())
        : m_window(window), m_bridge(bridge), m_manager(manager) {}

    bool WindowExists() const override { return m_manager.IsWindow(m_window) != FALSE; }
    MonitorList EnumerateMonitors() override;
    MonitorHandle MonitorOfWindow() override;
    bool GetPlacement(WindowPlacement& placement) override;
    bool SetPlacement(const WindowPlacement& placement) override;
    void Repaint() override { ::UpdateWindow(m_window); }
    Rect ClientRect() override;
    double LogicalDpiX() override { return ScreenDpi(LOGPIXELSX); }
    double LogicalDpiY() override { return ScreenDpi(LOGPIXELSY); }
    bool BodyScrollSize(int& width, int& height) override { return m_bridge.BodyScrollSize(width, height); }
    void CenterWindow() override;
    void Close(int result) override { m_closeResult = result; }

    // Set once a command has asked the window to close; the message loop ends it after the command.
    std::optional<int> CloseResult() const { return m_closeResult; }

private:
    static double ScreenDpi(int axis);
    // Where the window manager's placement coordinates have their origin, in screen coordinates.
    POINT WorkspaceOrigin();

    HWND m_window;
    DispatchPageBridge& m_bridge;
    WindowManager& m_manager;
    std::optional<int> m_closeResult;
};

}  // namespace tallyhive
