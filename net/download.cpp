#include "net/download.h"

#include <windows.h>

#include <memory>

#include "app/ui_state.h"
#include "net/messages.h"

std::wstring MakeDestinationPath(const ManifestEntry&) { return std::wstring(); }

bool DownloadFile(const std::wstring&, const std::wstring&, std::wstring& error) {
  error = L"Downloading is not available in this build.";
  return false;
}

void PostDownloadProgress(int64_t, int64_t) {}

void DownloadWorker(DownloadJob* job) {
  std::unique_ptr<DownloadJob> owned(job);
  std::wstring error;
  DownloadFile(owned->url, owned->destinationPath, error);
  PostMessageW(g_mainWindow, WM_DOWNLOAD_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(error)), 0);
}
