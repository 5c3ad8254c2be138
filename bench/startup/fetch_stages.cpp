// Times the launcher's own manifest fetch stage by stage in one process, against the loopback test
// server: opening the session and request, sending and receiving the head, reading the body, the
// HTML test and the parse. The first round pays for loading WinHTTP and TLS, as the launcher does.
//
//   bench_fetch_stages [ROUNDS]
// Prints one JSON line per round.
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <string>

#include "manifest/manifest.h"
#include "net/http.h"
#include "net/manifest_body.h"
#include "server_config.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000.0 / frequency.QuadPart;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? _wtoi(argv[1]) : 5;
  for (int round = 0; round < rounds; ++round) {
    std::wstring error;
    const double start = Now();
    HttpRequest http;
    if (!OpenGetRequestForUrl(kManifestUrl, L"Invalid manifest URL.", http, error)) return 1;
    WinHttpAddRequestHeaders(http.request.Get(), L"Accept: application/json\r\nCache-Control: no-cache\r\n",
                             static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
    const double opened = Now();
    if (!SendAndReceive(http.request.Get(), error)) return 1;
    const double head = Now();
    std::string body;
    if (ReadStatusAndBody(http.request.Get(), body, error) != 200) return 1;
    const double read = Now();
    Manifest manifest;
    if (!ReadManifestBody(body, manifest, error)) return 1;
    const double parsed = Now();
    http = HttpRequest();
    const double closed = Now();
    std::printf(
        "{\"round\":%d,\"open_ms\":%.2f,\"send_receive_ms\":%.2f,\"read_body_ms\":%.2f,"
        "\"parse_ms\":%.2f,\"close_ms\":%.2f,\"bytes\":%zu,\"entries\":%zu}\n",
        round, opened - start, head - opened, read - head, parsed - read, closed - parsed, body.size(),
        manifest.files.size());
    std::fflush(stdout);
  }
  return 0;
}
