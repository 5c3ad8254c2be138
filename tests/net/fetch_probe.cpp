// Runs one real request for the live network tests and prints what came of it as one line,
// "RESULT {json}", in ASCII (every other character \u-escaped) so any console reads it.
//   fetch_probe fetch       FetchManifest of the built-in manifest URL
//   fetch_probe worker      ManifestWorker on its own thread, posting to a message-only window
//   fetch_probe get URL     SplitUrl, session, GET, SendAndReceive, ReadStatusAndBody
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "manifest/manifest.h"
#include "net/http.h"
#include "net/manifest_fetch.h"
#include "net/messages.h"

namespace {

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F && unit != L'"' && unit != L'\\') {
      out += static_cast<char>(unit);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(unit));
      out += escape;
    }
  }
  return out + "\"";
}

std::string ManifestJson(const Manifest& manifest) {
  std::string out = "\"schema\":" + Json(manifest.schema) + ",\"files\":[";
  for (size_t i = 0; i < manifest.files.size(); ++i) {
    const ManifestEntry& entry = manifest.files[i];
    if (i) out += ",";
    out += "{\"name\":" + Json(entry.name) + ",\"url\":" + Json(entry.url) + ",\"size\":" + std::to_string(entry.size) +
           ",\"modified_at\":" + Json(entry.modified_at) + ",\"ext\":" + Json(entry.ext) + "}";
  }
  return out + "]";
}

void Print(const std::string& json) {
  std::printf("RESULT {%s}\n", json.c_str());
  std::fflush(stdout);
}

int Fetch() {
  Manifest manifest;
  std::wstring error;
  const bool ok = FetchManifest(manifest, error);
  Print(std::string("\"ok\":") + (ok ? "true" : "false") + ",\"error\":" + Json(error) + "," + ManifestJson(manifest));
  return 0;
}

int Worker() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QuorvelFetchProbe";
  RegisterClassW(&windowClass);
  g_mainWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
  if (!g_mainWindow) return 3;
  std::thread(ManifestWorker).detach();
  // Generous: a send that hangs ends by WinHTTP's own 30-second time-outs first.
  SetTimer(g_mainWindow, 1, 120000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_MANIFEST_READY) {
      Manifest* manifest = reinterpret_cast<Manifest*>(message.wParam);
      Print(std::string("\"message\":\"ready\",\"ok\":true,\"null_payload\":") + (manifest ? "false" : "true") +
            (manifest ? "," + ManifestJson(*manifest) : std::string()));
      delete manifest;
      return 0;
    }
    if (message.message == WM_MANIFEST_FAILED) {
      wchar_t* text = reinterpret_cast<wchar_t*>(message.wParam);
      Print(std::string("\"message\":\"failed\",\"ok\":false,\"null_payload\":") + (text ? "false" : "true") +
            ",\"error\":" + Json(text ? text : L""));
      if (text) LocalFree(text);
      return 0;
    }
    if (message.message == WM_TIMER) {
      Print("\"message\":\"none\",\"ok\":false");
      return 0;
    }
    DispatchMessageW(&message);
  }
  return 3;
}

int Get(const std::wstring& url) {
  UrlParts parts;
  std::wstring error;
  DWORD status = 0;
  std::string body;
  bool split = SplitUrl(url, parts);
  if (split) {
    HttpRequest http;
    if (!OpenHttpSession(http.session))
      error = WinHttpErrorText();
    else if (OpenGetRequest(http, parts, error) && SendAndReceive(http.request.Get(), error))
      status = ReadStatusAndBody(http.request.Get(), body, error);
  }
  Print(std::string("\"split\":") + (split ? "true" : "false") + ",\"secure\":" + (parts.secure ? "true" : "false") +
        ",\"port\":" + std::to_string(parts.port) + ",\"status\":" + std::to_string(status) +
        ",\"body_length\":" + std::to_string(body.size()) + ",\"error\":" + Json(error));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"fetch") return Fetch();
  if (mode == L"worker") return Worker();
  if (mode == L"get" && argc > 2) return Get(argv[2]);
  std::fprintf(stderr, "usage: fetch_probe fetch | worker | get URL\n");
  return 2;
}
