#include "app/progress.h"

#include <commctrl.h>

#include "app/ui_state.h"

namespace {
constexpr UINT kMarqueeIntervalMs = 30;
}

void ResetProgressBar() {
  ShowWindow(g_progressBar, SW_SHOW);
  SetProgressMarquee(false);
  SendMessageW(g_progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
  SendMessageW(g_progressBar, PBM_SETPOS, 0, 0);
}

void SetProgressMarquee(bool on) {
  const LONG_PTR style = GetWindowLongPtrW(g_progressBar, GWL_STYLE);
  const bool styled = (style & PBS_MARQUEE) != 0;
  if (on) {
    // Progress messages come every 64 KiB; restarting the animation each time would freeze it.
    if (styled) return;
    SetWindowLongPtrW(g_progressBar, GWL_STYLE, style | PBS_MARQUEE);
    SendMessageW(g_progressBar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
  } else {
    SendMessageW(g_progressBar, PBM_SETMARQUEE, FALSE, 0);
    if (styled) SetWindowLongPtrW(g_progressBar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  }
}

void SetProgressPosition(int position) {
  SetProgressMarquee(false);
  SendMessageW(g_progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
