#include "app/win32/WindowIcons.h"

namespace tallyhive {

namespace {

win32::IconHandle LoadIconAt(HMODULE module, int resource, int width, int height) {
    // The exact size from the icon's images, so the system does not scale the large one down.
    return win32::IconHandle(static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(resource), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

}  // namespace

WindowIcons::WindowIcons(HWND window, HMODULE module, int resource)
    : m_large(LoadIconAt(module, resource, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON))),
      m_small(
          LoadIconAt(module, resource, ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON))) {
    if (m_large) ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_large.Get()));
    if (m_small) ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_small.Get()));
}

}  // namespace tallyhive
