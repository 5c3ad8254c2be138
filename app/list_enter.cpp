#include "app/list_enter.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kEnterSubclassId = 1;

LRESULT CALLBACK ListWantsEnterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
  if (message == WM_GETDLGCODE) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    LRESULT code = DefSubclassProc(window, message, wParam, lParam);
    if (pending && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
    return code;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, ListWantsEnterProc, kEnterSubclassId);
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void MakeListWantEnter(HWND list) {
  if (list) SetWindowSubclass(list, ListWantsEnterProc, kEnterSubclassId, 0);
}
