// The startup baseline: a dialog of the launcher's size and style with nothing in it, so the
// startup benchmark can set the launcher's time to Ready against the time Wine needs to show any
// dialog at all.
#include <windows.h>

#include "empty_dialog_ids.h"

namespace {

INT_PTR CALLBACK EmptyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return FALSE;
    case WM_CLOSE: EndDialog(dialog, 0); return FALSE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_EMPTY), nullptr, EmptyDialogProc, 0));
}
