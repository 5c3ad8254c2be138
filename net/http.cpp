#include "net/http.h"

#include <cwchar>

#include "net/manifest_body.h"

namespace {

constexpr DWORD kManifestChunkBytes = 16384;
// Resolving, connecting, sending, and each wait for data; a link that delivers a byte now and then
// is slow, not broken, so no limit applies to the whole transfer.
constexpr int kTimeoutMs = 30000;
constexpr DWORD kSocketTimedOut = 10060;  // WSAETIMEDOUT
// The system's own words for ERROR_WINHTTP_TIMEOUT, for systems that have none.
constexpr const wchar_t* kTimedOutText = L"The operation timed out";

}  // namespace

bool SplitUrl(const std::wstring& url, UrlParts& parts) {
  URL_COMPONENTS components = {};
  components.dwStructSize = sizeof(components);
  components.dwSchemeLength = static_cast<DWORD>(-1);
  components.dwHostNameLength = static_cast<DWORD>(-1);
  components.dwUrlPathLength = static_cast<DWORD>(-1);
  components.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &components)) return false;

  parts.host.assign(components.lpszHostName ? components.lpszHostName : L"", components.dwHostNameLength);
  parts.port = components.nPort;
  parts.path.assign(components.lpszUrlPath ? components.lpszUrlPath : L"", components.dwUrlPathLength);
  if (components.lpszExtraInfo && components.dwExtraInfoLength != 0)
    parts.path.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

bool OpenHttpSession(WinHttpHandle& session) {
  session.Reset(WinHttpOpen(L"QuorvelLauncher/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  // The wait for the response's headers has a time-out of its own, which not every WinHTTP takes
  // from the receive time-out: without it a server that accepts and never answers is waited for
  // without end. Set on the session, every request of it inherits the value.
  DWORD responseTimeout = kTimeoutMs;
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  // A session without its time-outs or with other protocols than TLS 1.2 is not used at all.
  if (!WinHttpSetTimeouts(session.Get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs) ||
      !WinHttpSetOption(session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                        sizeof(responseTimeout)) ||
      !WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
    const DWORD code = GetLastError();
    session.Reset();
    SetLastError(code);  // for the caller's WinHttpErrorText
    return false;
  }
  return true;
}

bool OpenGetRequest(HttpRequest& http, const UrlParts& parts, std::wstring& error) {
  http.connection.Reset(WinHttpConnect(http.session.Get(), parts.host.c_str(), parts.port, 0));
  if (!http.connection) {
    error = WinHttpErrorText();
    return false;
  }
  http.request.Reset(WinHttpOpenRequest(http.connection.Get(), L"GET", parts.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, parts.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!http.request) {
    error = WinHttpErrorText();
    return false;
  }
  return true;
}

bool OpenGetRequestForUrl(const std::wstring& url, const wchar_t* invalidUrlText, HttpRequest& http,
                          std::wstring& error) {
  UrlParts parts;
  if (!SplitUrl(url, parts)) {
    error = invalidUrlText;
    return false;
  }
  if (!OpenHttpSession(http.session)) {
    error = WinHttpErrorText();
    return false;
  }
  return OpenGetRequest(http, parts, error);
}

bool SendAndReceive(HINTERNET request, std::wstring& error) {
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request, nullptr)) {
    error = WinHttpErrorText();
    return false;
  }
  return true;
}

bool QueryStatusCode(HINTERNET request, DWORD& status, std::wstring& error) {
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    error = L"Failed to read HTTP status.";
    return false;
  }
  return true;
}

bool CheckStatusOk(DWORD status, std::wstring& error) {
  if (status == 200) return true;
  wchar_t text[64];
  std::swprintf(text, 64, L"Server returned HTTP %u.", static_cast<unsigned>(status));
  error = text;
  return false;
}

DWORD ReadStatusAndBody(HINTERNET request, std::string& body, std::wstring& error) {
  DWORD status = 0;
  if (!QueryStatusCode(request, status, error)) return 0;
  body.clear();
  char buffer[kManifestChunkBytes];
  for (;;) {
    DWORD bytesRead = 0;
    if (!WinHttpReadData(request, buffer, kManifestChunkBytes, &bytesRead)) {
      error = WinHttpErrorText();
      return 0;
    }
    if (bytesRead == 0) return status;
    body.append(buffer, bytesRead);
    if (body.size() > kMaxManifestBytes) {
      error = kManifestTooLargeText;
      return 0;
    }
  }
}

std::wstring WinHttpErrorText() { return WinHttpErrorTextFor(GetLastError()); }

std::wstring WinHttpErrorTextFor(DWORD code) {
  // Some WinHTTPs report a time-out waiting for the reply as the socket's own code, which has no
  // text of theirs; it is the same fault as WinHTTP's time-out and reads the same.
  if (code == kSocketTimedOut) code = ERROR_WINHTTP_TIMEOUT;
  wchar_t buffer[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                 GetModuleHandleW(L"winhttp.dll"), code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256,
                 nullptr);
  // A message that did not fit may leave the buffer without its NUL.
  std::wstring text(buffer, wcsnlen(buffer, 256));
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  // A time-out is the one fault a user can act on by waiting and trying again, so it keeps words
  // even where the system has none for it.
  if (text.empty() && code == ERROR_WINHTTP_TIMEOUT) text = kTimedOutText;
  if (text.empty()) {
    wchar_t hex[32];
    std::swprintf(hex, 32, L"WinHTTP error 0x%08X", static_cast<unsigned>(code));
    text = hex;
  }
  return text;
}
