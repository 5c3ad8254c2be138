#include "app/main_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "app/banner.h"
#include "app/file_list.h"
#include "app/format.h"
#include "app/layout.h"
#include "app/list_enter.h"
#include "app/live_region.h"
#include "app/look.h"
#include "app/progress.h"
#include "app/single_instance.h"
#include "app/ui_state.h"
#include "app/window_dpi.h"
#include "app/window_icons.h"
#include "install/launch.h"
#include "install/shortcut.h"
#include "net/download.h"
#include "net/manifest_fetch.h"
#include "net/messages.h"
#include "res/resource.h"
#include "server_config.h"

namespace {

constexpr DWORD kCloseDelayAfterLaunchMs = 400;

// Set while a download has taken the keyboard focus from the (then disabled) list.
bool g_focusMovedOffList = false;

enum class StatusKind { kMessage, kProgress };

template <typename Procedure, typename... Arguments>
void StartDetachedWorker(Procedure procedure, Arguments... arguments) {
  try {
    std::thread(procedure, arguments...).detach();
  } catch (const std::system_error&) {
    // No thread: the window simply stays as it is; it has no state for this case.
  }
}

void SetLinkText(HWND dialog) {
  const std::wstring markup = std::wstring(L"<a href=\"") + kWebSiteUrl + L"\">" + kServerHost + L"</a>";
  SetDlgItemTextW(dialog, IDC_LINK, markup.c_str());
}

void OnInitDialog(HWND dialog) {
  g_mainWindow = dialog;
  // The fetch starts first, so it overlaps the rest of the set-up; its message is taken only once
  // this handler has returned and the window is shown in the Fetching state.
  StartDetachedWorker(ManifestWorker);
  g_windowDpi = WindowDpi(dialog);
  KeepDialogManagerOutOfDpiChanges(dialog);
  SetWindowIconsForDpi(dialog, g_windowDpi);
  LoadBannerImage();
  InitMainDialogControls(dialog);
  LayoutControls(dialog);
  StartDetachedWorker(ShortcutWorker);
}

bool IsListActivation(const NMHDR& header) {
  if (header.code == static_cast<UINT>(NM_DBLCLK) || header.code == static_cast<UINT>(NM_RETURN)) return true;
  return header.code == static_cast<UINT>(LVN_KEYDOWN) &&
         reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_RETURN;
}

void OnListNotify(const NMHDR& header) {
  if (!IsListActivation(header) || g_busy) return;
  if (const ManifestEntry* entry = SelectedEntry()) StartDownload(*entry);
}

void OnLinkNotify(HWND dialog, const NMHDR& header) {
  if (header.code == static_cast<UINT>(NM_CLICK) || header.code == static_cast<UINT>(NM_RETURN)) {
    ShellExecuteW(dialog, L"open", kWebSiteUrl, nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void OnNotify(HWND dialog, const NMHDR& header) {
  if (header.idFrom == IDC_FILELIST) {
    OnListNotify(header);
  } else if (header.idFrom == IDC_LINK) {
    OnLinkNotify(dialog, header);
  }
}

void OnManifestReady(Manifest* payload) {
  std::unique_ptr<Manifest> manifest(payload);
  if (!manifest) return;
  g_manifest.schema = std::move(manifest->schema);
  g_manifest.files = std::move(manifest->files);
  manifest->files.clear();
  FillFileList();
  SetStatus(ManifestStatusText(g_manifest.files.size()), false);
}

// The status line's text, error flag and repaint; screen readers hear it as a live region.
void ShowStatus(const std::wstring& text, bool isError, StatusKind kind) {
  if (!g_statusLine) return;
  SetWindowTextW(g_statusLine, text.c_str());
  SetWindowLongPtrW(g_statusLine, GWLP_USERDATA, isError ? 1 : 0);
  InvalidateRect(g_statusLine, nullptr, TRUE);
  AnnounceLiveRegionChange(g_statusLine, kind == StatusKind::kProgress);
}

// Shows a worker's LocalAlloc'd text (or the fallback when it is null) as an error and frees it.
void ShowWorkerError(wchar_t* text, const wchar_t* fallback) {
  SetStatus(text ? text : fallback, true);
  if (text) LocalFree(text);
}

void OnDownloadProgress(WPARAM receivedKiB, LPARAM totalKiB) {
  if (totalKiB <= 0) {
    SetProgressMarquee(true);
    return;
  }
  const double ratio = static_cast<double>(receivedKiB) * 1000.0 / static_cast<double>(totalKiB);
  SetProgressPosition(std::min(static_cast<int>(ratio), 1000));
  ShowStatus(ProgressStatusText(static_cast<long long>(receivedKiB), static_cast<long long>(totalKiB)), false,
             StatusKind::kProgress);
}

void OnDownloadDone(wchar_t* payload) {
  if (!payload) return;
  const std::wstring path(payload);
  SetProgressMarquee(false);
  ShowWindow(g_progressBar, SW_HIDE);
  SetStatus(L"Launching\u2026", false);
  UpdateWindow(g_statusLine);  // the launch and the wait below block the UI thread: paint it now
  // This copy is on its way out: whatever the launch starts, a newer launcher included, may run now.
  ReleaseSingleInstance();
  LaunchDownloadedFile(path);
  Sleep(kCloseDelayAfterLaunchMs);
  PostMessageW(g_mainWindow, WM_CLOSE, 0, 0);
  LocalFree(payload);
}

// A disabled control keeps no focus, and a dialog without one ignores Esc. The dialog itself
// takes it: on the link, an Enter still held from starting the download would open the web site.
void MoveFocusOffTheList() {
  g_focusMovedOffList = GetFocus() == g_fileList || GetFocus() == nullptr;
  EnableWindow(g_fileList, FALSE);
  if (g_focusMovedOffList) SetFocus(g_mainWindow);
}

// The dialog manager hands a focused dialog's focus on to a control; during a download it stays.
bool KeepFocusOnTheDialog() { return g_busy && g_focusMovedOffList; }

void GiveTheListBack() {
  EnableWindow(g_fileList, TRUE);
  if (g_focusMovedOffList) SendMessageW(g_mainWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(g_fileList), TRUE);
  g_focusMovedOffList = false;
}

void OnDownloadFailed(wchar_t* payload) {
  ShowWorkerError(payload, L"Download failed.");
  SetProgressMarquee(false);
  ShowWindow(g_progressBar, SW_HIDE);
  g_busy = false;
  GiveTheListBack();
}

// The window moved to a screen of another DPI (or that screen's scale changed): fonts, icons,
// columns and layout follow, and the window takes the rectangle the system suggests.
void OnDpiChanged(HWND dialog, int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  g_windowDpi = dpi;
  CreateAndSetFonts(dialog, dpi);
  SetWindowIconsForDpi(dialog, dpi);
  ScaleFileListColumns(dpi);
  SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayoutControls(dialog);
}

// High contrast switched, or the system's colours changed: repaint everything in the right set.
void OnColoursChanged(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  RefreshColourScheme();
  if (message == WM_SYSCOLORCHANGE) SendMessageW(g_fileList, message, wParam, lParam);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void OnDestroy(HWND dialog) {
  ForgetLiveRegion(g_statusLine);
  ReleaseWindowIcons(dialog);
  PostQuitMessage(0);
}

template <typename T>
T* Payload(WPARAM wParam) {
  return reinterpret_cast<T*>(wParam);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_NOTIFY:
      OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) DestroyWindow(dialog);
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return FALSE;
    case WM_DESTROY:
      OnDestroy(dialog);
      return FALSE;
    case WM_SETFOCUS:
      return KeepFocusOnTheDialog() ? TRUE : FALSE;
    case WM_SIZE:
      LayoutControls(dialog);
      return FALSE;
    case WM_GETMINMAXINFO:
      SetMinimumTrackSize(dialog, *reinterpret_cast<MINMAXINFO*>(lParam));
      return FALSE;
    case WM_DPICHANGED:
      OnDpiChanged(dialog, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return TRUE;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      OnColoursChanged(dialog, message, wParam, lParam);
      return FALSE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID != IDC_BANNER) return FALSE;
      PaintBanner(*item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(ColourStaticControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(BackgroundBrush());
    case WM_MANIFEST_READY:
      OnManifestReady(Payload<Manifest>(wParam));
      return FALSE;
    case WM_MANIFEST_FAILED:
      ShowWorkerError(Payload<wchar_t>(wParam), L"Unknown error.");
      return FALSE;
    case WM_DOWNLOAD_PROGRESS:
      OnDownloadProgress(wParam, lParam);
      return FALSE;
    case WM_DOWNLOAD_DONE:
      OnDownloadDone(Payload<wchar_t>(wParam));
      return FALSE;
    case WM_DOWNLOAD_FAILED:
      OnDownloadFailed(Payload<wchar_t>(wParam));
      return FALSE;
  }
  return FALSE;
}

void InitMainDialogControls(HWND dialog) {
  g_fileList = GetDlgItem(dialog, IDC_FILELIST);
  g_progressBar = GetDlgItem(dialog, IDC_PROGRESS);
  g_statusLine = GetDlgItem(dialog, IDC_STATUS);
  g_bannerControl = GetDlgItem(dialog, IDC_BANNER);
  const int dpi = LayoutDpi(dialog);
  CreateAndSetFonts(dialog, dpi);
  SetLinkText(dialog);
  SetUpFileList(dpi);
  MakeListWantEnter(g_fileList);
  ShowWindow(g_progressBar, SW_HIDE);
  g_backgroundBrush = CreateSolidBrush(RGB(255, 255, 255));
  RefreshColourScheme();
  MakeLiveRegion(g_statusLine);
  SetStatus(L"Fetching available downloads\u2026", false);
}

void SetStatus(const std::wstring& text, bool isError) { ShowStatus(text, isError, StatusKind::kMessage); }

void StartDownload(const ManifestEntry& entry) {
  g_busy = true;
  g_currentDownloadName = entry.name;
  MoveFocusOffTheList();
  ResetProgressBar();
  auto job = std::make_unique<DownloadJob>();
  job->url = entry.url;
  job->destinationPath = MakeDestinationPath(entry);
  job->expectedSha256 = entry.sha256;
  SetStatus(L"Downloading " + entry.name + L"\u2026", false);
  DownloadJob* owned = job.release();
  try {
    std::thread(DownloadWorker, owned).detach();
  } catch (const std::system_error&) {
    // The worker never ran: say so and give the list back, as a failed download would.
    delete owned;
    OnDownloadFailed(nullptr);
  }
}
