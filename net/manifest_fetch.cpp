#include "net/manifest_fetch.h"

#include <windows.h>

#include <new>

#include "net/http.h"
#include "net/manifest_body.h"
#include "net/messages.h"
#include "net/system_dlls.h"
#include "server_config.h"
#include "trust/list_verdict.h"
#include "trust/pinned_list_keys.h"

namespace {

// A launcher that pins list keys shows only a list their holder signed; one that pins none reads
// the body as launchers always have, signature lines or not.
bool ReadFetchedList(const std::string& body, Manifest& manifest, std::wstring& error) {
  if (!ListKeysPinned()) return ReadManifestBody(body, manifest, error);
  if (IsHtmlReply(body)) {
    error = kHtmlReplyText;
    return false;
  }
  return AcceptSignedList(body, manifest, error);
}

}  // namespace

bool FetchManifest(Manifest& manifest, std::wstring& error) {
  HttpRequest http;
  if (!OpenGetRequestForUrl(kManifestUrl, L"Invalid manifest URL.", http, error)) return false;
  WinHttpAddRequestHeaders(http.request.Get(), L"Accept: application/json\r\nCache-Control: no-cache\r\n",
                           static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  std::wstring sendError;
  if (!SendAndReceive(http.request.Get(), sendError)) {
    error = L"Could not reach " + std::wstring(kServerHost) + L" \u2014 " + sendError;
    return false;
  }
  std::string body;
  const DWORD status = ReadStatusAndBody(http.request.Get(), body, error);
  if (status == 0 || !CheckStatusOk(status, error)) return false;
  return ReadFetchedList(body, manifest, error);
}

void ManifestWorker() {
  BindSystemDlls();  // before WinHTTP is first called
  // Without memory for the record the dialog shows its own fallback text.
  Manifest* manifest = new (std::nothrow) Manifest();
  if (!manifest) {
    PostMessageW(g_mainWindow, WM_MANIFEST_FAILED, 0, 0);
    return;
  }
  std::wstring error;
  if (FetchManifest(*manifest, error)) {
    PostMessageW(g_mainWindow, WM_MANIFEST_READY, reinterpret_cast<WPARAM>(manifest), 0);
    return;
  }
  delete manifest;
  PostMessageW(g_mainWindow, WM_MANIFEST_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(error)), 0);
}
