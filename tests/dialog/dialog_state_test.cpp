// The window's states and transitions, driven by the worker messages with real payloads.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "install/launch.h"
#include "net/messages.h"
#include "res/resource.h"
#include "support/check.h"
#include "support/dialog_fixture.h"
#include "support/shell_window_closer.h"
#include "trust/download_rules.h"

namespace {

const std::wstring kFetching = L"Fetching available downloads\u2026";
const std::wstring kDownloadingSetup1 = L"Downloading Setup1.msi\u2026";

// A loopback server that takes connections and never answers: a download from it stays under way
// until the server goes, which resets the connection and makes the real worker report a failure.
struct StalledServer {
  unsigned short port = 0;
  SOCKET listener = ListenOnLoopback(port);
  StalledServer() = default;
  // Waits for the worker's own failure, so it never reports into a later test's window.
  ~StalledServer() {
    SetStatus(L"", false);
    closesocket(listener);
    CHECK(PumpUntil(StatusIsError));
  }
  StalledServer(const StalledServer&) = delete;
  StalledServer& operator=(const StalledServer&) = delete;
};

// Enters the Downloading state as a user does, by activating row 1, with the real StartDownload
// and the real worker behind it; checks what the state shows.
void EnterDownloadingState(const StalledServer& server) {
  REQUIRE(server.port != 0);
  Manifest* manifest = NewManifest(2);
  for (ManifestEntry& entry : manifest->files) {
    entry.url = L"https://127.0.0.1:" + std::to_wstring(server.port) + L"/files/" + entry.name;
  }
  ShowManifest(manifest);
  ListView_SetItemState(g_fileList, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  NMITEMACTIVATE activation = {};
  activation.hdr = {g_fileList, IDC_FILELIST, static_cast<UINT>(NM_DBLCLK)};
  activation.iItem = 1;
  SendMessageW(g_mainWindow, WM_NOTIFY, IDC_FILELIST, reinterpret_cast<LPARAM>(&activation));
  CHECK_EQ(StatusText(), kDownloadingSetup1);
  CHECK(!StatusIsError());
  CHECK(g_busy);
  CHECK_EQ(g_currentDownloadName, std::wstring(L"Setup1.msi"));
  CHECK(!IsWindowEnabled(Control(IDC_FILELIST)));
  CHECK(IsShown(Control(IDC_PROGRESS)));
  PBRANGE range = {};
  SendMessageW(Control(IDC_PROGRESS), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  CHECK_EQ(range.iLow, 0);
  CHECK_EQ(range.iHigh, 1000);
  CHECK_EQ(ProgressPosition(), 0);
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
    const char* name;
    const wchar_t* payload;
    const wchar_t* shown;
    bool workerCannotStart;  // no thread can be started while the window opens: no report ever comes
  } cases[] = {
      {"with text", L"Server returned HTTP 404.", L"Server returned HTTP 404.", false},
      {"null payload", nullptr, L"Unknown error.", false},
      {"fetch worker cannot start", nullptr, L"Unknown error.", true},
  };
  for (const auto& c : cases) {
    check::Scope scope(c.name);
    std::unique_ptr<ThreadStartsRefused> refused(c.workerCannotStart ? new ThreadStartsRefused : nullptr);
    if (refused) REQUIRE(refused->Count() > 0);
    DialogUnderTest dialog;
    refused.reset();
    if (!c.workerCannotStart) {
      WaitForManifestWorker();
      SetStatus(L"", false);
      Post(WM_MANIFEST_FAILED, reinterpret_cast<WPARAM>(c.payload ? CopyToLocalText(c.payload) : nullptr));
    }
    PumpUntil([&] { return StatusText() == c.shown; });
    CHECK_EQ(StatusText(), std::wstring(c.shown));
    CHECK(StatusIsError());
    CHECK_EQ(ListRowCount(), 0);
    CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
  }
}

TEST_CASE(ProgressMovesTheBarAndShowsSizes) {
  DialogUnderTest dialog;
  StalledServer server;
  EnterDownloadingState(server);
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
  StalledServer server;
  EnterDownloadingState(server);
  for (LPARAM total : {static_cast<LPARAM>(-1), static_cast<LPARAM>(0)}) {
    check::Scope scope("total " + std::to_string(static_cast<long long>(total)));
    Post(WM_DOWNLOAD_PROGRESS, 64, total);
    PumpUntil(ProgressHasMarquee);
    CHECK(ProgressHasMarquee());
    CHECK_EQ(StatusText(), kDownloadingSetup1);
  }
  // A known length turns the marquee off again before the position is set.
  Post(WM_DOWNLOAD_PROGRESS, 512, 1024);
  PumpUntil([] { return !ProgressHasMarquee(); });
  CHECK(!ProgressHasMarquee());
  CHECK_EQ(ProgressPosition(), 500);
}

TEST_CASE(DoneWithoutAPathIsIgnored) {
  DialogUnderTest dialog;
  StalledServer server;
  EnterDownloadingState(server);
  Post(WM_DOWNLOAD_DONE, 0);
  Post(WM_APP + 77, 0);  // a marker: once it is handled, so is everything posted before it
  PumpPending();
  CHECK(IsWindow(dialog.window));
  CHECK_EQ(StatusText(), kDownloadingSetup1);
  CHECK(IsShown(Control(IDC_PROGRESS)));
  CHECK(g_busy);
}

TEST_CASE(FailedDownloadGivesTheListBack) {
  const struct {
    const char* label;
    UINT message;
    std::function<WPARAM()> payload;
    const wchar_t* shown;
  } cases[] = {
      {"with text", WM_DOWNLOAD_FAILED,
       [] { return reinterpret_cast<WPARAM>(CopyToLocalText(L"Server returned HTTP 500.")); },
       L"Server returned HTTP 500."},
      {"null payload", WM_DOWNLOAD_FAILED, [] { return WPARAM{0}; }, L"Download failed."},
      // Judged alone in its folder, then another file came beside it: nothing is started.
      {"folder changed after the judgement", WM_DOWNLOAD_DONE,
       [] {
         FinishedDownload* done = NewFinishedDownload(L"Setup.exe");
         CloseHandle(CreateFileW((done->folder.path + L"version.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
         return reinterpret_cast<WPARAM>(done);
       },
       kFolderChangedText},
  };
  for (const auto& c : cases) {
    check::Scope scope(c.label);
    DialogUnderTest dialog;
    StalledServer server;
    EnterDownloadingState(server);
    Post(c.message, c.payload());
    PumpUntil([] { return !g_busy; });
    CHECK_EQ(StatusText(), std::wstring(c.shown));
    CHECK(StatusIsError());
    CHECK(!g_busy);
    CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
    CHECK(!IsShown(Control(IDC_PROGRESS)));
    CHECK_EQ(ListSelectedRow(), 1);
  }
}

TEST_CASE(LaunchShowsLaunchingAndClosesAbout400MsLater) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const struct {
    const char* label;
    std::wstring name;
    std::wstring source;
    ULONGLONG mostMs;  // 0: no upper bound
  } cases[] = {
      // The shell fails on the empty program and shows nothing (a box, were there one, is closed).
      {"failed launch", L"Missing Setup.exe", L"", 0},
      // A program that starts and ends without a window: the launch takes a process start, and the
      // bound leaves a loaded machine room while it still catches a wait of seconds.
      {"working launch", L"rundll32.exe", std::wstring(system) + L"\\rundll32.exe", 2500},
  };
  for (const auto& c : cases) {
    check::Scope scope(c.label);
    DialogUnderTest dialog;
    ShowManifest(2);  // the launch and the close follow WM_DOWNLOAD_DONE in whatever state it finds
    // The UI thread blocks in the launch and the wait after it, so a second thread watches, without
    // sending the window a message, the status line and when the window starts closing: it hides
    // first (and under Wine then waits up to two seconds for the X server to let it go).
    std::atomic<bool> sawLaunching{false};
    std::atomic<ULONGLONG> hiddenAt{0};
    ShellWindowCloser closer;
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
      while (watching) {
        wchar_t text[64] = {};
        InternalGetWindowText(g_statusLine, text, 64);
        if (std::wstring(text) == L"Launching\u2026") sawLaunching = true;
        if (!hiddenAt && !IsWindowVisible(dialog.window)) hiddenAt = GetTickCount64();
        Sleep(10);
      }
    });
    const ULONGLONG posted = GetTickCount64();
    Post(WM_DOWNLOAD_DONE, reinterpret_cast<WPARAM>(NewFinishedDownload(c.name, c.source)));
    PumpUntil([&] { return !IsWindow(dialog.window); });
    watching = false;
    watcher.join();
    closer.Finish();
    CHECK(!IsWindow(dialog.window));
    CHECK(sawLaunching);
    const ULONGLONG tookMs = hiddenAt - posted;
    std::fprintf(stderr, "  the window started closing %llu ms after the download was done\n", tookMs);
    CHECK(tookMs >= 400);
    if (c.mostMs) CHECK(tookMs < c.mostMs);
  }
}

TEST_CASE(StatusErrorFlagFollowsEveryText) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  CHECK_EQ(GetWindowLongPtrW(Control(IDC_STATUS), GWLP_USERDATA), static_cast<LONG_PTR>(1));
  ShowManifest(2);
  CHECK_EQ(GetWindowLongPtrW(Control(IDC_STATUS), GWLP_USERDATA), static_cast<LONG_PTR>(0));
}

// Each state sets its whole row of the state table, whichever state the window was in before.
TEST_CASE(EveryStateSetsItsWholeGroupOfControls) {
  DialogUnderTest dialog;
  ShowManifest(2);
  enum Focus { kAnywhere, kList, kDialog };
  const struct {
    const char* name;
    void (*enter)();
    bool busy, listEnabled, progressShown;
    std::wstring status;
    bool error;
    Focus focus;
  } states[] = {
      {"downloading", [] { ShowDownloading(L"Setup1.msi"); }, true, false, true, kDownloadingSetup1, false, kDialog},
      {"download failed", [] { ShowDownloadFailed(L"Disk full."); }, false, true, false, L"Disk full.", true, kList},
      {"downloading again", [] { ShowDownloading(L"Setup1.msi"); }, true, false, true, kDownloadingSetup1, false,
       kDialog},
      {"launching", ShowLaunching, true, false, false, L"Launching\u2026", false, kDialog},
      {"ready", [] { ShowReady(2); }, false, true, false,
       L"2 file(s) available \u2014 double-click any row to install.", false, kList},
      {"manifest failed", [] { ShowManifestFailed(L"Unknown error."); }, false, true, false, L"Unknown error.", true,
       kAnywhere},
      {"fetching", ShowFetching, false, true, false, kFetching, false, kAnywhere},
  };
  for (const auto& state : states) {
    check::Scope scope(state.name);
    state.enter();
    CHECK_EQ(g_busy, state.busy);
    CHECK_EQ(IsWindowEnabled(Control(IDC_FILELIST)) != FALSE, state.listEnabled);
    CHECK_EQ(IsShown(Control(IDC_PROGRESS)), state.progressShown);
    CHECK_EQ(StatusText(), state.status);
    CHECK_EQ(StatusIsError(), state.error);
    if (state.focus != kAnywhere) CHECK_EQ(GetFocus(), state.focus == kList ? Control(IDC_FILELIST) : dialog.window);
  }
}
