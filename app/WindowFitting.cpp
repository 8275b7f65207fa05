#include "app/WindowFitting.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tallyhive {

namespace {

constexpr double kLeastContentWidth = 640.0;
constexpr double kLeastContentHeight = 320.0;

// Doubles from page sizes can exceed int for absurd pages; clamp rather than invoke undefined
// behaviour in the conversion.
int TruncateToInt(double value) {
    if (!(value == value)) return 0;
    const double truncated = std::trunc(value);
    if (truncated >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (truncated <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(truncated);
}

Rect Intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.IsEmpty()) return {};
    return r;
}

Rect Offset(const Rect& rect, long long dx, long long dy) {
    auto clamp = [](long long v) {
        return static_cast<int>(
            std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    return Rect{clamp(rect.left + dx), clamp(rect.top + dy), clamp(rect.right + dx), clamp(rect.bottom + dy)};
}

}  // namespace

MonitorEntry FindMonitorByName(const MonitorList& monitors, std::string_view deviceName) {
    for (const MonitorEntry& entry : monitors) {
        if (entry.deviceName == deviceName) return entry;
    }
    return {};
}

std::string MonitorNameOfWindow(const MonitorList& monitors, WindowHost& window) {
    const MonitorHandle handle = window.MonitorOfWindow();
    if (handle == 0) return {};
    for (const MonitorEntry& entry : monitors) {
        if (entry.handle == handle) return entry.deviceName;
    }
    return {};
}

bool GetWindowRectOnMonitor(const MonitorList& monitors, WindowHost& window, Rect& rect) {
    if (!window.WindowExists()) return false;
    const std::string name = MonitorNameOfWindow(monitors, window);
    if (name.empty()) return false;
    const MonitorEntry monitor = FindMonitorByName(monitors, name);
    if (monitor.handle == 0) return false;
    WindowPlacement placement;
    if (!window.GetPlacement(placement)) return false;
    rect = Offset(placement.normal, -static_cast<long long>(monitor.monitor.left),
                  -static_cast<long long>(monitor.monitor.top));
    return true;
}

Rect MonitorToScreenRect(const MonitorList& monitors, std::string_view deviceName, const Rect& rect) {
    const MonitorEntry monitor = FindMonitorByName(monitors, deviceName);
    return Offset(rect, monitor.monitor.left, monitor.monitor.top);
}

bool PlaceWindowOnMonitor(const MonitorList& monitors, WindowHost& window, const Rect& rect,
                          std::string_view deviceName) {
    if (!window.WindowExists()) return false;
    std::string name(deviceName);
    if (name.empty()) name = MonitorNameOfWindow(monitors, window);
    if (name.empty()) return false;
    const MonitorEntry monitor = FindMonitorByName(monitors, name);
    if (monitor.handle == 0) return false;
    WindowPlacement placement;
    if (!window.GetPlacement(placement)) return false;
    placement.normal = MonitorToScreenRect(monitors, name, rect);
    if (Intersect(placement.normal, monitor.monitor).IsEmpty()) return false;
    if (!window.SetPlacement(placement)) return false;
    window.Repaint();
    return true;
}

Rect FittedWindowRect(const Rect& windowOnMonitor, const Rect& client, int scrollWidth, int scrollHeight,
                      DisplayScale scale, const MonitorEntry& monitor) {
    const double contentWidth = std::max(scale.x * scrollWidth, scale.x * kLeastContentWidth);
    const double contentHeight = std::max(scale.y * scrollHeight, scale.y * kLeastContentHeight);
    const int width = TruncateToInt(windowOnMonitor.Width() + contentWidth - client.Width());
    const int height = TruncateToInt(windowOnMonitor.Height() + contentHeight - client.Height());

    const int left = windowOnMonitor.left;
    long long top = windowOnMonitor.top;
    // The work area's bottom as seen from the monitor's own top edge, so a second monitor placed
    // lower on the desktop gets the same limit as the first.
    const long long workBottom = static_cast<long long>(monitor.workArea.bottom) - monitor.monitor.top;
    if (top + height >= workBottom) top = workBottom - height;
    if (top < 0) top = 0;
    const Rect atOrigin{0, 0, width, height};
    return Offset(atOrigin, left, top);
}

void FitWindowToPage(WindowHost& window, DisplayScale scale) {
    int scrollWidth = 0;
    int scrollHeight = 0;
    if (!window.BodyScrollSize(scrollWidth, scrollHeight)) return;

    const MonitorList monitors = window.EnumerateMonitors();
    const std::string name = MonitorNameOfWindow(monitors, window);
    const MonitorEntry monitor = FindMonitorByName(monitors, name);
    if (monitor.monitor.IsEmpty()) return;

    Rect onMonitor;
    // An unreadable position counts as all zero and the fitting goes on with it.
    if (!GetWindowRectOnMonitor(monitors, window, onMonitor)) onMonitor = Rect{};
    const Rect client = window.ClientRect();

    const Rect fitted = FittedWindowRect(onMonitor, client, scrollWidth, scrollHeight, scale, monitor);
    PlaceWindowOnMonitor(monitors, window, fitted, monitor.deviceName);
}

}  // namespace tallyhive
