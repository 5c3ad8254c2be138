#include "app/window_dpi.h"

namespace {

template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

// The enumerations are passed as plain numbers so that older SDK headers do not matter.
constexpr int kDialogDisableAll = 0x0001;               // DDC_DISABLE_ALL
constexpr int kControlDisableFontAndRelayout = 0x0003;  // DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT

BOOL CALLBACK KeepControlAsItIs(HWND control, LPARAM setBehaviour) {
  using SetControlBehaviour = BOOL(WINAPI*)(HWND, int, int);
  reinterpret_cast<SetControlBehaviour>(setBehaviour)(control, kControlDisableFontAndRelayout,
                                                      kControlDisableFontAndRelayout);
  return TRUE;
}

}  // namespace

int WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int SystemMetricForDpi(int index, int dpi) {
  using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
  static const auto getForDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  return getForDpi ? getForDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

void KeepDialogManagerOutOfDpiChanges(HWND dialog) {
  using SetDialogBehaviour = BOOL(WINAPI*)(HWND, int, int);
  static const auto setDialog = User32Function<SetDialogBehaviour>("SetDialogDpiChangeBehavior");
  static const auto setControl = User32Function<SetDialogBehaviour>("SetDialogControlDpiChangeBehavior");
  if (setDialog) setDialog(dialog, kDialogDisableAll, kDialogDisableAll);
  if (setControl) EnumChildWindows(dialog, KeepControlAsItIs, reinterpret_cast<LPARAM>(setControl));
}
