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

// The main window as the shell sees it, in device pixels (the program is DPI aware).
class Win32Window final : public WindowHost {
public:
    Win32Window(HWND window, DispatchPageBridge& bridge) : m_window(window), m_bridge(bridge) {}

    bool WindowExists() const override { return ::IsWindow(m_window) != FALSE; }
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

    HWND m_window;
    DispatchPageBridge& m_bridge;
    std::optional<int> m_closeResult;
};

}  // namespace tallyhive
