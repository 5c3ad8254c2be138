// download_bench MODE URL [DESTINATION [WARM-UP-URL]]: one timed download under Wine, figures as
// key=value lines.
//   file   DownloadWorker to a download folder, saved under DESTINATION's name, as the dialog runs it, counting its
//   progress messages;
//          with a warm-up URL, a small download first loads and initialises WinHTTP and TLS, so the
//          memory figure shows only what the big download itself adds
//   checked URL DESTINATION SHA256: the same with the entry's checksum, verified while writing
//   hash MIB   the system's SHA-256 alone over MIB mebibytes in 64 KiB chunks, as the download feeds it
//   read   the same WinHTTP requests and 64 KiB reads, the data dropped (no disk, no progress)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>

#include "net/download.h"
#include "net/http.h"
#include "net/messages.h"
#include "trust/sha256.h"

namespace {

double Seconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

bool RunFile(const std::wstring& url, const std::wstring& destination, const std::wstring& sha256, long long& bytes,
             unsigned& progressMessages, std::wstring& error) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QuorvelDownloadBench";
  RegisterClassW(&windowClass);
  g_mainWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
  // Saved as the launcher saves it, in a download folder of its own, under DESTINATION's name.
  auto job = std::make_unique<DownloadJob>();
  job->url = url;
  job->plan.savedName = destination.substr(destination.find_last_of(L"\\/") + 1);
  job->plan.sha256 = sha256;
  if (!MakeDestinationPath(*job, error)) return false;
  const std::wstring saved = job->destinationPath;
  const std::wstring folder = job->folder.path;
  std::thread worker(DownloadWorker, std::move(job));
  bool done = false;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_DOWNLOAD_PROGRESS) {
      ++progressMessages;
      bytes = static_cast<long long>(message.wParam) * 1024;
    } else if (message.message == WM_DOWNLOAD_DONE || message.message == WM_DOWNLOAD_FAILED) {
      done = message.message == WM_DOWNLOAD_DONE;
      if (done) {
        std::unique_ptr<FinishedDownload> finished(reinterpret_cast<FinishedDownload*>(message.wParam));
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(saved.c_str(), GetFileExInfoStandard, &data))
          bytes = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      } else if (auto* text = reinterpret_cast<wchar_t*>(message.wParam)) {
        error = text;
        LocalFree(text);
      }
      break;
    }
  }
  worker.join();
  DeleteFileW(saved.c_str());
  RemoveDirectoryW(folder.c_str());
  return done;
}

bool RunRead(const std::wstring& url, long long& bytes, unsigned& reads, std::wstring& error) {
  UrlParts parts;
  HttpRequest http;
  if (!SplitUrl(url, parts) || !OpenHttpSession(http.session) || !OpenGetRequest(http, parts, error) ||
      !SendAndReceive(http.request.Get(), error))
    return false;
  char buffer[kDownloadChunkBytes];
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(http.request.Get(), buffer, kDownloadChunkBytes, &read)) {
      error = WinHttpErrorText();
      return false;
    }
    if (read == 0) return true;
    ++reads;
    bytes += read;
  }
}

}  // namespace

int RunHash(long long mebibytes) {
  static char chunk[kDownloadChunkBytes] = {};
  Sha256Hash hash;
  std::wstring error;
  unsigned char digest[kSha256Bytes];
  const double start = Seconds();
  bool ok = hash.Start(error);
  for (long long i = 0; ok && i < mebibytes * 16; ++i) ok = hash.Add(chunk, kDownloadChunkBytes, error);
  ok = ok && hash.Finish(digest, error);
  const double seconds = Seconds() - start;
  if (!ok) {
    std::fprintf(stderr, "hashing failed: %ls\n", error.c_str());
    return 1;
  }
  std::printf("bytes=%lld\nseconds=%.4f\n", mebibytes << 20, seconds);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"hash") return RunHash(std::wcstoll(argv[2], nullptr, 10));
  if (argc < 3) {
    std::fprintf(stderr, "usage: download_bench file|read URL [DESTINATION]\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::wstring url = argv[2];
  long long bytes = 0;
  unsigned progressMessages = 0;
  unsigned reads = 0;
  std::wstring error;
  if (mode == L"file" && argc > 4) {  // a warm-up URL
    long long warmBytes = 0;
    unsigned warmMessages = 0;
    if (!RunFile(argv[4], std::wstring(argv[3]) + L".warm", L"", warmBytes, warmMessages, error)) {
      std::fprintf(stderr, "warm-up failed: %ls\n", error.c_str());
      return 1;
    }
  }
  const PROCESS_MEMORY_COUNTERS before = Memory();
  const double start = Seconds();
  bool ok = false;
  if (mode == L"file" && argc > 3) {
    ok = RunFile(url, argv[3], L"", bytes, progressMessages, error);
  } else if (mode == L"checked" && argc > 4) {
    ok = RunFile(url, argv[3], argv[4], bytes, progressMessages, error);
  } else if (mode == L"read") {
    ok = RunRead(url, bytes, reads, error);
  } else {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }
  const double seconds = Seconds() - start;
  const PROCESS_MEMORY_COUNTERS after = Memory();
  if (!ok) {
    std::fprintf(stderr, "download failed: %ls\n", error.c_str());
    return 1;
  }
  std::printf("bytes=%lld\nseconds=%.4f\nprogress_messages=%u\nread_calls=%u\n", bytes, seconds, progressMessages,
              reads);
  std::printf("working_set_before=%llu\npeak_working_set_after=%llu\n",
              static_cast<unsigned long long>(before.WorkingSetSize),
              static_cast<unsigned long long>(after.PeakWorkingSetSize));
  std::printf("peak_growth=%lld\n",
              static_cast<long long>(after.PeakWorkingSetSize) - static_cast<long long>(before.PeakWorkingSetSize));
  return 0;
}
