#pragma once
#include <string>
#include <string_view>

#include "app/AppServices.h"

// Sizing the main window to the page it shows, on the monitor it is on. Everything is counted in
// device pixels; page sizes are scaled by the display scale first.
namespace tallyhive {

struct DisplayScale {
    double x = 1.0;
    double y = 1.0;
};

// The first entry with exactly that device name (case-sensitive), or an empty entry.
MonitorEntry FindMonitorByName(const MonitorList& monitors, std::string_view deviceName);
// The device name of the window's monitor; empty when no entry has its handle.
std::string MonitorNameOfWindow(const MonitorList& monitors, WindowHost& window);
// The window's restored rectangle less the top-left corner of its monitor.
bool GetWindowRectOnMonitor(const MonitorList& monitors, WindowHost& window, Rect& rect);
// The rectangle moved by the top-left corner of the named monitor (not at all for an unknown name).
Rect MonitorToScreenRect(const MonitorList& monitors, std::string_view deviceName, const Rect& rect);
// Makes `rect`, relative to the named monitor (empty: the window's own), the window's restored
// position. Nothing changes when the result would not overlap that monitor.
bool PlaceWindowOnMonitor(const MonitorList& monitors, WindowHost& window, const Rect& rect,
                          std::string_view deviceName);

// The new window rectangle relative to the monitor for page content of `scrollWidth` by
// `scrollHeight` page pixels: the client area takes the content's size (at least 640 by 320 page
// pixels), the frame is kept, and a window whose bottom would pass the work area is moved up, but
// never above the monitor's top edge.
Rect FittedWindowRect(const Rect& windowOnMonitor, const Rect& client, int scrollWidth, int scrollHeight,
                      DisplayScale scale, const MonitorEntry& monitor);

// The whole fitting step; quiet on every failure, leaving the window as it was.
void FitWindowToPage(WindowHost& window, DisplayScale scale);

}  // namespace tallyhive
