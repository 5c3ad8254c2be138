// download_floor URL DESTINATION [WARM-UP-URL [ADDED]]: the platform's floor for a download, as
// key=value lines: the same WinHTTP session settings and requests as the launcher's download, and a
// bare loop that reads 65,536-byte chunks into one buffer and writes each to the file; no progress
// messages, no limits, no checks beyond the status. With a warm-up URL, a small download first
// loads and initialises WinHTTP and TLS, as download_bench's warm mode does, and only the second is
// timed. ADDED puts back one piece of the launcher's download at a time, to show what it costs:
//   mark   the file opened with DELETE access and marked for deletion until it is whole
//   post   a message posted per chunk to a window on another thread that takes them one by one
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kChunkBytes = 65536;

double Seconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool g_mark = false;
HWND g_progressWindow = nullptr;

bool MarkForDeletion(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool ReadToFile(HINTERNET request, HANDLE file, long long& bytes) {
  char buffer[kChunkBytes];
  for (;;) {
    DWORD read = 0, written = 0;
    if (!WinHttpReadData(request, buffer, kChunkBytes, &read)) return false;
    if (read == 0) return true;
    if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) return false;
    bytes += read;
    if (g_progressWindow) PostMessageW(g_progressWindow, WM_APP + 3, static_cast<WPARAM>(bytes / 1024), 0);
  }
}

// A message-only window on its own thread that takes the posted messages, as the dialog would.
DWORD WINAPI TakeMessages(LPVOID ready) {
  g_progressWindow = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetEvent(static_cast<HANDLE>(ready));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

bool Download(const wchar_t* url, const std::wstring& destination, long long& bytes) {
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
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, flags)
                                 : nullptr;
  bool ok = false;
  DWORD status = 0, size = sizeof status;
  if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
      WinHttpReceiveResponse(request, nullptr) &&
      WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                          &status, &size, WINHTTP_NO_HEADER_INDEX) &&
      status == 200) {
    HANDLE file = CreateFileW(destination.c_str(), GENERIC_WRITE | (g_mark ? DELETE : 0), 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      ok = (!g_mark || MarkForDeletion(file, true)) && ReadToFile(request, file, bytes) &&
           (!g_mark || MarkForDeletion(file, false));
      CloseHandle(file);
    }
  }
  if (request) WinHttpCloseHandle(request);
  if (connection) WinHttpCloseHandle(connection);
  WinHttpCloseHandle(session);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: download_floor URL DESTINATION [WARM-UP-URL [mark|post]]\n");
    return 2;
  }
  const std::wstring destination = argv[2];
  const std::wstring added = argc > 4 ? argv[4] : L"";
  g_mark = added == L"mark";
  if (added == L"post") {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, TakeMessages, ready, 0, nullptr));
    WaitForSingleObject(ready, INFINITE);
  }
  long long bytes = 0;
  if (argc > 3) {
    const std::wstring warm = destination + L".warm";
    if (!Download(argv[3], warm, bytes)) {
      std::fprintf(stderr, "warm-up failed\n");
      return 1;
    }
    DeleteFileW(warm.c_str());
    bytes = 0;
  }
  const double start = Seconds();
  if (!Download(argv[1], destination, bytes)) {
    std::fprintf(stderr, "download failed (%lu)\n", GetLastError());
    return 1;
  }
  std::printf("bytes=%lld\nseconds=%.4f\n", bytes, Seconds() - start);
  return 0;
}
