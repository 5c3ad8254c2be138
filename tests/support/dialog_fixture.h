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
// A downloaded file that is not there, so its launch fails (silently: the shell shows no box).
std::wstring MissingDownloadPath();
// A loopback listener on a free port that takes connections and never answers them, so a download
// from it stays under way; INVALID_SOCKET when none could be made.
SOCKET ListenOnLoopback(unsigned short& port);
