#pragma once
// One GET made with exactly the WinHTTP calls and session settings of the launcher (automatic proxy,
// 30 s time-outs, TLS 1.2 only, its user agent) and nothing of the launcher around them: the
// benchmarks' floors, bare_fetch and download_floor, are built from it.
#include <windows.h>
#include <winhttp.h>

#include <string>

// The session, connection and request of one GET, closed in the reverse order when it goes.
struct BareRequest {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  BareRequest() = default;
  BareRequest(const BareRequest&) = delete;
  BareRequest& operator=(const BareRequest&) = delete;
  ~BareRequest() {
    for (HINTERNET handle : {request, connection, session}) {
      if (handle) WinHttpCloseHandle(handle);
    }
  }
};

// Opens the GET for url; false when any step fails.
inline bool OpenBareRequest(const wchar_t* url, BareRequest& bare) {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url, 0, 0, &parts)) return false;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  bare.session = WinHttpOpen(L"QuorvelLauncher/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
  if (!bare.session) return false;
  WinHttpSetTimeouts(bare.session, 30000, 30000, 30000, 30000);
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(bare.session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  bare.connection = WinHttpConnect(bare.session, host.c_str(), parts.nPort, 0);
  if (!bare.connection) return false;
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  bare.request = WinHttpOpenRequest(bare.connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  return bare.request != nullptr;
}

// Sends the request and waits for the response's head; true when the server answered 200.
inline bool SendBareRequest(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
         WinHttpReceiveResponse(request, nullptr) &&
         WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) &&
         status == 200;
}
