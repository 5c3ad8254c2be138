// Times FillFileList for 10,000 entries in a real list view under a shown window: the launcher's
// own list code, the list's own styles, columns, font and Enter handling. Beside the plain call it
// times the same call with the list's redrawing suspended (WM_SETREDRAW) and with the list hidden,
// to show where the time goes.
//
//   bench_fill_file_list [ENTRIES [RUNS]]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/list_enter.h"
#include "app/look.h"
#include "app/ui_state.h"
#include "res/resource.h"

namespace {

int g_entries = 10000;
int g_runs = 3;

enum class Variant { kPlain, kRedrawOff, kHidden };
const char* kVariantNames[] = {"plain", "redraw_off", "hidden"};

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

Manifest MakeManifest() {
  Manifest manifest;
  manifest.schema = kManifestSchema;
  for (int i = 0; i < g_entries; ++i) {
    ManifestEntry entry;
    entry.name = L"QuorvelSetup-" + std::to_wstring(g_entries - i) + L".msi";
    entry.url = L"https://127.0.0.1:47443/download/latest/" + entry.name;
    entry.size = 1000LL * (i + 1) * 37;
    wchar_t stamp[32];
    wsprintfW(stamp, L"2026-%02d-%02dT%02d:%02d:00Z", 12 - (i / 2800) % 12, 28 - (i / 100) % 28, 23 - (i / 60) % 24,
              59 - i % 60);
    entry.modified_at = stamp;
    entry.ext = L"msi";
    manifest.files.push_back(entry);
  }
  return manifest;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

double TimeFill(const Manifest& source, Variant variant, long long& rows) {
  g_manifest = source;
  if (variant == Variant::kHidden) ShowWindow(g_fileList, SW_HIDE);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (variant == Variant::kRedrawOff) SendMessageW(g_fileList, WM_SETREDRAW, FALSE, 0);
  FillFileList();
  if (variant == Variant::kRedrawOff) SendMessageW(g_fileList, WM_SETREDRAW, TRUE, 0);
  QueryPerformanceCounter(&end);
  if (variant == Variant::kHidden) ShowWindow(g_fileList, SW_SHOW);
  rows = SendMessageW(g_fileList, LVM_GETITEMCOUNT, 0, 0);
  PumpMessages();  // paints, as the dialog would right after filling
  return Milliseconds(start, end);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) g_entries = _wtoi(argv[1]);
  if (argc > 2) g_runs = _wtoi(argv[2]);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  HWND host = CreateWindowExW(0, L"STATIC", L"FillFileList benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 900,
                              600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  g_fileList = CreateWindowExW(
      0, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 10, 10, 860, 540,
      host, reinterpret_cast<HMENU>(IDC_FILELIST), GetModuleHandleW(nullptr), nullptr);
  if (!host || !g_fileList) {
    std::printf("{\"error\":\"could not create the list view\"}\n");
    return 1;
  }
  SetUpFileList(96);
  // The body font and the Enter handling the dialog gives its list.
  CreateAndSetFonts(host, 96);
  MakeListWantEnter(g_fileList);
  PumpMessages();
  const Manifest source = MakeManifest();
  bool allRows = true;
  for (Variant variant : {Variant::kRedrawOff, Variant::kHidden, Variant::kPlain}) {
    const char* name = kVariantNames[static_cast<int>(variant)];
    std::vector<double> times;
    long long rows = 0;
    for (int run = 0; run < g_runs; ++run) {
      times.push_back(TimeFill(source, variant, rows));
      std::printf("{\"variant\":\"%s\",\"run\":%d,\"ms\":%.1f,\"rows\":%lld}\n", name, run, times.back(), rows);
      std::fflush(stdout);
    }
    allRows = allRows && rows == g_entries;
    std::sort(times.begin(), times.end());
    std::printf(
        "{\"variant\":\"%s\",\"entries\":%d,\"rows\":%lld,\"median_ms\":%.1f,"
        "\"min_ms\":%.1f,\"max_ms\":%.1f}\n",
        name, g_entries, rows, times[times.size() / 2], times.front(), times.back());
    std::fflush(stdout);
  }
  DestroyWindow(host);
  return allRows ? 0 : 1;
}
