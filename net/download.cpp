#include "net/download.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <new>

#include "common/scoped.h"
#include "common/system_paths.h"
#include "net/download_folder.h"
#include "net/http.h"
#include "net/messages.h"
#include "net/system_dlls.h"
#include "trust/download_rules.h"
#include "trust/download_verdict.h"
#include "trust/sha256.h"

namespace {

constexpr wchar_t kCreateDestinationErrorFormat[] = L"Could not create destination file (Win32 error %u).";

std::wstring FormatWithNumber(const wchar_t* format, DWORD number) {
  wchar_t buffer[128] = {};
  wsprintfW(buffer, format, number);
  return buffer;
}

void PostDownloadProgress(int64_t received, int64_t total) {
  const WPARAM receivedKiB = static_cast<WPARAM>(received / 1024);
  const LPARAM totalKiB = total >= 0 ? static_cast<LPARAM>(total / 1024) : -1;
  PostMessageW(g_mainWindow, WM_DOWNLOAD_PROGRESS, receivedKiB, totalKiB);
}

// Owns the destination file while it is written. Until Keep() the file is marked for deletion, so
// the system removes it when the handle closes: after a failure, and also when the process ends
// mid-download (the window closed), which leaves no half-written installer to be started later.
class DestinationFile {
 public:
  explicit DestinationFile(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {
    marked_ = IsOpen() && MarkForDeletion(true);
  }

  HANDLE Get() const { return handle_.Get(); }
  bool IsOpen() const { return static_cast<bool>(handle_); }
  // The file is whole and checked: it stays once closed. False (GetLastError set) when it cannot.
  bool Keep() {
    if (marked_ && !MarkForDeletion(false)) return false;
    marked_ = false;
    return true;
  }
  void Close() { handle_.Reset(); }

 private:
  bool MarkForDeletion(bool remove) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(handle_.Get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
  }

  FileHandle handle_;
  bool marked_ = false;
};

// Streams the body into the open file, hashing what it writes when hash is given. Returns false
// with error set on the first failure, and as soon as more bytes arrive than the plan allows.
bool StreamBody(HINTERNET request, HANDLE file, Sha256Hash* hash, const DownloadPlan& plan, int64_t total,
                int64_t& received, std::wstring& error) {
  char buffer[kDownloadChunkBytes];
  int64_t lastPosted = 0;
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer, kDownloadChunkBytes, &read)) {
      error = WinHttpErrorText();
      return false;
    }
    if (read == 0) return true;
    if (!CheckDownloadSize(plan, received + read, false, error)) return false;
    DWORD written = 0;
    if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) {
      error = FormatWithNumber(L"Disk write failed (Win32 error %u).", GetLastError());
      return false;
    }
    if (hash && !hash->Add(buffer, read, error)) return false;
    received += read;
    if (received > kMaxDownloadBytes) {
      error = FormatWithNumber(L"Download exceeded %u MB; aborting.", kMaxDownloadMegabytes);
      return false;
    }
    if (received - lastPosted >= kProgressStepBytes) {
      PostDownloadProgress(received, total);
      lastPosted = received;
    }
  }
}

// The body's digest must match the plan's sha256 when it names one, and the whole file must pass the
// plan's verdict, or it is deleted.
bool DownloadFile(const std::wstring& url, const std::wstring& destinationPath, const DownloadPlan& plan,
                  std::wstring& error) {
  const std::wstring& expectedSha256 = plan.sha256;
  if (!CheckDownloadRequest(url, expectedSha256, error)) return false;
  Sha256Hash hashState;
  Sha256Hash* hash = expectedSha256.empty() ? nullptr : &hashState;
  if (hash && !hash->Start(error)) return false;
  HttpRequest http;
  if (!OpenGetRequestForUrl(url, L"Invalid download URL.", http, error)) return false;
  if (!SendAndReceive(http.request.Get(), error)) return false;

  DWORD status = 0;
  if (!QueryStatusCode(http.request.Get(), status, error) || !CheckStatusOk(status, error)) return false;

  int64_t total = -1;
  DWORD announced = 0;
  DWORD size = sizeof announced;
  if (WinHttpQueryHeaders(http.request.Get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size, WINHTTP_NO_HEADER_INDEX)) {
    total = announced;
    if (total > kMaxDownloadBytes) {
      error = FormatWithNumber(L"Server reported file size > %u MB; refusing.", kMaxDownloadMegabytes);
      return false;
    }
    if (!CheckDownloadSize(plan, total, true, error)) return false;
  }

  DestinationFile file(destinationPath);
  if (!file.IsOpen()) {
    error = FormatWithNumber(kCreateDestinationErrorFormat, GetLastError());
    return false;
  }
  int64_t received = 0;
  bool complete = StreamBody(http.request.Get(), file.Get(), hash, plan, total, received, error);
  // WinHTTP ends a body cut short by a plain close as if it were whole; a cut installer must not run.
  if (complete && total >= 0 && received != total) {
    error = L"Download incomplete; the connection closed early.";
    complete = false;
  }
  if (complete && !CheckDownloadSize(plan, received, true, error)) complete = false;
  // Judged before the file counts as complete: a file that differs from the manifest never stays.
  if (complete && hash) {
    unsigned char digest[kSha256Bytes] = {};
    if (!hash->Finish(digest, error)) {
      complete = false;
    } else if (!Sha256HexMatches(expectedSha256, digest)) {
      error = kChecksumMismatchText;
      complete = false;
    }
  }
  if (complete && !file.Keep()) {
    error = FormatWithNumber(L"Could not keep the downloaded file (Win32 error %u).", GetLastError());
    complete = false;
  }
  file.Close();
  // Judged whole and through a handle of its own that keeps it as judged until the process ends.
  if (complete && !JudgeDownloadedFile(file.Get(), destinationPath, plan, error)) complete = false;
  if (!complete) {
    DeleteFileW(destinationPath.c_str());
    return false;
  }
  PostDownloadProgress(received, total);
  return true;
}

}  // namespace

bool MakeDestinationPath(DownloadJob& job, std::wstring& error) {
  DWORD code = 0;
  if (!MakeDownloadFolder(job.ownFolder, code)) {
    error = FormatWithNumber(kCreateDestinationErrorFormat, code);
    return false;
  }
  job.destinationPath = job.ownFolder + job.plan.savedName;
  return true;
}

void DownloadWorker(std::unique_ptr<DownloadJob> job) {
  BindSystemDlls();  // before WinHTTP is first called
  std::wstring error;
  if (DownloadFile(job->url, job->destinationPath, job->plan, error)) {
    // The way to start it travels with it: the window starts the file as the plan decided.
    PostMessageW(g_mainWindow, WM_DOWNLOAD_DONE,
                 reinterpret_cast<WPARAM>(new (std::nothrow) FinishedDownload{job->destinationPath, job->plan.way}), 0);
  } else {
    // A failed download leaves nothing: its own folder goes too, now that it is empty.
    if (!job->ownFolder.empty()) RemoveDirectoryW(job->ownFolder.c_str());
    PostMessageW(g_mainWindow, WM_DOWNLOAD_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(error)), 0);
  }
}
