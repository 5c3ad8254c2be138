#include "app/window_icons.h"

#include "app/ui_state.h"
#include "app/window_dpi.h"
#include "res/resource.h"

namespace {

// An icon of its own (not shared), so the window's owner destroys it; null when there is none.
// LoadIconWithScaleDown (common controls 6, resolved at run time) scales a larger image down,
// which stays sharper than LoadImage scaling a smaller one up.
HICON LoadAppIcon(int size) {
  using LoadIconWithScaleDownFunction = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto loadScaledDown = [] {
    HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    return controls ? reinterpret_cast<LoadIconWithScaleDownFunction>(
                          reinterpret_cast<void*>(GetProcAddress(controls, "LoadIconWithScaleDown")))
                    : nullptr;
  }();
  HICON icon = nullptr;
  if (loadScaledDown && SUCCEEDED(loadScaledDown(g_instance, MAKEINTRESOURCEW(IDI_APP), size, size, &icon)) && icon) {
    return icon;
  }
  return static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, 0));
}

void ReplaceIcon(HWND window, WPARAM which, HICON icon) {
  HICON old = reinterpret_cast<HICON>(SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
  if (old && old != icon) DestroyIcon(old);
}

}  // namespace

void SetWindowIconsForDpi(HWND window, int dpi) {
  HICON smallIcon = LoadAppIcon(SystemMetricForDpi(SM_CXSMICON, dpi));
  HICON bigIcon = LoadAppIcon(SystemMetricForDpi(SM_CXICON, dpi));
  if (smallIcon) ReplaceIcon(window, ICON_SMALL, smallIcon);
  if (bigIcon) ReplaceIcon(window, ICON_BIG, bigIcon);
}

void ReleaseWindowIcons(HWND window) {
  ReplaceIcon(window, ICON_SMALL, nullptr);
  ReplaceIcon(window, ICON_BIG, nullptr);
}
