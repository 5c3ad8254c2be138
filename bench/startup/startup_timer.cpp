// Times a program from process creation to a state of its window: shown (any title match that is
// visible) or, with --status, its status line (control 1008) beginning with the given text; without
// --title, to the program's exit with code 0. Polls from outside the process, so the program under
// test is the one a user starts, unchanged.
//
//   startup_timer EXE [ARGUMENT] [--title TEXT] [--status PREFIX] [--shown-status PREFIX] [--runs N]
//                 [--timeout-ms N]
// Prints one JSON line per run and a last line with the median. Each run line also gives the wall
// clock of the process start (Unix ms, the clock the test server logs with), when the window was
// first seen shown, with --shown-status whether its status line then began with that text, and after
// a run that timed out, the status line's text.
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

double UnixMilliseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000ULL) / 10000.0;
}

struct Run {
  double ms = -1;       // to the awaited state or the exit
  double shownMs = -1;  // to the window first seen shown
  bool shownStatus = false;
  double startUnixMs = 0;
  // The status poll asks the window's own thread for the text, so a slow answer means that thread
  // was busy: the longest such wait after the window was shown, and when it began.
  double longestBusyMs = 0;
  double longestBusyAtMs = -1;
  std::string lastStatus;  // the status line's text after a run that timed out
};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

// One start: the time to the awaited state stays negative when it did not come.
Run TimeOneStart(const std::wstring& exe, const std::wstring& argument, const std::wstring& title,
                 const std::wstring& status, const std::wstring& shownStatus, DWORD timeoutMs) {
  std::wstring command = L"\"" + exe + L"\"";
  if (!argument.empty()) command += L" " + argument;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Run run;
  LARGE_INTEGER start, now;
  run.startUnixMs = UnixMilliseconds();
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return run;
  HWND window = nullptr;
  for (;;) {
    QueryPerformanceCounter(&now);
    if (Milliseconds(start, now) > timeoutMs) break;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      DWORD code = 1;
      if (title.empty() && GetExitCodeProcess(process.hProcess, &code) && code == 0) run.ms = Milliseconds(start, now);
      break;
    }
    if (!window && !title.empty()) {
      window = FindShownWindow(process.dwProcessId, title);
      if (window) {
        run.shownMs = Milliseconds(start, now);
        run.shownStatus = !shownStatus.empty() && StatusBegins(window, shownStatus);
      }
    }
    if (window && status.empty()) {
      run.ms = Milliseconds(start, now);
      break;
    }
    if (window) {
      const bool ready = StatusBegins(window, status);
      LARGE_INTEGER answered;
      QueryPerformanceCounter(&answered);
      if (Milliseconds(now, answered) > run.longestBusyMs) {
        run.longestBusyMs = Milliseconds(now, answered);
        run.longestBusyAtMs = Milliseconds(start, now);
      }
      if (ready) {
        run.ms = Milliseconds(start, answered);
        break;
      }
    }
    Sleep(1);
  }
  if (window && run.ms < 0) {
    // What the window showed when the awaited state did not come, as plain ASCII.
    HWND statusLine = GetDlgItem(window, kStatusId);
    wchar_t text[200] = {};
    if (statusLine) GetWindowTextW(statusLine, text, 200);
    for (const wchar_t* c = text; *c; ++c) {
      const bool plain = *c >= 32 && *c < 127 && *c != '"' && *c != '\\';
      run.lastStatus += plain ? static_cast<char>(*c) : '?';
    }
  }
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_timer EXE [ARGUMENT] [--title TEXT] [--status PREFIX] [--runs N]\n");
    return 2;
  }
  std::wstring exe = argv[1], argument, title, status, shownStatus;
  int first = 2;
  if (argc > 2 && std::wstring(argv[2]).compare(0, 2, L"--") != 0) {
    argument = argv[2];
    first = 3;
  }
  int runs = 5;
  DWORD timeoutMs = 60000;
  for (int i = first; i + 1 < argc; i += 2) {
    std::wstring key = argv[i];
    if (key == L"--title") title = argv[i + 1];
    if (key == L"--status") status = argv[i + 1];
    if (key == L"--shown-status") shownStatus = argv[i + 1];
    if (key == L"--runs") runs = _wtoi(argv[i + 1]);
    if (key == L"--timeout-ms") timeoutMs = static_cast<DWORD>(_wtoi(argv[i + 1]));
  }
  std::vector<double> times;
  for (int index = 0; index < runs; ++index) {
    const Run run = TimeOneStart(exe, argument, title, status, shownStatus, timeoutMs);
    std::printf(
        "{\"run\":%d,\"ms\":%.1f,\"shown_ms\":%.1f,\"shown_status\":%s,\"start_unix_ms\":%.3f,"
        "\"longest_busy_ms\":%.1f,\"longest_busy_at_ms\":%.1f,\"last_status\":\"%s\"}\n",
        index, run.ms, run.shownMs, run.shownStatus ? "true" : "false", run.startUnixMs, run.longestBusyMs,
        run.longestBusyAtMs, run.lastStatus.c_str());
    std::fflush(stdout);
    if (run.ms < 0) return 1;
    times.push_back(run.ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("{\"median_ms\":%.1f,\"min_ms\":%.1f,\"max_ms\":%.1f,\"runs\":%d}\n", times[times.size() / 2],
              times.front(), times.back(), runs);
  return 0;
}
