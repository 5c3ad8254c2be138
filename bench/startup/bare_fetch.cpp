// The platform's floor for the manifest fetch: a whole process that makes only the WinHTTP calls the
// launcher makes for its manifest (automatic proxy, 30 s time-outs, TLS 1.2 only, the same user
// agent and added headers, 16 KiB reads into one growing byte string) and nothing else: no window,
// no COM, no parse. Exits with 0 when the server answered 200 with a body.
//
//   bare_fetch URL
#include <windows.h>

#include <string>

#include "bench/bare_request.h"

namespace {

bool Fetch(const wchar_t* url, std::string& body) {
  BareRequest bare;
  if (!OpenBareRequest(url, bare)) return false;
  WinHttpAddRequestHeaders(bare.request, L"Accept: application/json\r\nCache-Control: no-cache\r\n",
                           static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  if (!SendBareRequest(bare.request)) return false;
  char buffer[16384];
  DWORD read = 0;
  while (WinHttpReadData(bare.request, buffer, sizeof buffer, &read)) {
    if (read == 0) return !body.empty();
    body.append(buffer, read);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string body;
  return argc > 1 && Fetch(argv[1], body) ? 0 : 1;
}
