// A stand-in window with the launcher's control ids, so the probe and the input driver can be
// checked on their own: each activation of a list row (double-click or Enter) writes
// "activated N" into the status line and moves the progress bar to N * 100.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "res/resource.h"

namespace {

void FillRows(HWND list) {
  const wchar_t* headers[] = {L"File", L"Date", L"Size", L"Type"};
  for (int c = 0; c < 4; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(headers[c]);
    column.cx = c == 0 ? 220 : 90;
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int row = 0; row < 5; ++row) {
    std::wstring name = L"row-" + std::to_wstring(row) + L"-\u00e9\u2026.bin";
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = &name[0];
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int c = 1; c < 4; ++c) {
      std::wstring text = L"r" + std::to_wstring(row) + L"c" + std::to_wstring(c);
      LVITEMW cell = {};
      cell.iSubItem = c;
      cell.pszText = &text[0];
      SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
  }
  LVITEMW state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

void Activate(HWND dialog, const wchar_t* how) {
  HWND list = GetDlgItem(dialog, IDC_FILELIST);
  int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  SetDlgItemTextW(dialog, IDC_STATUS, (L"activated " + std::to_wstring(row) + L" by " + how).c_str());
  SetWindowLongPtrW(GetDlgItem(dialog, IDC_STATUS), GWLP_USERDATA, row == 1 ? 1 : 0);
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, row * 100, 0);
}

INT_PTR CALLBACK FixtureProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      FillRows(GetDlgItem(dialog, IDC_FILELIST));
      SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
      SetDlgItemTextW(dialog, IDC_STATUS, L"ready");
      SetFocus(GetDlgItem(dialog, IDC_FILELIST));
      return FALSE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom != IDC_FILELIST) return FALSE;
      bool enter = header->code == LVN_KEYDOWN && reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey == VK_RETURN;
      if (header->code == NM_DBLCLK) Activate(dialog, L"NM_DBLCLK");
      if (header->code == NM_RETURN) Activate(dialog, L"NM_RETURN");
      if (enter) Activate(dialog, L"LVN_KEYDOWN");
      return FALSE;
    }
    case WM_COMMAND:
      // The dialog manager turns Enter into IDOK unless the focused control asks for the key.
      if (LOWORD(wParam) == IDOK) Activate(dialog, L"IDOK");
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return FALSE;
    case WM_CLOSE: EndDialog(dialog, 0); return FALSE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, FixtureProc, 0));
}
