#include "app/file_list.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/layout_rules.h"
#include "app/ui_state.h"
#include "manifest/list_text.h"
#include "trust/file_name.h"

namespace {

constexpr const wchar_t* kColumnHeaders[kFileListColumnCount] = {L"File", L"Date", L"Size", L"Type"};

void SetCellText(int row, int column, const std::wstring& text) {
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(g_fileList, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void SetUpFileList(int dpi) {
  SendMessageW(g_fileList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int index = 0; index < kFileListColumnCount; ++index) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(kColumnHeaders[index]);
    column.cx = FileListColumnWidth(index, dpi);
    SendMessageW(g_fileList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
  }
}

void ScaleFileListColumns(int dpi) {
  for (int index = 1; index < kFileListColumnCount; ++index) {
    const LPARAM width = MAKELPARAM(FileListColumnWidth(index, dpi), 0);
    SendMessageW(g_fileList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), width);
  }
}

void FillFileList() {
  // One repaint for the whole fill: a visible list view otherwise redraws on every inserted row,
  // which under Wine makes 10,000 rows take minutes.
  SendMessageW(g_fileList, WM_SETREDRAW, FALSE, 0);
  SendMessageW(g_fileList, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const ManifestEntry& entry : g_manifest.files) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    const std::wstring shown = DisplayFileName(entry.name);
    item.pszText = const_cast<wchar_t*>(shown.c_str());
    SendMessageW(g_fileList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetCellText(row, 1, FormatDate(entry.modified_at));
    SetCellText(row, 2, FormatSize(entry.size));
    SetCellText(row, 3, FormatType(entry.name));
    ++row;
  }
  SendMessageW(g_fileList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(g_fileList, nullptr, TRUE);
  if (row > 0) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(g_fileList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    SetFocus(g_fileList);
  }
}

const ManifestEntry* SelectedEntry() {
  const LRESULT index = SendMessageW(g_fileList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  if (index < 0 || static_cast<size_t>(index) >= g_manifest.files.size()) return nullptr;
  return &g_manifest.files[static_cast<size_t>(index)];
}
