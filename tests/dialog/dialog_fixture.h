#pragma once
// Runs the real launcher dialog (real template, real procedure) modelessly inside a test program,
// with a message pump the tests drive, and reads its state back from the controls.
#include <windows.h>

#include <functional>
#include <string>

#include "manifest/manifest.h"

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
bool IsShown(HWND window);
// Resizes the dialog so that its client area is exactly width x height.
void SetClientSize(HWND dialog, int width, int height);

Manifest* NewManifest(int entries);
wchar_t* LocalText(const std::wstring& text);
void Post(UINT message, WPARAM wParam, LPARAM lParam = 0);
// The fetch worker of a fresh dialog fails at once (nothing serves the manifest port while these
// tests hold it); waiting for its report keeps it from racing the messages a test posts.
void WaitForManifestWorker();
