#pragma once
// WinHTTP building blocks shared by the manifest fetch and the file download.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

struct UrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // path plus any query ("?...") and fragment
  bool secure = false;
};

// Move-only owner of one WinHTTP handle (session, connection or request); closes it exactly once.
class WinHttpHandle {
 public:
  WinHttpHandle() = default;
  explicit WinHttpHandle(HINTERNET handle) : handle_(handle) {}
  ~WinHttpHandle() { Reset(); }
  WinHttpHandle(WinHttpHandle&& other) noexcept : handle_(other.Release()) {}
  WinHttpHandle& operator=(WinHttpHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;

  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset(HINTERNET handle = nullptr) {
    if (handle_) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }
  HINTERNET Release() {
    HINTERNET handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HINTERNET handle_ = nullptr;
};

// The three handles of one request. Members are destroyed in reverse order of declaration, so the
// request closes before the connection, and the connection before the session.
struct HttpRequest {
  WinHttpHandle session;
  WinHttpHandle connection;
  WinHttpHandle request;
};

constexpr DWORD kManifestChunkBytes = 16384;

bool SplitUrl(const std::wstring& url, UrlParts& parts);
bool OpenHttpSession(WinHttpHandle& session);
// WinHttpConnect + WinHttpOpenRequest("GET") on an open session; error is WinHttpErrorText.
bool OpenGetRequest(HttpRequest& http, const UrlParts& parts, std::wstring& error);
// SplitUrl, OpenHttpSession and OpenGetRequest in turn; a rejected URL gives invalidUrlText.
bool OpenGetRequestForUrl(const std::wstring& url, const wchar_t* invalidUrlText, HttpRequest& http,
                          std::wstring& error);
bool SendAndReceive(HINTERNET request, std::wstring& error);
// Status code (0 on failure) and the whole body, bounded by kMaxManifestBytes.
DWORD ReadStatusAndBody(HINTERNET request, std::string& body, std::wstring& error);
// Text of the calling thread's last WinHTTP or Win32 error; call right after the failed call.
std::wstring WinHttpErrorText();
// The same for a given code (FormatMessageW lookup, trimmed, or "WinHTTP error 0x%08X").
std::wstring WinHttpErrorTextFor(DWORD code);
