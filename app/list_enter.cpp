#include "app/list_enter.h"

namespace {

// The list view class's own procedure, which every message reaches first. A plain window-procedure
// subclass rather than SetWindowSubclass: that one finds its data in the window's properties on
// every message, which under Wine is a round trip to the window server each time, and filling the
// list sends four messages a row.
WNDPROC g_listViewProc = nullptr;

LRESULT CALLBACK ListWantsEnterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcW(g_listViewProc, window, message, wParam, lParam);
  if (message == WM_GETDLGCODE) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) result |= DLGC_WANTALLKEYS;
  }
  return result;
}

}  // namespace

void MakeListWantEnter(HWND list) {
  if (!list) return;
  const auto previous =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListWantsEnterProc)));
  // Every list view shares the class's procedure; a list made to want Enter twice keeps the first.
  if (previous && previous != &ListWantsEnterProc) g_listViewProc = previous;
}
