#include "app/main_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <system_error>
#include <thread>

#include "app/banner.h"
#include "app/file_list.h"
#include "app/layout.h"
#include "app/list_enter.h"
#include "app/live_region.h"
#include "app/look.h"
#include "app/single_instance.h"
#include "app/ui_state.h"
#include "app/window_dpi.h"
#include "app/window_icons.h"
#include "app/window_state.h"
#include "install/launch.h"
#include "install/shortcut.h"
#include "net/download.h"
#include "net/download_folder.h"
#include "net/manifest_fetch.h"
#include "net/messages.h"
#include "res/resource.h"
#include "server_config.h"
#include "trust/download_rules.h"
#include "trust/pinned_list_keys.h"
#include "trust/publisher.h"

namespace {

constexpr DWORD kCloseDelayAfterLaunchMs = 400;
// What the manifest-failure state says when there is no better text to give.
constexpr wchar_t kUnknownError[] = L"Unknown error.";

// False when the system could not start the thread.
template <typename Procedure, typename... Arguments>
bool StartDetachedWorker(Procedure procedure, Arguments... arguments) {
  try {
    std::thread(procedure, arguments...).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

// The start's silent upkeep, on one thread: the desktop shortcut, then the downloads of earlier days.
void UpkeepWorker() {
  ShortcutWorker();
  ClearOldDownloads();
}

void SetLinkText(HWND dialog) {
  const std::wstring markup = std::wstring(L"<a href=\"") + kWebSiteUrl + L"\">" + kServerHost + L"</a>";
  SetDlgItemTextW(dialog, IDC_LINK, markup.c_str());
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
  CreateBackgroundBrush();
  RefreshColourScheme();
  MakeLiveRegion(g_statusLine);
  ShowFetching();
}

void OnInitDialog(HWND dialog) {
  g_mainWindow = dialog;
  // The fetch starts first, so it overlaps the rest of the set-up; its message is taken only once
  // this handler has returned and the window is shown in the Fetching state.
  const bool fetching = StartDetachedWorker(ManifestWorker);
  g_windowDpi = WindowDpi(dialog);
  KeepDialogManagerOutOfDpiChanges(dialog);
  SetWindowIconsForDpi(dialog, g_windowDpi);
  LoadBannerImage();
  InitMainDialogControls(dialog);
  LayoutControls(dialog);
  // Without its worker no manifest ever comes: the window says so instead of fetching for ever.
  if (!fetching) ShowManifestFailed(kUnknownError);
  // Without this one the shortcut and old downloads are simply left as they are this time.
  StartDetachedWorker(UpkeepWorker);
}

bool IsListActivation(const NMHDR& header) {
  if (header.code == static_cast<UINT>(NM_DBLCLK) || header.code == static_cast<UINT>(NM_RETURN)) return true;
  return header.code == static_cast<UINT>(LVN_KEYDOWN) &&
         reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_RETURN;
}

void StartDownload(const ManifestEntry& entry) {
  auto job = std::make_unique<DownloadJob>();
  std::wstring error;
  TrustContext context;
  context.ownFileName = OwnExeFileName();
  context.launcherSigned = LauncherCarriesSignature();
  context.listKeysPinned = ListKeysPinned();
  context.listVouched = g_manifest.vouched;
  // Decided once, and refused before anything is requested; the folder is made only for a download
  // that may start.
  if (!PlanDownload(entry, context, job->plan, error) || !MakeDestinationPath(*job, error)) {
    ShowDownloadFailed(error);
    return;
  }
  g_currentDownloadName = job->plan.savedName;
  ShowDownloading(entry.name);
  job->url = entry.url;
  try {
    std::thread(DownloadWorker, std::move(job)).detach();
  } catch (const std::system_error&) {
    // The worker never ran (its job went with the thread's arguments): say so and give the list
    // back, as a failed download would.
    ShowDownloadFailed(L"Download failed.");
  }
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
  g_manifest.vouched = manifest->vouched;
  manifest->files.clear();
  FillFileList();
  ShowReady(g_manifest.files.size());
}

// A worker's LocalAlloc'd text, freed; the fallback when the worker could not allocate one.
std::wstring TakeWorkerText(wchar_t* payload, const wchar_t* fallback) {
  if (!payload) return fallback;
  std::wstring text(payload);
  LocalFree(payload);
  return text;
}

void OnManifestFailed(wchar_t* payload) { ShowManifestFailed(TakeWorkerText(payload, kUnknownError)); }

void OnDownloadProgress(WPARAM receivedKiB, LPARAM totalKiB) {
  ShowDownloadProgress(static_cast<long long>(receivedKiB), static_cast<long long>(totalKiB));
}

void OnDownloadDone(FinishedDownload* payload) {
  std::unique_ptr<FinishedDownload> done(payload);
  if (!done) return;
  // The worker found the folder holding the judged file alone, then locked it; looked at once more
  // just before the start, where the system does not hold to the lock (a file system without
  // access lists, or one that does not enforce them).
  if (!FolderHoldsOnly(done->folder, done->path)) {
    ShowDownloadFailed(kFolderChangedText);
    return;
  }
  ShowLaunching();
  // This copy is on its way out: whatever the launch starts, a newer launcher included, may run now.
  ReleaseSingleInstance();
  LaunchDownloadedFile(done->path, done->way);
  // The file and its folders stay held as they were judged until the process ends.
  done.release();
  // On the UI thread on purpose: nothing may happen in the window between the launch and the close,
  // while "Launching…" stays up as the started program comes to the front.
  Sleep(kCloseDelayAfterLaunchMs);
  PostMessageW(g_mainWindow, WM_CLOSE, 0, 0);
}

void OnDownloadFailed(wchar_t* payload) { ShowDownloadFailed(TakeWorkerText(payload, L"Download failed.")); }

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

// DestroyWindow, not EndDialog, although the dialog is modal: WM_DESTROY's quit message ends
// DialogBoxParamW's loop, and the same procedure also runs a modeless window.
void CloseTheWindow(HWND dialog) { DestroyWindow(dialog); }

// Only the banner is owner-drawn.
bool OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != IDC_BANNER) return false;
  PaintBanner(item);
  return true;
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
    case WM_INITDIALOG: OnInitDialog(dialog); return TRUE;
    case WM_NOTIFY: OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam)); return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) CloseTheWindow(dialog);
      return FALSE;
    case WM_CLOSE: CloseTheWindow(dialog); return FALSE;
    case WM_DESTROY: OnDestroy(dialog); return FALSE;
    case WM_SETFOCUS: return KeepFocusOnTheDialog() ? TRUE : FALSE;
    case WM_SIZE: LayoutControls(dialog); return FALSE;
    case WM_GETMINMAXINFO: SetMinimumTrackSize(dialog, *reinterpret_cast<MINMAXINFO*>(lParam)); return FALSE;
    case WM_DPICHANGED: OnDpiChanged(dialog, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return TRUE;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE: OnColoursChanged(dialog, message, wParam, lParam); return FALSE;
    case WM_DRAWITEM: return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          ColourStaticControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(BackgroundBrush());
    case WM_MANIFEST_READY: OnManifestReady(Payload<Manifest>(wParam)); return FALSE;
    case WM_MANIFEST_FAILED: OnManifestFailed(Payload<wchar_t>(wParam)); return FALSE;
    case WM_DOWNLOAD_PROGRESS: OnDownloadProgress(wParam, lParam); return FALSE;
    case WM_DOWNLOAD_DONE: OnDownloadDone(Payload<FinishedDownload>(wParam)); return FALSE;
    case WM_DOWNLOAD_FAILED: OnDownloadFailed(Payload<wchar_t>(wParam)); return FALSE;
  }
  return FALSE;
}
