// The window's states and transitions, driven by the worker messages with real payloads.
#include <windows.h>
#include <commctrl.h>

#include "app/ui_state.h"
#include <atomic>
#include <thread>

#include "check/check.h"
#include "dialog/dialog_fixture.h"
#include "net/messages.h"
#include "res/resource.h"
#include "support/shell_window_closer.h"

namespace {

const std::wstring kFetching = L"Fetching available downloads\u2026";

void ShowManifest(int entries) {
  WaitForManifestWorker();
  Post(WM_MANIFEST_READY, reinterpret_cast<WPARAM>(NewManifest(entries)));
  PumpUntil([] { return !StatusIsError(); });
}

int ProgressPosition() { return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
bool ProgressHasMarquee() { return (GetWindowLongPtrW(Control(IDC_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0; }

// The Downloading state as StartDownload leaves it, without a real worker behind it.
void EnterDownloadingState() {
  ShowManifest(2);
  g_busy = true;
  EnableWindow(g_fileList, FALSE);
  ShowWindow(g_progressBar, SW_SHOW);
  SendMessageW(g_progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
}

}  // namespace

TEST_CASE(OpensInTheFetchingState) {
  DialogUnderTest dialog;
  REQUIRE(dialog.window != nullptr);
  CHECK_EQ(g_mainWindow, dialog.window);
  CHECK_EQ(StatusText(), kFetching);
  CHECK(!StatusIsError());
  CHECK(!IsShown(Control(IDC_PROGRESS)));
  CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
  CHECK_EQ(ListRowCount(), 0);
  CHECK_EQ(WindowText(dialog.window), std::wstring(L"Quorvel Launcher"));
  CHECK(!g_busy);
  WaitForManifestWorker();
}

TEST_CASE(ManifestReadyFillsTheListAndCountsFiles) {
  DialogUnderTest dialog;
  ShowManifest(1);
  CHECK_EQ(StatusText(), std::wstring(L"1 file(s) available \u2014 double-click any row to install."));
  CHECK(!StatusIsError());
  CHECK_EQ(ListRowCount(), 1);
  CHECK_EQ(ListCell(0, 0), std::wstring(L"Setup0.msi"));
  CHECK_EQ(ListCell(0, 1), std::wstring(L"2026-05-29"));
  CHECK_EQ(ListCell(0, 3), std::wstring(L"MSI"));
  CHECK_EQ(ListSelectedRow(), 0);
  CHECK_EQ(GetFocus(), Control(IDC_FILELIST));
  CHECK_EQ(g_manifest.files.size(), static_cast<size_t>(1));

  // A second manifest replaces every row of the first.
  Post(WM_MANIFEST_READY, reinterpret_cast<WPARAM>(NewManifest(3)));
  PumpUntil([] { return ListRowCount() == 3; });
  CHECK_EQ(ListRowCount(), 3);
  CHECK_EQ(StatusText(), std::wstring(L"3 file(s) available \u2014 double-click any row to install."));
}

TEST_CASE(EmptyManifestSaysNoFilesAndSelectsNothing) {
  DialogUnderTest dialog;
  ShowManifest(0);
  CHECK_EQ(StatusText(), std::wstring(L"No files available in /download/latest/."));
  CHECK(!StatusIsError());
  CHECK_EQ(ListRowCount(), 0);
  CHECK_EQ(ListSelectedRow(), -1);
}

TEST_CASE(ManifestFailureShowsTheTextOrTheFallbackInRed) {
  const struct {
    const wchar_t* payload;
    const wchar_t* shown;
  } cases[] = {{L"Server returned HTTP 404.", L"Server returned HTTP 404."}, {nullptr, L"Unknown error."}};
  for (const auto& c : cases) {
    check::Scope scope(c.payload ? "with text" : "null payload");
    DialogUnderTest dialog;
    WaitForManifestWorker();
    SetWindowTextW(Control(IDC_STATUS), L"");
    Post(WM_MANIFEST_FAILED, reinterpret_cast<WPARAM>(c.payload ? LocalText(c.payload) : nullptr));
    PumpUntil([&] { return StatusText() == c.shown; });
    CHECK_EQ(StatusText(), std::wstring(c.shown));
    CHECK(StatusIsError());
    CHECK_EQ(ListRowCount(), 0);
    CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
  }
}

TEST_CASE(ProgressMovesTheBarAndShowsSizes) {
  DialogUnderTest dialog;
  EnterDownloadingState();
  Post(WM_DOWNLOAD_PROGRESS, 1536, 20480);
  PumpUntil([] { return ProgressPosition() == 75; });
  CHECK_EQ(ProgressPosition(), 75);
  CHECK_EQ(StatusText(), std::wstring(L"Downloading\u2026 1.50 MB of 20.00 MB"));
  CHECK(!StatusIsError());

  // More received than announced keeps the bar full.
  Post(WM_DOWNLOAD_PROGRESS, 40000, 20480);
  PumpUntil([] { return ProgressPosition() == 1000; });
  CHECK_EQ(ProgressPosition(), 1000);
}

TEST_CASE(UnknownLengthRunsTheMarqueeAndKeepsTheStatus) {
  DialogUnderTest dialog;
  EnterDownloadingState();
  SetWindowTextW(Control(IDC_STATUS), L"Downloading Setup0.msi\u2026");
  for (LPARAM total : {static_cast<LPARAM>(-1), static_cast<LPARAM>(0)}) {
    check::Scope scope("total " + std::to_string(static_cast<long long>(total)));
    Post(WM_DOWNLOAD_PROGRESS, 64, total);
    PumpUntil(ProgressHasMarquee);
    CHECK(ProgressHasMarquee());
    CHECK_EQ(StatusText(), std::wstring(L"Downloading Setup0.msi\u2026"));
  }
  // A known length turns the marquee off again before the position is set.
  Post(WM_DOWNLOAD_PROGRESS, 512, 1024);
  PumpUntil([] { return !ProgressHasMarquee(); });
  CHECK(!ProgressHasMarquee());
  CHECK_EQ(ProgressPosition(), 500);
}

TEST_CASE(DoneWithoutAPathIsIgnored) {
  DialogUnderTest dialog;
  EnterDownloadingState();
  SetWindowTextW(Control(IDC_STATUS), L"Downloading Setup0.msi\u2026");
  Post(WM_DOWNLOAD_DONE, 0);
  Post(WM_APP + 77, 0);  // a marker: once it is handled, so is everything posted before it
  PumpPending();
  CHECK(IsWindow(dialog.window));
  CHECK_EQ(StatusText(), std::wstring(L"Downloading Setup0.msi\u2026"));
  CHECK(IsShown(Control(IDC_PROGRESS)));
  CHECK(g_busy);
}

TEST_CASE(FailedDownloadGivesTheListBack) {
  const struct {
    const wchar_t* payload;
    const wchar_t* shown;
  } cases[] = {{L"Server returned HTTP 500.", L"Server returned HTTP 500."}, {nullptr, L"Download failed."}};
  for (const auto& c : cases) {
    check::Scope scope(c.payload ? "with text" : "null payload");
    DialogUnderTest dialog;
    EnterDownloadingState();
    ListView_SetItemState(g_fileList, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Post(WM_DOWNLOAD_FAILED, reinterpret_cast<WPARAM>(c.payload ? LocalText(c.payload) : nullptr));
    PumpUntil([] { return !g_busy; });
    CHECK_EQ(StatusText(), std::wstring(c.shown));
    CHECK(StatusIsError());
    CHECK(!g_busy);
    CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
    CHECK(!IsShown(Control(IDC_PROGRESS)));
    CHECK_EQ(ListSelectedRow(), 1);
  }
}

TEST_CASE(FailedLaunchStillShowsLaunchingAndCloses) {
  DialogUnderTest dialog;
  EnterDownloadingState();
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring missing = std::wstring(temp) + L"QuorvelLauncher\\20261208_101401_Missing Setup.exe";
  // The shell shows its own box for the missing file; the closer answers it like a user would,
  // and meanwhile the status line is read from this second thread.
  std::atomic<bool> sawLaunching{false};
  ShellWindowCloser closer;
  std::atomic<bool> watching{true};
  std::thread watcher([&] {
    while (watching) {
      if (WindowText(g_statusLine) == L"Launching\u2026") sawLaunching = true;
      Sleep(20);
    }
  });
  const ULONGLONG before = GetTickCount64();
  Post(WM_DOWNLOAD_DONE, reinterpret_cast<WPARAM>(LocalText(missing)));
  PumpUntil([&] { return !IsWindow(dialog.window); });
  const ULONGLONG elapsed = GetTickCount64() - before;
  watching = false;
  watcher.join();
  closer.Finish();
  CHECK(!IsWindow(dialog.window));
  CHECK(sawLaunching);
  CHECK(elapsed >= 400);
}

TEST_CASE(StatusErrorFlagFollowsEveryText) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  CHECK_EQ(GetWindowLongPtrW(Control(IDC_STATUS), GWLP_USERDATA), static_cast<LONG_PTR>(1));
  Post(WM_MANIFEST_READY, reinterpret_cast<WPARAM>(NewManifest(2)));
  PumpUntil([] { return !StatusIsError(); });
  CHECK_EQ(GetWindowLongPtrW(Control(IDC_STATUS), GWLP_USERDATA), static_cast<LONG_PTR>(0));
}
