#pragma once
// Runs the real launcher dialog (real template, real procedure) modelessly inside a test program,
// with a message pump the tests drive, and reads its state back from the controls. Tests enter the
// window's states through app/window_state.h, or through the worker messages.
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

#include "app/ui_resources.h"
#include "app/ui_state.h"
#include "app/window_state.h"
#include "manifest/manifest.h"
#include "net/messages.h"

// Starts COM, common controls and GDI+ once for the whole test program.
void StartWindowServices();

// While one lives, the test program's C runtime starts no thread: the program's imports of
// _beginthreadex (MinGW's std::thread) and CreateThread (MSVC's static runtime) answer as the system
// does when it has no room for another thread's stack (ERROR_NOT_ENOUGH_MEMORY, errno EAGAIN).
// Threads the system's own DLLs start are not touched.
class ThreadStartsRefused {
 public:
  ThreadStartsRefused();
  ~ThreadStartsRefused();
  ThreadStartsRefused(const ThreadStartsRefused&) = delete;
  ThreadStartsRefused& operator=(const ThreadStartsRefused&) = delete;
  // How many imports were redirected; 0 means nothing is refused.
  int Count() const { return count_; }

 private:
  void** slots_[3] = {};
  void* saved_[3] = {};
  int count_ = 0;
};

struct DialogUnderTest {
  HWND window = nullptr;
  DialogUnderTest();
  ~DialogUnderTest();
  DialogUnderTest(const DialogUnderTest&) = delete;
  DialogUnderTest& operator=(const DialogUnderTest&) = delete;
};

// Pumps messages until the predicate holds or the time-out passes; returns the predicate's value.
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs = 30000);
void PumpPending();

std::wstring StatusText();
bool StatusIsError();
std::wstring WindowText(HWND window);
HWND Control(int id);
int ListRowCount();
std::wstring ListCell(int row, int column);
int ListSelectedRow();
int ListColumnWidth(int column);
int ProgressPosition();
bool ProgressHasMarquee();
bool IsShown(HWND window);
int ScreenDpi();
// Resizes the dialog so that its client area is exactly width x height.
void SetClientSize(HWND dialog, int width, int height);

Manifest* NewManifest(int entries);
void Post(UINT message, WPARAM wParam, LPARAM lParam = 0);
// The fetch worker of a fresh dialog fails at once (nothing serves the manifest port while these
// tests hold it); waiting for its report keeps it from racing the messages a test posts.
void WaitForManifestWorker();
// Waits for the fetch worker, then posts WM_MANIFEST_READY as it would and pumps until it is shown.
void ShowManifest(Manifest* manifest);
void ShowManifest(int entries);
// A finished download as the worker hands it over: a new download folder holding `name` alone,
// a copy of `source` or, without one, an empty file whose launch fails (silently: the shell shows no
// box), both held as the worker holds them.
FinishedDownload* NewFinishedDownload(const std::wstring& name, const std::wstring& source = std::wstring());
// A loopback listener on a free port that takes connections and never answers them, so a download
// from it stays under way; INVALID_SOCKET when none could be made.
SOCKET ListenOnLoopback(unsigned short& port);
