// Finds the launcher's window from outside its process and prints what a user would see as one
// line of JSON: status text and error flag, list rows and cells, selection, progress bar, and the
// screen rectangles a driver needs to click on rows. With --watch it prints one line per sample.
//
//   window_probe [--title TEXT] [--rows N] [--watch MS [--count N] [--until-gone]]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "json_out.h"
#include "remote_buffer.h"
#include "res/resource.h"

namespace {

constexpr UINT kMessageTimeoutMs = 2000;

struct Options {
  std::wstring title = L"Quorvel Launcher";
  int maxRows = 200;
  int watchMs = 0;
  int count = 0;  // 0: until stopped
  bool untilGone = false;
};

struct Found {
  std::vector<HWND> all;
  HWND window = nullptr;  // the visible one when there are several
};

struct FindContext {
  const std::wstring* title;
  Found* found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* find = reinterpret_cast<FindContext*>(context);
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (*find->title == text) {
    find->found->all.push_back(window);
    if (!find->found->window || (IsWindowVisible(window) && !IsWindowVisible(find->found->window)))
      find->found->window = window;
  }
  return TRUE;
}

Found FindWindows(const std::wstring& title) {
  Found found;
  FindContext context{&title, &found};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
  return found;
}

// A message to another process's window, given up on when that window's thread does not answer
// (the launcher's UI thread blocks briefly while it launches a file).
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &answer)) return false;
  result = static_cast<LRESULT>(answer);
  return true;
}

long long AskNumber(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& answered) {
  LRESULT result = 0;
  if (!Ask(window, message, wParam, lParam, result)) answered = false;
  return result;
}

std::wstring WindowText(HWND window) {
  // Reads the stored caption without a message, so a busy window cannot stall the probe.
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, &text[0], length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

RECT ScreenRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}

RECT ClientScreenRect(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void WriteControlBasics(JsonOut& out, HWND control) {
  out.Key("visible");
  out.Bool(IsWindowVisible(control) != FALSE);
  out.Key("enabled");
  out.Bool(IsWindowEnabled(control) != FALSE);
  out.Key("rect");
  out.Rect(ScreenRect(control));
}

constexpr size_t kTextUnits = 1024;
constexpr size_t kTextOffset = 256;  // the record sits first, the text buffer after it
constexpr size_t kRemoteBytes = kTextOffset + kTextUnits * sizeof(wchar_t);

bool RemoteItemText(HWND list, const RemoteBuffer& remote, int row, int column, std::wstring& text) {
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(remote.at(kTextOffset));
  item.cchTextMax = static_cast<int>(kTextUnits);
  wchar_t empty = 0;
  if (!remote.Write(0, &item, sizeof item) || !remote.Write(kTextOffset, &empty, sizeof empty)) return false;
  LRESULT length = 0;
  if (!Ask(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0)), length))
    return false;
  std::vector<wchar_t> buffer(kTextUnits, L'\0');
  if (!remote.Read(kTextOffset, buffer.data(), kTextUnits * sizeof(wchar_t))) return false;
  buffer.back() = 0;
  text = buffer.data();
  return true;
}

bool RemoteColumnText(HWND list, const RemoteBuffer& remote, int column, std::wstring& text, int& width) {
  LVCOLUMNW info = {};
  info.mask = LVCF_TEXT | LVCF_WIDTH;
  info.pszText = reinterpret_cast<LPWSTR>(remote.at(kTextOffset));
  info.cchTextMax = static_cast<int>(kTextUnits);
  if (!remote.Write(0, &info, sizeof info)) return false;
  LRESULT ok = 0;
  if (!Ask(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(remote.at(0)), ok) || !ok)
    return false;
  std::vector<wchar_t> buffer(kTextUnits, L'\0');
  if (!remote.Read(0, &info, sizeof info) || !remote.Read(kTextOffset, buffer.data(), kTextUnits * sizeof(wchar_t)))
    return false;
  buffer.back() = 0;
  text = buffer.data();
  width = info.cx;
  return true;
}

bool RemoteRowRect(HWND list, const RemoteBuffer& remote, int row, RECT& rect) {
  RECT request = {};
  request.left = LVIR_BOUNDS;
  if (!remote.Write(0, &request, sizeof request)) return false;
  LRESULT ok = 0;
  if (!Ask(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0)), ok) || !ok)
    return false;
  if (!remote.Read(0, &rect, sizeof rect)) return false;
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return true;
}

void WriteList(JsonOut& out, HWND list, HANDLE process, int maxRows) {
  out.BeginObject();
  WriteControlBasics(out, list);
  out.Key("client");
  out.Rect(ClientScreenRect(list));
  bool answered = true;
  long long count = AskNumber(list, LVM_GETITEMCOUNT, 0, 0, answered);
  long long selected = AskNumber(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, answered);
  long long focused = AskNumber(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED, answered);
  long long top = AskNumber(list, LVM_GETTOPINDEX, 0, 0, answered);
  long long perPage = AskNumber(list, LVM_GETCOUNTPERPAGE, 0, 0, answered);
  long long extended = AskNumber(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0, answered);
  HWND header = reinterpret_cast<HWND>(AskNumber(list, LVM_GETHEADER, 0, 0, answered));
  out.Key("answered");
  out.Bool(answered);
  out.Key("count");
  out.Number(count);
  out.Key("selected");
  out.Number(selected);
  out.Key("focused");
  out.Number(focused);
  out.Key("top");
  out.Number(top);
  out.Key("per_page");
  out.Number(perPage);
  out.Key("extended_style");
  out.Number(extended);
  if (header) {
    out.Key("header_rect");
    out.Rect(ScreenRect(header));
  }

  RemoteBuffer remote(process, kRemoteBytes);
  out.Key("remote");
  out.Bool(remote.ok());
  long long columns = header ? AskNumber(header, HDM_GETITEMCOUNT, 0, 0, answered) : 0;
  out.Key("columns");
  out.BeginArray();
  for (int c = 0; remote.ok() && c < columns; ++c) {
    std::wstring text;
    int width = 0;
    if (!RemoteColumnText(list, remote, c, text, width)) break;
    out.BeginObject();
    out.Key("text");
    out.String(text);
    out.Key("width");
    out.Number(width);
    out.EndObject();
  }
  out.EndArray();

  out.Key("rows");
  out.BeginArray();
  long long shown = count < maxRows ? count : maxRows;
  for (int row = 0; remote.ok() && row < shown; ++row) {
    out.BeginObject();
    out.Key("cells");
    out.BeginArray();
    for (int c = 0; c < (columns > 0 ? columns : 1); ++c) {
      std::wstring text;
      if (RemoteItemText(list, remote, row, c, text))
        out.String(text);
      else
        out.Null();
    }
    out.EndArray();
    RECT rect = {};
    out.Key("rect");
    if (RemoteRowRect(list, remote, row, rect))
      out.Rect(rect);
    else
      out.Null();
    out.EndObject();
  }
  out.EndArray();
  out.EndObject();
}

void WriteProgress(JsonOut& out, HWND bar) {
  out.BeginObject();
  WriteControlBasics(out, bar);
  bool answered = true;
  long long position = AskNumber(bar, PBM_GETPOS, 0, 0, answered);
  long long low = AskNumber(bar, PBM_GETRANGE, TRUE, 0, answered);
  long long high = AskNumber(bar, PBM_GETRANGE, FALSE, 0, answered);
  out.Key("answered");
  out.Bool(answered);
  out.Key("pos");
  out.Number(position);
  out.Key("min");
  out.Number(low);
  out.Key("max");
  out.Number(high);
  out.Key("style");
  out.Number(static_cast<long long>(GetWindowLongPtrW(bar, GWL_STYLE)));
  out.EndObject();
}

void WriteTextControl(JsonOut& out, const char* key, HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  out.Key(key);
  if (!control) {
    out.Null();
    return;
  }
  out.String(WindowText(control));
}

void WriteState(JsonOut& out, const Options& options) {
  Found found = FindWindows(options.title);
  out.BeginObject();
  out.Key("found");
  out.Bool(found.window != nullptr);
  out.Key("windows");
  out.Number(static_cast<long long>(found.all.size()));
  if (!found.window) {
    out.EndObject();
    return;
  }
  HWND dialog = found.window;
  DWORD pid = 0;
  DWORD thread = GetWindowThreadProcessId(dialog, &pid);
  out.Key("hwnd");
  out.Number(static_cast<long long>(reinterpret_cast<INT_PTR>(dialog)));
  out.Key("pid");
  out.Number(pid);
  out.Key("title");
  out.String(WindowText(dialog));
  out.Key("visible");
  out.Bool(IsWindowVisible(dialog) != FALSE);
  out.Key("enabled");
  out.Bool(IsWindowEnabled(dialog) != FALSE);
  out.Key("rect");
  out.Rect(ScreenRect(dialog));
  out.Key("client");
  out.Rect(ClientScreenRect(dialog));
  out.Key("responding");
  LRESULT ignored = 0;
  out.Bool(Ask(dialog, WM_NULL, 0, 0, ignored));

  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  out.Key("focus_id");
  if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus)
    out.Number(GetDlgCtrlID(gui.hwndFocus));
  else
    out.Null();
  out.Key("foreground");
  out.Bool(GetForegroundWindow() == dialog);

  HWND status = GetDlgItem(dialog, IDC_STATUS);
  out.Key("status");
  out.BeginObject();
  if (status) {
    out.Key("text");
    out.String(WindowText(status));
    out.Key("error");
    out.Bool(GetWindowLongPtrW(status, GWLP_USERDATA) == 1);
    WriteControlBasics(out, status);
  }
  out.EndObject();

  out.Key("texts");
  out.BeginObject();
  WriteTextControl(out, "caption", dialog, IDC_CAPTION);
  WriteTextControl(out, "heading", dialog, IDC_HEADING);
  WriteTextControl(out, "hint", dialog, IDC_HINT);
  WriteTextControl(out, "link", dialog, IDC_LINK);
  out.EndObject();

  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
  out.Key("progress");
  if (bar)
    WriteProgress(out, bar);
  else
    out.Null();

  HWND list = GetDlgItem(dialog, IDC_FILELIST);
  out.Key("list");
  if (list) {
    ProcessHandle process(pid);
    WriteList(out, list, process.get(), options.maxRows);
  } else {
    out.Null();
  }
  out.EndObject();
}

void Emit(const std::string& line) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  std::string bytes = line + "\n";
  DWORD written = 0;
  WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  FlushFileBuffers(output);
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == L"--title" && hasValue) {
      options.title = argv[++i];
    } else if (arg == L"--rows" && hasValue) {
      options.maxRows = _wtoi(argv[++i]);
    } else if (arg == L"--watch" && hasValue) {
      options.watchMs = _wtoi(argv[++i]);
    } else if (arg == L"--count" && hasValue) {
      options.count = _wtoi(argv[++i]);
    } else if (arg == L"--until-gone") {
      options.untilGone = true;
    } else {
      std::fprintf(stderr,
                   "usage: window_probe [--title TEXT] [--rows N] [--watch MS [--count N] "
                   "[--until-gone]]\n");
      return false;
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;
  JsonOut out;
  for (int sample = 0;; ++sample) {
    out.Clear();
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    WriteState(out, options);
    std::string line = out.text();
    // The sample's own clock, so a watcher can tell how far apart two samples were.
    line.insert(1, "\"t_ms\":" + std::to_string(now.QuadPart * 1000 / frequency.QuadPart) + ",");
    Emit(line);
    if (options.watchMs <= 0) break;
    if (options.count > 0 && sample + 1 >= options.count) break;
    if (options.untilGone && line.find("\"found\":false") != std::string::npos) break;
    Sleep(static_cast<DWORD>(options.watchMs));
  }
  return 0;
}
