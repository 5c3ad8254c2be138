#pragma once
// Messages the workers post to the main dialog; each text payload is LocalAlloc'd and owned by the
// dialog once posted.
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "common/scoped.h"
#include "net/download_folder.h"
#include "trust/download_plan.h"

constexpr UINT WM_MANIFEST_READY = WM_APP + 1;     // wParam: Manifest* (new)
constexpr UINT WM_MANIFEST_FAILED = WM_APP + 2;    // wParam: LocalAlloc'd error text or null
constexpr UINT WM_DOWNLOAD_PROGRESS = WM_APP + 3;  // wParam: KiB received; lParam: KiB announced or -1
constexpr UINT WM_DOWNLOAD_DONE = WM_APP + 4;      // wParam: FinishedDownload* (new) or null
constexpr UINT WM_DOWNLOAD_FAILED = WM_APP + 5;    // wParam: LocalAlloc'd error text or null

// A download that passed its plan's checks: where it is and how it is to be started, with the
// handles that keep the judged file as it was judged (one that lets others only read it) and its
// folders in their places. They stay open until the process ends.
struct FinishedDownload {
  std::wstring path;
  LaunchWay way = LaunchWay::ShellOpen;
  DownloadFolder folder;
  FileHandle file;
};

// The window the workers post to: written once before any worker starts and only read afterwards.
extern HWND g_mainWindow;

// A LocalAlloc(LPTR) copy of text with its NUL, or null when the allocation fails.
wchar_t* CopyToLocalText(const std::wstring& text);
#endif
