#pragma once
// WinHTTP building blocks shared by the manifest fetch and the file download.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "common/scoped.h"

struct UrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // path plus any query ("?...") and fragment
  bool secure = false;
};

// The three handles of one request. Members are destroyed in reverse order of declaration, so the
// request closes before the connection, and the connection before the session.
struct HttpRequest {
  WinHttpHandle session;
  WinHttpHandle connection;
  WinHttpHandle request;
};

bool SplitUrl(const std::wstring& url, UrlParts& parts);
// A session with the time-outs and TLS 1.2 only; false (the reason in GetLastError, for
// WinHttpErrorText) when WinHTTP refuses any of them.
bool OpenHttpSession(WinHttpHandle& session);
// WinHttpConnect + WinHttpOpenRequest("GET") on an open session; error is WinHttpErrorText.
bool OpenGetRequest(HttpRequest& http, const UrlParts& parts, std::wstring& error);
// SplitUrl, OpenHttpSession and OpenGetRequest in turn; a rejected URL gives invalidUrlText.
bool OpenGetRequestForUrl(const std::wstring& url, const wchar_t* invalidUrlText, HttpRequest& http,
                          std::wstring& error);
bool SendAndReceive(HINTERNET request, std::wstring& error);
// The response's status code; false with the error text when it cannot be read.
bool QueryStatusCode(HINTERNET request, DWORD& status, std::wstring& error);
// False with "Server returned HTTP <status>." for any status but 200.
bool CheckStatusOk(DWORD status, std::wstring& error);
// Status code (0 on failure) and the whole body, bounded by kMaxManifestBytes.
DWORD ReadStatusAndBody(HINTERNET request, std::string& body, std::wstring& error);
// Text of the calling thread's last WinHTTP or Win32 error; call right after the failed call.
std::wstring WinHttpErrorText();
// The same for a given code (FormatMessageW lookup, trimmed, or "WinHTTP error 0x%08X").
std::wstring WinHttpErrorTextFor(DWORD code);
