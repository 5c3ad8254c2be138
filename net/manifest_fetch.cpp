#include "net/manifest_fetch.h"

#include <windows.h>

#include "app/ui_state.h"
#include "net/messages.h"

bool FetchManifest(Manifest&, std::wstring& error) {
  error = L"Manifest download is not available in this build.";
  return false;
}

void ManifestWorker() {
  Manifest manifest;
  std::wstring error;
  FetchManifest(manifest, error);
  PostMessageW(g_mainWindow, WM_MANIFEST_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(error)), 0);
}
