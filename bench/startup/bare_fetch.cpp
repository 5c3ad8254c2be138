// The platform's floor for the manifest fetch: a whole process that makes only the WinHTTP calls the
// launcher makes for its manifest (automatic proxy, 30 s time-outs, TLS 1.2 only, the same user
// agent and added headers, 16 KiB reads into one growing byte string) and nothing else: no window,
// no COM, no parse. Exits with 0 when the server answered 200 with a body.
//
//   bare_fetch URL
#include <windows.h>
#include <winhttp.h>

#include <string>

namespace {

bool Fetch(const wchar_t* url, std::string& body) {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url, 0, 0, &parts)) return false;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  HINTERNET session = WinHttpOpen(L"QuorvelLauncher/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return false;
  WinHttpSetTimeouts(session, 30000, 30000, 30000, 30000);
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  HINTERNET connection = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
  HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
                                 : nullptr;
  DWORD status = 0;
  bool complete = false;
  if (request) {
    WinHttpAddRequestHeaders(request, L"Accept: application/json\r\nCache-Control: no-cache\r\n",
                             static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
    DWORD size = sizeof status;
    if (WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr) &&
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
      char buffer[16384];
      DWORD read = 0;
      while (WinHttpReadData(request, buffer, sizeof buffer, &read) && !(complete = read == 0))
        body.append(buffer, read);
    }
    WinHttpCloseHandle(request);
  }
  if (connection) WinHttpCloseHandle(connection);
  WinHttpCloseHandle(session);
  return status == 200 && complete && !body.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string body;
  return argc > 1 && Fetch(argv[1], body) ? 0 : 1;
}
