// download_floor URL DESTINATION [WARM-UP-URL [ADDED]]: the platform's floor for a download, as
// key=value lines: the same WinHTTP session settings and requests as the launcher's download, and a
// bare loop that reads 65,536-byte chunks into one buffer and writes each to the file; no progress
// messages, no limits, no checks beyond the status. With a warm-up URL, a small download first
// loads and initialises WinHTTP and TLS, as download_bench's warm mode does, and only the second is
// timed. ADDED puts back one piece of the launcher's download at a time, to show what it costs:
//   mark   the file opened with DELETE access and marked for deletion until it is whole
//   post   a message posted per chunk to a window on another thread that takes them one by one
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/bare_request.h"

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
  BareRequest bare;
  if (!OpenBareRequest(url, bare) || !SendBareRequest(bare.request)) return false;
  HANDLE file = CreateFileW(destination.c_str(), GENERIC_WRITE | (g_mark ? DELETE : 0), 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = (!g_mark || MarkForDeletion(file, true)) && ReadToFile(bare.request, file, bytes) &&
                  (!g_mark || MarkForDeletion(file, false));
  CloseHandle(file);
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
