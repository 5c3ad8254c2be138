// SplitUrl over the real WinHttpCrackUrl and the wording of WinHTTP/Win32 error texts.
#include <windows.h>

#include <string>

#include "net/http.h"
#include "support/check.h"

namespace {

struct SplitCase {
  const wchar_t* url;
  const wchar_t* host;
  INTERNET_PORT port;
  const wchar_t* path;
  bool secure;
};

TEST_CASE(SplitUrlKeepsHostPortPathQueryAndScheme) {
  const SplitCase cases[] = {
      {L"https://127.0.0.1:47443/download/latest/filelist.json.php", L"127.0.0.1", 47443,
       L"/download/latest/filelist.json.php", true},
      {L"https://quorvel.com/download/latest/filelist.json.php", L"quorvel.com", 443,
       L"/download/latest/filelist.json.php", true},
      {L"https://quorvel.com/get.php?file=a%20b.msi&v=2", L"quorvel.com", 443, L"/get.php?file=a%20b.msi&v=2", true},
      {L"http://quorvel.com/files/setup.exe", L"quorvel.com", 80, L"/files/setup.exe", false},
      {L"http://localhost:8080/x?", L"localhost", 8080, L"/x?", false},
      {L"https://quorvel.com/a/b#part", L"quorvel.com", 443, L"/a/b#part", true},
      {L"https://Quorvel.COM/Mixed/Case.MSI", L"Quorvel.COM", 443, L"/Mixed/Case.MSI", true},
  };
  for (const SplitCase& c : cases) {
    check::Scope scope(check::Show(c.url));
    UrlParts parts;
    REQUIRE(SplitUrl(c.url, parts));
    CHECK_EQ(parts.host, std::wstring(c.host));
    CHECK_EQ(static_cast<unsigned>(parts.port), static_cast<unsigned>(c.port));
    CHECK_EQ(parts.path, std::wstring(c.path));
    CHECK_EQ(parts.secure, c.secure);
  }
}

TEST_CASE(SplitUrlRejectsWhatCrackUrlRejects) {
  const wchar_t* rejected[] = {L"", L"not a url", L"ftp://quorvel.com/file.msi", L"quorvel.com/download/",
                               L"https//quorvel.com/"};
  for (const wchar_t* url : rejected) {
    check::Scope scope(check::Show(url));
    UrlParts parts;
    CHECK(!SplitUrl(url, parts));
  }
}

std::wstring RawSystemText(DWORD code) {
  wchar_t buffer[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                 GetModuleHandleW(L"winhttp.dll"), code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256,
                 nullptr);
  return buffer;
}

bool EndsWithBlank(const std::wstring& text) {
  return !text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ');
}

TEST_CASE(ErrorTextTrimsTheSystemMessage) {
  // Ordinary Win32 codes come from the system table; their texts end in ".\r\n".
  const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY};
  for (DWORD code : codes) {
    check::Scope scope("code " + std::to_string(code));
    const std::wstring raw = RawSystemText(code);
    REQUIRE(EndsWithBlank(raw));
    const std::wstring text = WinHttpErrorTextFor(code);
    CHECK(!text.empty());
    CHECK(!EndsWithBlank(text));
    CHECK_EQ(text.back(), L'.');
    CHECK_EQ(raw.compare(0, text.size(), text), 0);
  }
}

TEST_CASE(ErrorTextFallsBackToEightHexDigits) {
  CHECK_EQ(WinHttpErrorTextFor(0x0BADC0DE), std::wstring(L"WinHTTP error 0x0BADC0DE"));
  CHECK_EQ(WinHttpErrorTextFor(0xFFFFFFFF), std::wstring(L"WinHTTP error 0xFFFFFFFF"));
  // Whatever the system says about a WinHTTP code, it is either its text or the hex form alone.
  for (DWORD code : {DWORD{12029}, DWORD{12157}}) {
    check::Scope scope("code " + std::to_string(code));
    const std::wstring text = WinHttpErrorTextFor(code);
    wchar_t hex[32];
    swprintf(hex, 32, L"WinHTTP error 0x%08X", static_cast<unsigned>(code));
    if (RawSystemText(code).empty()) {
      CHECK_EQ(text, std::wstring(hex));
    } else {
      CHECK(text.find(L"WinHTTP error 0x") == std::wstring::npos);
      CHECK(!EndsWithBlank(text));
    }
  }
}

TEST_CASE(ATimeOutAlwaysReadsAsOne) {
  // WinHTTP's time-out, and the socket's that some WinHTTPs report instead, both have words.
  const std::wstring text = WinHttpErrorTextFor(ERROR_WINHTTP_TIMEOUT);
  CHECK(text.find(L"timed out") != std::wstring::npos);
  CHECK_EQ(WinHttpErrorTextFor(10060), text);
}

TEST_CASE(ErrorTextReadsTheThreadsLastError) {
  SetLastError(0x0BADC0DE);
  CHECK_EQ(WinHttpErrorText(), std::wstring(L"WinHTTP error 0x0BADC0DE"));
  SetLastError(ERROR_FILE_NOT_FOUND);
  CHECK_EQ(WinHttpErrorText(), WinHttpErrorTextFor(ERROR_FILE_NOT_FOUND));
}

TEST_CASE(HandleOwnerMovesAndClosesOnce) {
  WinHttpHandle first(
      WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  REQUIRE(first);
  const HINTERNET raw = first.Get();
  WinHttpHandle second(std::move(first));
  CHECK(!first);
  CHECK(second.Get() == raw);
  WinHttpHandle third;
  third = std::move(second);
  CHECK(!second);
  CHECK(third.Get() == raw);
  // Released: the owner no longer closes it, so closing it by hand succeeds exactly once.
  const HINTERNET released = third.Release();
  CHECK(!third);
  CHECK(WinHttpCloseHandle(released));
}

TEST_CASE(SessionOpensWithTheLaunchersSettings) {
  WinHttpHandle session;
  REQUIRE(OpenHttpSession(session));
  DWORD protocols = 0;
  DWORD size = sizeof(protocols);
  // Wine may not report this option back; when it does, TLS 1.2 must be all there is.
  if (WinHttpQueryOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, &size))
    CHECK_EQ(static_cast<unsigned>(protocols), static_cast<unsigned>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2));
  DWORD timeout = 0;
  size = sizeof(timeout);
  if (WinHttpQueryOption(session.Get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, &size))
    CHECK_EQ(static_cast<unsigned>(timeout), 30000u);
}

}  // namespace
