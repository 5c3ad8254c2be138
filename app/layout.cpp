#include "app/layout.h"

#include <commctrl.h>

#include "app/layout_rules.h"
#include "res/resource.h"

void LayoutControls(HWND dialog) {
  RECT client = {};
  GetClientRect(dialog, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  for (const ControlPlacement& placement : ComputeLayout(width, height)) {
    HWND control = GetDlgItem(dialog, placement.id);
    if (!control) continue;
    const PixelRect& r = placement.rect;
    SetWindowPos(control, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER);
    if (placement.id == IDC_FILELIST) {
      SendMessageW(control, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(FileColumnWidth(width), 0));
    }
  }
  InvalidateRect(dialog, nullptr, FALSE);
}

void SetMinimumTrackSize(MINMAXINFO& info) {
  info.ptMinTrackSize.x = kMinTrackWidth;
  info.ptMinTrackSize.y = kMinTrackHeight;
}
