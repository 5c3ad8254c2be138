#include "support/download_support.h"

#include <cstdlib>
#include <thread>

#include "net/download.h"
#include "net/messages.h"

namespace {

constexpr UINT kTimeoutMs = 300000;

// The posted messages land in this thread's queue through a message-only window, as they would
// reach the dialog.
HWND CollectorWindow() {
  static HWND window = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuorvelDownloadTestCollector";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }();
  return window;
}

std::wstring TakeLocalText(WPARAM wParam) {
  auto* text = reinterpret_cast<wchar_t*>(wParam);
  if (!text) return L"(null payload)";
  std::wstring copy = text;
  LocalFree(text);
  return copy;
}

}  // namespace

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; text && *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

std::wstring ServerBase() { return Widen(std::getenv("QUORVEL_DOWNLOAD_BASE")); }

std::wstring PlainServerBase() { return Widen(std::getenv("QUORVEL_DOWNLOAD_PLAIN_BASE")); }

DownloadOutcome RunDownload(const std::wstring& url, const std::wstring& savedName, const std::wstring& expectedSha256,
                            const Meddling& meddling, int64_t exactSize) {
  g_mainWindow = CollectorWindow();
  DownloadOutcome outcome;
  auto job = std::make_unique<DownloadJob>();
  job->url = url;
  job->plan.savedName = savedName;
  job->plan.sha256 = expectedSha256;
  job->plan.exactSize = exactSize;
  std::wstring error;
  if (!MakeDestinationPath(*job, error)) {
    outcome.finished = true;
    outcome.text = error;
    return outcome;
  }
  outcome.folder = job->folder.path;
  outcome.path = job->destinationPath;
  const std::wstring folder = outcome.folder.substr(0, outcome.folder.size() - 1);
  outcome.removal.reset(static_cast<void*>(nullptr), [folder](void*) { support::RemoveTree(folder); });
  if (meddling.before) meddling.before(outcome.folder);
  std::thread worker(DownloadWorker, std::move(job));
  const UINT_PTR timer = SetTimer(nullptr, 0, kTimeoutMs, nullptr);
  MSG message;
  while (!outcome.finished && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.wParam == timer) break;
    if (message.hwnd != g_mainWindow) {
      DispatchMessageW(&message);
      continue;
    }
    switch (message.message) {
      case WM_DOWNLOAD_PROGRESS:
        if (outcome.progress.empty() && meddling.during) meddling.during(outcome.folder);
        outcome.progress.push_back({message.wParam, message.lParam});
        break;
      case WM_DOWNLOAD_DONE:
        outcome.finished = outcome.done = true;
        outcome.held.reset(reinterpret_cast<FinishedDownload*>(message.wParam));
        outcome.text = outcome.held ? outcome.held->path : std::wstring();
        break;
      case WM_DOWNLOAD_FAILED:
        outcome.finished = true;
        outcome.text = TakeLocalText(message.wParam);
        break;
      default: break;
    }
  }
  KillTimer(nullptr, timer);
  if (outcome.finished) {
    worker.join();
    // Anything the worker posted after its last word would be out of order.
    while (PeekMessageW(&message, g_mainWindow, WM_DOWNLOAD_PROGRESS, WM_DOWNLOAD_FAILED, PM_REMOVE))
      outcome.progressAfterEnd = true;
  } else {
    worker.detach();  // timed out: the test has failed already; let the process end it
  }
  return outcome;
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FileHoldsPattern(const std::wstring& path, int64_t size) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<unsigned char> buffer(1 << 20);
  int64_t offset = 0;
  bool same = true;
  DWORD read = 0;
  while (same && ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      if (buffer[i] != static_cast<unsigned char>((offset + i) % 251)) {
        same = false;
        break;
      }
    }
    offset += read;
  }
  CloseHandle(file);
  return same && offset == size;
}
