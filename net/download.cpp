#include "net/download.h"

#include <windows.h>
#include <winhttp.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

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
constexpr wchar_t kKeepErrorFormat[] = L"Could not keep the downloaded file (Win32 error %u).";

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

// The name a download is written under until it has been judged: no program is registered for its
// type, so it starts nothing, whatever it holds.
constexpr wchar_t kPartialFileName[] = L"download.partial";

bool RenameThrough(HANDLE file, const std::wstring& target) {
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;  // anything already under the name stays, and this file does not take it
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.data(), rename->FileNameLength);
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool ReadFileId(HANDLE file, FILE_ID_INFO& id) {
  return GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id) != FALSE;
}

bool SameFileId(const FILE_ID_INFO& left, const FILE_ID_INFO& right) {
  return left.VolumeSerialNumber == right.VolumeSerialNumber &&
         std::memcmp(&left.FileId, &right.FileId, sizeof left.FileId) == 0;
}

// Owns the downloaded file from its first byte to its start. It is written under a name that starts
// nothing, made new (a file or link already under that name is neither reused nor followed), through
// a handle that shares nothing and with the file marked for deletion: until it is judged and kept,
// a failure, the window's close or the process's end leaves nothing of it. Once kept it may only be
// read, under its own name, through a handle that lets others only read it too.
class DestinationFile {
 public:
  bool Create(const std::wstring& folder) {
    path_ = folder + kPartialFileName;
    handle_.Reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle_) return false;
    if (!ReadFileId(handle_.Get(), id_) || !Mark(true)) {
      const DWORD code = GetLastError();
      handle_.Reset();
      DeleteFileW(path_.c_str());
      SetLastError(code);
      return false;
    }
    return true;
  }

  HANDLE Get() const { return handle_.Get(); }
  const std::wstring& Path() const { return path_; }

  // The file is whole and judged as far as its own handle lets it be: it may only be read from now
  // on, takes `finalPath` (never another file's place), and the writer gives way to a reader.
  // False with the text the user sees when it cannot.
  bool Keep(const std::wstring& finalPath, std::wstring& error) {
    if (!LockDownloadedFile(handle_.Get(), code_) || !Mark(false)) return Failed(error);
    if (!RenameThrough(handle_.Get(), finalPath)) {
      const DWORD code = GetLastError();
      Mark(true);
      code_ = code;
      // Something was put under the file's own name meanwhile: the folder is not as it was made.
      if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
        error = kFolderChangedText;
        return false;
      }
      return Failed(error);
    }
    path_ = finalPath;
    // A writer would keep the started program, msiexec and the system's own reading of a package
    // out: it closes, and a handle that reads and shares only reading takes its place, when it is
    // this file still. In between, only its owner's access list stands against a writer.
    handle_.Reset();
    kept_ = true;
    handle_.Reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ID_INFO reopened = {};
    if (!handle_) return Failed(error);
    if (!ReadFileId(handle_.Get(), reopened) || !SameFileId(reopened, id_)) {
      handle_.Reset();
      kept_ = false;  // not this download's file: it is not deleted either
      error = kFolderChangedText;
      return false;
    }
    return true;
  }

  // Deletes the file: the system does as the writer closes; a kept file is opened once more to be
  // deleted, when it is this file still.
  void Discard() {
    handle_.Reset();
    if (!kept_) return;
    FileHandle deleter(CreateFileW(path_.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ID_INFO id = {};
    if (deleter && ReadFileId(deleter.Get(), id) && SameFileId(id, id_)) MarkForDeletion(deleter.Get(), true);
  }

  // The reader, for the finished download to hold until the process ends.
  FileHandle Release() { return std::move(handle_); }

 private:
  bool Mark(bool remove) {
    const bool marked = MarkForDeletion(handle_.Get(), remove);
    code_ = marked ? 0 : GetLastError();
    return marked;
  }

  bool Failed(std::wstring& error) {
    error = FormatWithNumber(kKeepErrorFormat, code_ ? code_ : GetLastError());
    return false;
  }

  FileHandle handle_;
  std::wstring path_;
  FILE_ID_INFO id_ = {};
  DWORD code_ = 0;
  bool kept_ = false;
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
// plan's verdict and stay alone in its folder, or it is deleted. On success `kept` holds the file.
bool DownloadFile(DownloadJob& job, FileHandle& kept, std::wstring& error) {
  const DownloadPlan& plan = job.plan;
  const std::wstring& expectedSha256 = plan.sha256;
  if (!CheckDownloadRequest(job.url, expectedSha256, error)) return false;
  Sha256Hash hashState;
  Sha256Hash* hash = expectedSha256.empty() ? nullptr : &hashState;
  if (hash && !hash->Start(error)) return false;
  HttpRequest http;
  if (!OpenGetRequestForUrl(job.url, L"Invalid download URL.", http, error)) return false;
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

  DestinationFile file;
  if (!file.Create(job.folder.path)) {
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
  // Judged through the handle that wrote it, under a name that starts nothing and still marked for
  // deletion: if the process ends meanwhile, nothing of it stays.
  if (complete && !plan.judgedByName && !JudgeDownloadedFile(file.Get(), file.Path(), plan, error)) complete = false;
  if (complete && !file.Keep(job.destinationPath, error)) complete = false;
  // A package's signature the system reads by opening it again by its name: judged once it has that
  // name, while the launcher's reader lets nobody write it.
  if (complete && plan.judgedByName && !JudgeDownloadedFile(file.Get(), file.Path(), plan, error)) complete = false;
  // Nothing is added to the folder from now on; anything added while the body arrived (a DLL the
  // program would load from beside itself) refuses the start.
  DWORD code = 0;
  if (complete && !LockDownloadFolder(job.folder, code)) {
    error = FormatWithNumber(kKeepErrorFormat, code);
    complete = false;
  }
  if (complete && !FolderHoldsOnly(job.folder, job.destinationPath)) {
    error = kFolderChangedText;
    complete = false;
  }
  if (!complete) {
    file.Discard();
    return false;
  }
  PostDownloadProgress(received, total);
  kept = file.Release();
  return true;
}

}  // namespace

bool MakeDestinationPath(DownloadJob& job, std::wstring& error) {
  DWORD code = 0;
  if (!MakeDownloadFolder(job.folder, code)) {
    error = FormatWithNumber(kCreateDestinationErrorFormat, code);
    return false;
  }
  job.destinationPath = job.folder.path + job.plan.savedName;
  return true;
}

void DownloadWorker(std::unique_ptr<DownloadJob> job) {
  BindSystemDlls();  // before WinHTTP is first called
  std::wstring error;
  FileHandle file;
  if (DownloadFile(*job, file, error)) {
    // The way to start it travels with it, and so do the handles that hold it and its folders.
    PostMessageW(g_mainWindow, WM_DOWNLOAD_DONE,
                 reinterpret_cast<WPARAM>(new (std::nothrow) FinishedDownload{job->destinationPath, job->plan.way,
                                                                              std::move(job->folder), std::move(file)}),
                 0);
  } else {
    // A failed download leaves nothing: its own folder goes too, once empty and no longer held.
    job->folder.handle.Reset();
    if (!job->folder.path.empty()) RemoveDirectoryW(job->folder.path.c_str());
    PostMessageW(g_mainWindow, WM_DOWNLOAD_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(error)), 0);
  }
}
