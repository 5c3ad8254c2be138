#include "app/window_state.h"

#include <windows.h>

#include <algorithm>

#include "app/live_region.h"
#include "app/progress.h"
#include "app/ui_state.h"
#include "manifest/list_text.h"
#include "net/messages.h"

namespace {

// Set while a download has taken the keyboard focus from the (then disabled) list.
bool g_focusMovedOffList = false;

enum class StatusKind { kMessage, kProgress };

void ShowStatus(const std::wstring& text, bool isError, StatusKind kind) {
  if (!g_statusLine) return;
  SetWindowTextW(g_statusLine, text.c_str());
  SetWindowLongPtrW(g_statusLine, GWLP_USERDATA, isError ? 1 : 0);
  InvalidateRect(g_statusLine, nullptr, TRUE);
  AnnounceLiveRegionChange(g_statusLine, kind == StatusKind::kProgress);
}

void HideProgressBar() {
  SetProgressMarquee(false);
  ShowWindow(g_progressBar, SW_HIDE);
}

// A disabled control keeps no focus, and a dialog without one ignores Esc. The dialog itself
// takes it: on the link, an Enter still held from starting the download would open the web site.
void MoveFocusOffTheList() {
  g_focusMovedOffList = GetFocus() == g_fileList || GetFocus() == nullptr;
  EnableWindow(g_fileList, FALSE);
  if (g_focusMovedOffList) SetFocus(g_mainWindow);
}

void GiveTheListBack() {
  EnableWindow(g_fileList, TRUE);
  if (g_focusMovedOffList) SendMessageW(g_mainWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(g_fileList), TRUE);
  g_focusMovedOffList = false;
}

// Every state without a download: the text, no bar, not busy, the list usable.
void ShowIdle(const std::wstring& text, bool isError) {
  SetStatus(text, isError);
  HideProgressBar();
  g_busy = false;
  GiveTheListBack();
}

}  // namespace

void ShowFetching() {
  g_focusMovedOffList = false;
  ShowIdle(L"Fetching available downloads\u2026", false);
}

void ShowReady(size_t fileCount) { ShowIdle(ManifestStatusText(fileCount), false); }

void ShowManifestFailed(const std::wstring& text) { ShowIdle(text, true); }

void ShowDownloading(const std::wstring& name) {
  g_busy = true;
  MoveFocusOffTheList();
  ResetProgressBar();
  SetStatus(L"Downloading " + name + L"\u2026", false);
}

void ShowDownloadProgress(long long receivedKiB, long long totalKiB) {
  if (totalKiB <= 0) {
    SetProgressMarquee(true);
    return;
  }
  const double ratio = static_cast<double>(receivedKiB) * 1000.0 / static_cast<double>(totalKiB);
  SetProgressPosition(std::min(static_cast<int>(ratio), 1000));
  ShowStatus(ProgressStatusText(receivedKiB, totalKiB), false, StatusKind::kProgress);
}

void ShowDownloadFailed(const std::wstring& text) { ShowIdle(text, true); }

void ShowLaunching() {
  // Busy and the list disabled as while downloading; the focus stays where the download put it.
  g_busy = true;
  EnableWindow(g_fileList, FALSE);
  HideProgressBar();
  SetStatus(L"Launching\u2026", false);
  UpdateWindow(g_statusLine);  // the launch and the wait after it block the UI thread: paint it now
}

void SetStatus(const std::wstring& text, bool isError) { ShowStatus(text, isError, StatusKind::kMessage); }

// The dialog manager hands a focused dialog's focus on to a control; during a download it stays.
bool KeepFocusOnTheDialog() { return g_busy && g_focusMovedOffList; }
