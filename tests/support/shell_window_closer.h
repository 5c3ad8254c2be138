#pragma once
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "net/messages.h"

// Closes whatever window the shell opens in this process while a launch blocks (its own error
// box), and remembers its texts and whether the launcher's window owned it.
struct ShellWindowCloser {
  struct Seen {
    HWND window;
    std::wstring texts;
    bool ownedByMainWindow;
  };
  std::atomic<bool> stop{false};
  std::vector<Seen> closed;
  std::thread thread;
  ShellWindowCloser() : thread([this] { Run(); }) {}
  ~ShellWindowCloser() { Finish(); }
  ShellWindowCloser(const ShellWindowCloser&) = delete;
  ShellWindowCloser& operator=(const ShellWindowCloser&) = delete;
  // Stops watching; the list is complete once this returns.
  const std::vector<Seen>& Finish() {
    stop = true;
    if (!thread.joinable()) return closed;
    thread.join();
    for (const Seen& seen : closed) std::fprintf(stderr, "  shell showed: %ls\n", seen.texts.c_str());
    return closed;
  }
  void Run() {
    while (!stop) {
      EnumWindows(
          [](HWND window, LPARAM self) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            auto* closer = reinterpret_cast<ShellWindowCloser*>(self);
            bool known = false;
            for (const Seen& seen : closer->closed) known = known || seen.window == window;
            if (!known && process == GetCurrentProcessId() && window != g_mainWindow && IsWindowVisible(window)) {
              wchar_t title[256] = {};
              GetWindowTextW(window, title, 256);
              Seen seen{window, title, GetWindow(window, GW_OWNER) == g_mainWindow};
              EnumChildWindows(
                  window,
                  [](HWND child, LPARAM text) -> BOOL {
                    wchar_t line[512] = {};
                    GetWindowTextW(child, line, 512);
                    if (line[0]) *reinterpret_cast<std::wstring*>(text) += std::wstring(L" | ") + line;
                    return TRUE;
                  },
                  reinterpret_cast<LPARAM>(&seen.texts));
              closer->closed.push_back(seen);
              PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(this));
      Sleep(100);
    }
  }
};
