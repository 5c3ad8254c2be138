// Times a program from process creation to a state of its window: shown (any title match that is
// visible) or, with --status, its status line (control 1008) beginning with the given text. Polls
// from outside the process, so the program under test is the one a user starts, unchanged.
//
//   startup_timer EXE --title TEXT [--status PREFIX] [--runs N] [--timeout-ms N]
// Prints one JSON line per run and a last line with the median.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kStatusId = 1008;

struct Search {
  DWORD pid;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (*search->title != text) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindShownWindow(DWORD pid, const std::wstring& title) {
  Search search{pid, &title, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool StatusBegins(HWND dialog, const std::wstring& prefix) {
  HWND status = GetDlgItem(dialog, kStatusId);
  if (!status) return false;
  wchar_t text[512] = {};
  GetWindowTextW(status, text, 512);
  return std::wstring(text).compare(0, prefix.size(), prefix) == 0;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

// One start: returns the time to the awaited state, or a negative value when it did not come.
double TimeOneStart(const std::wstring& exe, const std::wstring& title, const std::wstring& status,
                    DWORD timeoutMs) {
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return -1;
  double elapsed = -1;
  HWND window = nullptr;
  for (;;) {
    QueryPerformanceCounter(&now);
    if (Milliseconds(start, now) > timeoutMs) break;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
    if (!window) window = FindShownWindow(process.dwProcessId, title);
    if (window && (status.empty() || StatusBegins(window, status))) {
      elapsed = Milliseconds(start, now);
      break;
    }
    Sleep(1);
  }
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_timer EXE --title TEXT [--status PREFIX] [--runs N]\n");
    return 2;
  }
  std::wstring exe = argv[1], title, status;
  int runs = 5;
  DWORD timeoutMs = 60000;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::wstring key = argv[i];
    if (key == L"--title") title = argv[i + 1];
    if (key == L"--status") status = argv[i + 1];
    if (key == L"--runs") runs = _wtoi(argv[i + 1]);
    if (key == L"--timeout-ms") timeoutMs = static_cast<DWORD>(_wtoi(argv[i + 1]));
  }
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    double ms = TimeOneStart(exe, title, status, timeoutMs);
    std::printf("{\"run\":%d,\"ms\":%.1f}\n", run, ms);
    std::fflush(stdout);
    if (ms < 0) return 1;
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("{\"median_ms\":%.1f,\"min_ms\":%.1f,\"max_ms\":%.1f,\"runs\":%d}\n",
              times[times.size() / 2], times.front(), times.back(), runs);
  return 0;
}
