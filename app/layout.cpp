#include "app/layout.h"

#include <commctrl.h>

#include "app/layout_rules.h"
#include "app/ui_state.h"
#include "app/window_dpi.h"
#include "res/resource.h"

void LayoutControls(HWND dialog) {
  RECT client = {};
  GetClientRect(dialog, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  const int dpi = LayoutDpi(dialog);
  // Device pixels, not dialog units: under per-monitor DPI awareness the system scales nothing
  // for this window, so every size is scaled from 96 dpi here.
  for (const ControlPlacement& placement : ComputeLayout(width, height, dpi)) {
    HWND control = GetDlgItem(dialog, placement.id);
    if (!control) continue;
    const PixelRect& r = placement.rect;
    SetWindowPos(control, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER);
    if (placement.id == IDC_FILELIST) {
      SendMessageW(control, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(FileColumnWidth(width, dpi), 0));
    }
  }
  InvalidateRect(dialog, nullptr, FALSE);
}

void SetMinimumTrackSize(HWND dialog, MINMAXINFO& info) {
  const PixelSize minimum = MinimumTrackSize(LayoutDpi(dialog));
  info.ptMinTrackSize.x = minimum.width;
  info.ptMinTrackSize.y = minimum.height;
}

int LayoutDpi(HWND dialog) { return g_windowDpi > 0 ? g_windowDpi : WindowDpi(dialog); }
