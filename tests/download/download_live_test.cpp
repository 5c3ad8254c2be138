// Downloads through real WinHTTP from the loopback test server into real files.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/download.h"
#include "net/http.h"
#include "support/check.h"
#include "support/download_support.h"
#include "trust/download_rules.h"
#include "trust/file_name.h"

namespace {

const std::wstring kIncomplete = L"Download incomplete; the connection closed early.";

std::wstring Url(const std::wstring& route) { return ServerBase() + L"/files/" + route; }

// SHA-256 of the server's generated bodies of these sizes.
const std::wstring kDigest0 = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::wstring kDigest1000 = L"4e4c294b331f7a2099a379bec34b9f9fc03dc46ab465d998f4d683da53487e6d";
const std::wstring kDigest65535 = L"dda402a2c028f0cbbdbc5c6ebae965eed9c75f71236e7022b0386d3455d5ae2f";
const std::wstring kDigest1000000 = L"2c030d49ec131bfbbb446ad21e7a2f12cdb4f2f4f3fda3ac709dd2e68a4646c7";
const std::wstring kDigest3000000 = L"4D3870D4655ED773027A713EA136507D22E076248E0E9CC920A996039653B76F";

std::wstring CreateFileErrorText(DWORD code) {
  return L"Could not create destination file (Win32 error " + std::to_wstring(code) + L").";
}

const std::string kPlanted = "planted by another process";

std::wstring WithoutTrailingSlash(const std::wstring& folder) { return folder.substr(0, folder.size() - 1); }

// The folder's entries, sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found = {};
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring FolderNames(const std::wstring& folder) {
  std::wstring joined;
  for (const std::wstring& name : FolderEntries(folder)) joined += (joined.empty() ? L"" : L"|") + name;
  return joined;
}

bool Renames(const std::wstring& from) { return MoveFileW(from.c_str(), (from + L"-moved").c_str()) != FALSE; }

bool OpensForWriting(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// While the body arrives: nothing is under the name that would start it, the file being written
// cannot even be opened, and neither its folder nor %TEMP%\QuorvelLauncher can be renamed.
void CheckHeldWhileArriving(const std::wstring& folder) {
  CHECK(!support::Exists(folder + L"file.bin"));
  HANDLE partial = CreateFileW((folder + L"download.partial").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(partial == INVALID_HANDLE_VALUE);
  if (partial != INVALID_HANDLE_VALUE) CloseHandle(partial);
  const std::wstring own = WithoutTrailingSlash(folder);
  CHECK(!Renames(own));
  CHECK(!Renames(own.substr(0, own.find_last_of(L'\\'))));
}

// Judged and handed over: the file can be read, but not written, renamed or deleted, and its
// folders cannot be renamed.
void CheckHeldAsJudged(const DownloadOutcome& outcome) {
  CHECK(!OpensForWriting(outcome.path));
  CHECK(!MoveFileW(outcome.path.c_str(), (outcome.folder + L"other.bin").c_str()));
  CHECK(!DeleteFileW(outcome.path.c_str()));
  CHECK(!Renames(WithoutTrailingSlash(outcome.folder)));
}

}  // namespace

TEST_CASE(SmallBodiesGiveOneFinalProgressAndTheExactBytes) {
  REQUIRE(!ServerBase().empty());
  struct Row {
    const wchar_t* route;
    int64_t size;
    LPARAM totalKiB;
  };
  const Row rows[] = {
      {L"body/1000", 1000, 0},     // under 1 KiB with a length: lParam 0
      {L"body/1024", 1024, 1},     // exactly 1 KiB
      {L"body/65535", 65535, 63},  // one byte short of a step: only the final message
      {L"stream/1000", 1000, -1},  // no length: -1
      {L"chunked/65535", 65535, -1},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.route)));
    const DownloadOutcome outcome = RunDownload(Url(row.route));
    const std::wstring& path = outcome.path;
    REQUIRE(outcome.finished);
    CHECK(outcome.done);
    CHECK_EQ(outcome.text, path);
    REQUIRE(outcome.progress.size() == 1);
    CHECK_EQ(outcome.progress[0].receivedKiB, static_cast<WPARAM>(row.size / 1024));
    CHECK_EQ(outcome.progress[0].totalKiB, row.totalKiB);
    CHECK(!outcome.progressAfterEnd);
    CHECK(FileHoldsPattern(path, row.size));
  }
}

TEST_CASE(ProgressComesEveryStepPlusAFinalOne) {
  REQUIRE(!ServerBase().empty());
  struct Row {
    const wchar_t* route;
    int64_t size;
    LPARAM totalKiB;
  };
  // Reads may return less than a chunk, so the steps are checked as a rule, not as exact values.
  const Row rows[] = {
      {L"body/65536", 65536, 64},
      {L"body/1000000", 1000000, 976},
      {L"stream/1000000", 1000000, -1},
      {L"chunked/3000000", 3000000, -1},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.route)));
    const DownloadOutcome outcome = RunDownload(Url(row.route));
    const std::wstring& path = outcome.path;
    REQUIRE(outcome.finished);
    CHECK(outcome.done);
    REQUIRE(outcome.progress.size() >= 2);
    CHECK(outcome.progress.size() <= static_cast<size_t>(row.size / kProgressStepBytes + 1));
    WPARAM previous = 0;
    for (size_t i = 0; i < outcome.progress.size(); ++i) {
      const ProgressMessage& message = outcome.progress[i];
      CHECK_EQ(message.totalKiB, row.totalKiB);
      if (i + 1 < outcome.progress.size()) CHECK(message.receivedKiB - previous >= 64);
      previous = message.receivedKiB;
    }
    // The last step message and the final one may carry the same count.
    CHECK_EQ(outcome.progress.back().receivedKiB, static_cast<WPARAM>(row.size / 1024));
    CHECK(FileHoldsPattern(path, row.size));
  }
}

TEST_CASE(EmptyBodyGivesAnEmptyFileAndOneProgressOfZero) {
  REQUIRE(!ServerBase().empty());
  for (const wchar_t* route : {L"body/0", L"stream/0"}) {
    check::Scope scope(check::Show(std::wstring(route)));
    const DownloadOutcome outcome = RunDownload(Url(route), L"empty.bin");
    const std::wstring& path = outcome.path;
    REQUIRE(outcome.finished);
    CHECK(outcome.done);
    REQUIRE(outcome.progress.size() == 1);
    CHECK_EQ(outcome.progress[0].receivedKiB, WPARAM{0});
    CHECK_EQ(FileSize(path), int64_t{0});
  }
}

TEST_CASE(FailuresBeforeTheBodyLeaveNothing) {
  REQUIRE(!ServerBase().empty());
  struct Row {
    std::wstring url;
    std::wstring error;
    std::wstring sha256 = std::wstring();
  };
  // Nothing listens on port 1: a download that sent its request would fail with the connect text.
  const std::wstring unheard = L"https://127.0.0.1:1/files/body/10";
  const std::wstring unheardPlain = L"http://127.0.0.1:1/files/body/10";
  const Row rows[] = {
      {Url(L"status/404"), L"Server returned HTTP 404."},
      {Url(L"status/500"), L"Server returned HTTP 500."},
      {Url(L"status/206"), L"Server returned HTTP 206."},
      // Headers that never come: the wait for the response ends by its time-out, about 30 s.
      {Url(L"hang/50"), WinHttpErrorTextFor(ERROR_WINHTTP_TIMEOUT)},
      {Url(L"announce/536870913"), L"Server reported file size > 512 MB; refusing."},
      {Url(L"announce/4294967295"), L"Server reported file size > 512 MB; refusing."},
      {L"not a url", L"Invalid download URL."},
      {L"", L"Invalid download URL."},
      {unheard, kMalformedChecksumText, L"abc"},
      {unheard, kMalformedChecksumText, kDigest1000.substr(1)},
      {unheard, kMalformedChecksumText, kDigest1000 + L"0"},
      {unheard, kMalformedChecksumText, L"g" + kDigest1000.substr(1)},
      {unheard, kMalformedChecksumText, L" " + kDigest1000.substr(1)},
      {unheardPlain, kMalformedChecksumText, L"xyz"},
      {unheardPlain, kPlainHttpWithoutChecksumText},
      {L"HTTP://127.0.0.1:1/files/body/10", kPlainHttpWithoutChecksumText},
      {L"hTtP://127.0.0.1:1/files/body/10", kPlainHttpWithoutChecksumText},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.url + L" " + row.sha256));
    const DownloadOutcome outcome = RunDownload(row.url, L"fresh.bin", row.sha256);
    REQUIRE(outcome.finished);
    CHECK(!outcome.done);
    CHECK_EQ(outcome.text, row.error);
    CHECK(outcome.progress.empty());
    // Nothing was created in the folder, and the folder made for the download went with it.
    CHECK(!support::Exists(outcome.folder));
  }
}

TEST_CASE(AChecksumIsCheckedOverTheWholeBodyInEitherCase) {
  REQUIRE(!ServerBase().empty());
  REQUIRE(!PlainServerBase().empty());
  struct Row {
    std::wstring url;
    int64_t size;
    std::wstring sha256;
    bool matches;
  };
  const std::wstring plain = PlainServerBase() + L"/files/";
  std::wstring wrong = kDigest65535;
  wrong[63] = wrong[63] == L'f' ? L'e' : L'f';
  const Row rows[] = {
      {Url(L"body/1000"), 1000, kDigest1000, true},
      {Url(L"body/0"), 0, kDigest0, true},
      {Url(L"stream/1000000"), 1000000, kDigest1000000, true},
      {Url(L"chunked/3000000"), 3000000, kDigest3000000, true},  // upper-case digits
      {plain + L"body/1000000", 1000000, kDigest1000000, true},  // plain http with a checksum
      {Url(L"body/65535"), 65535, wrong, false},
      {Url(L"body/1000"), 1000, kDigest0, false},
      {plain + L"body/1000", 1000, kDigest65535, false},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.url + L" " + row.sha256));
    const DownloadOutcome outcome = RunDownload(row.url, L"file.bin", row.sha256);
    const std::wstring& path = outcome.path;
    REQUIRE(outcome.finished);
    CHECK_EQ(outcome.done, row.matches);
    CHECK(!outcome.progressAfterEnd);
    if (row.matches) {
      CHECK_EQ(outcome.text, path);
      CHECK(FileHoldsPattern(path, row.size));
    } else {
      CHECK_EQ(outcome.text, std::wstring(kChecksumMismatchText));
      CHECK(!support::Exists(outcome.folder));
      CHECK(outcome.progress.empty());  // under one step, so only a final message could have come
    }
  }
}

// A signed list's size is exact: another announced length is refused before the file is made, a
// body that runs past it stops at the first chunk beyond, a shorter one fails once whole.
TEST_CASE(ASignedListsSizeStopsADownloadThatDiffers) {
  REQUIRE(!ServerBase().empty());
  struct Row {
    const wchar_t* route;
    int64_t exactSize;
    std::wstring sha256;  // the body's own digest, so only its size can fail it
    bool kept;
    size_t mostProgress;
  };
  const Row rows[] = {
      {L"body/1000", 1000, kDigest1000, true, 1},           {L"body/1000", 999, kDigest1000, false, 0},
      {L"stream/1000000", 70000, kDigest1000000, false, 1},  // stopped within the second 64 KiB
      {L"chunked/65535", 65534, kDigest65535, false, 0},     // one byte more than the size
      {L"chunked/65535", 65536, kDigest65535, false, 0},     // one byte less
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.route) + L" as " + std::to_wstring(row.exactSize)));
    const DownloadOutcome outcome = RunDownload(Url(row.route), L"file.bin", row.sha256, Meddling(), row.exactSize);
    REQUIRE(outcome.finished);
    CHECK_EQ(outcome.done, row.kept);
    CHECK_EQ(outcome.text, row.kept ? outcome.path : std::wstring(kChecksumMismatchText));
    CHECK_EQ(support::Exists(outcome.path), row.kept);
    if (!row.kept) CHECK(!support::Exists(outcome.folder));
    CHECK(outcome.progress.size() <= row.mostProgress);
  }
}

TEST_CASE(AFailedConnectGivesTheBareWinHttpText) {
  // Nothing listens on port 1 of the loopback.
  const std::wstring url = L"https://127.0.0.1:1/files/body/10";
  const DownloadOutcome outcome = RunDownload(url);
  REQUIRE(outcome.finished);
  CHECK(!outcome.done);
  CHECK_EQ(outcome.text, WinHttpErrorTextFor(ERROR_WINHTTP_CANNOT_CONNECT));
  CHECK(outcome.text.find(L"Could not reach") == std::wstring::npos);
  CHECK(!support::Exists(outcome.folder));
}

TEST_CASE(ABodyCutShortIsAFailureAndTheFileIsDeleted) {
  REQUIRE(!ServerBase().empty());
  {
    // A normal close before the announced length, with or without the TLS goodbye: WinHTTP ends
    // the body quietly.
    check::Scope scope("normal close");
    for (const wchar_t* route :
         {L"announce/200000?send=100000", L"announce/200000?send=100000&close=fin", L"announce/1000?send=0"}) {
      check::Scope inner(check::Show(std::wstring(route)));
      const DownloadOutcome outcome = RunDownload(Url(route), L"short.bin");
      REQUIRE(outcome.finished);
      CHECK(!outcome.done);
      CHECK_EQ(outcome.text, kIncomplete);
      CHECK(!support::Exists(outcome.folder));
    }
  }
  {
    // A reset mid-transfer: WinHTTP reports it while reading (Wine passes on the TLS layer's
    // SEC_E_INCOMPLETE_MESSAGE, which has no message text there). Now and then Wine ends the body
    // quietly at the reset instead, and the length check catches it; either way nothing is kept.
    check::Scope scope("reset");
    const DownloadOutcome outcome = RunDownload(Url(L"reset/2000000?send=300000"), L"reset.bin");
    REQUIRE(outcome.finished);
    CHECK(!outcome.done);
    std::fprintf(stderr, "  reset gave: %ls\n", outcome.text.c_str());
    bool winHttpText = false;
    const DWORD codes[] = {ERROR_WINHTTP_CONNECTION_ERROR,
                           WSAECONNRESET,
                           ERROR_WINHTTP_SECURE_FAILURE,
                           ERROR_WINHTTP_INVALID_SERVER_RESPONSE,
                           ERROR_NETNAME_DELETED,
                           ERROR_CONNECTION_ABORTED,
                           static_cast<DWORD>(SEC_E_INCOMPLETE_MESSAGE)};
    for (DWORD code : codes) winHttpText = winHttpText || outcome.text == WinHttpErrorTextFor(code);
    CHECK(winHttpText || outcome.text == kIncomplete);
    CHECK(!support::Exists(outcome.folder));
  }
}

// Another process of the user meddles with the download's folder while the body arrives: nothing
// of its own is started, nothing it put there is written over, and the file is never under a name
// that starts it before it has been judged; from then on it and its folders stay as judged.
TEST_CASE(TheFileIsHeldAsJudgedFromItsFirstByteToItsStart) {
  REQUIRE(!ServerBase().empty());
  const std::wstring slow = Url(L"slow/1000000?rate=500000&step=32768");  // about two seconds
  const auto plant = [](const wchar_t* name) {
    return [name](const std::wstring& folder) { support::WriteBytes(folder + name, kPlanted); };
  };
  struct Row {
    const char* label;
    Meddling meddling;
    std::wstring error;  // empty: the download is done
    std::wstring left;   // the folder's entries afterwards
  };
  const Row rows[] = {
      {"nothing, but trying", {nullptr, CheckHeldWhileArriving}, L"", L"file.bin"},
      {"a DLL copied in", {nullptr, plant(L"version.dll")}, kFolderChangedText, L"version.dll"},
      {"a folder made in it",
       {nullptr, [](const std::wstring& folder) { CreateDirectoryW((folder + L"sub").c_str(), nullptr); }},
       kFolderChangedText,
       L"sub"},
      {"a file put under its name", {nullptr, plant(L"file.bin")}, kFolderChangedText, L"file.bin"},
      {"a file put under the name it is written as",
       {plant(L"download.partial"), nullptr},
       CreateFileErrorText(ERROR_FILE_EXISTS),
       {L"download.partial"}},
  };
  for (const Row& row : rows) {
    check::Scope scope(row.label);
    DownloadOutcome outcome = RunDownload(slow, L"file.bin", L"", row.meddling);
    REQUIRE(outcome.finished);
    CHECK_EQ(outcome.text, row.error.empty() ? outcome.path : row.error);
    if (outcome.done) CheckHeldAsJudged(outcome);
    CHECK_EQ(FolderNames(outcome.folder), row.left);
    for (const std::wstring& name : FolderEntries(outcome.folder)) {
      if (name != L"sub")
        CHECK(row.error.empty() ? FileHoldsPattern(outcome.path, 1000000)
                                : support::ReadBytes(outcome.folder + name) == kPlanted);
    }
  }
}

TEST_CASE(EachDestinationIsANewPrivateFolderHoldingTheSavedName) {
  wchar_t temp[MAX_PATH] = {};
  REQUIRE(GetTempPathW(MAX_PATH, temp) > 0);
  const std::wstring root = std::wstring(temp) + L"QuorvelLauncher\\";
  struct Row {
    std::wstring name;
    std::wstring expectedName;
  };
  const Row rows[] = {
      {L"Setup.msi", L"Setup.msi"},
      {L"a/b:c?.msi", L"a_b_c_.msi"},
      {L"Tool.exe . .", L"Tool.exe"},
      {std::wstring(L"Tool.msi\0.txt", 13), L"Tool.msi_.txt"},
  };
  std::wstring previousFolder;
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.name));
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    DownloadJob job;
    job.plan.savedName = SavedFileName(row.name);
    std::wstring error;
    REQUIRE(MakeDestinationPath(job, error));
    // root + "YYYYMMDD_HHMMSS-xxxxxxxx\" + the saved name, and a folder never handed out before
    REQUIRE(job.folder.path.size() == root.size() + 25);
    CHECK_EQ(job.folder.path.substr(0, root.size()), root);
    CHECK_EQ(job.destinationPath, job.folder.path + row.expectedName);
    CHECK(job.folder.path != previousFolder);
    previousFolder = job.folder.path;
    wchar_t expectedDay[16] = {};
    wsprintfW(expectedDay, L"%04u%02u%02u_", before.wYear, before.wMonth, before.wDay);
    CHECK_EQ(job.folder.path.substr(root.size(), 9), std::wstring(expectedDay));  // UTC date, not local
    CHECK_EQ(job.folder.path[root.size() + 15], L'-');
    const DWORD attributes = GetFileAttributesW(job.folder.path.c_str());
    CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    job.folder = DownloadFolder();  // let go: now it can be removed
    CHECK(RemoveDirectoryW(previousFolder.c_str()));
  }
}

TEST_CASE(ANameWithNulIsSavedWholeUnderItsSanitisedName) {
  REQUIRE(!ServerBase().empty());
  DownloadOutcome outcome = RunDownload(Url(L"body/100"), SavedFileName(std::wstring(L"cut\0here.txt", 12)));
  const std::wstring path = outcome.path;
  REQUIRE(path.find(L'\0') == std::wstring::npos);
  REQUIRE(outcome.finished);
  CHECK(outcome.done);
  CHECK_EQ(outcome.text, path);
  CHECK_EQ(path.substr(path.size() - 13), std::wstring(L"\\cut_here.txt"));
  CHECK(FileHoldsPattern(path, 100));
}

TEST_CASE(DiskFullDuringTheWriteDeletesThePartialFile) {
  const char* small = std::getenv("QUORVEL_DOWNLOAD_SMALL_DIR");
  if (!small || !*small) {
    std::fprintf(stderr, "  skipped here: needs a small file system, see download_disk_full\n");
    return;
  }
  REQUIRE(!ServerBase().empty());
  // The download's folders go where the temporary folder is.
  wchar_t temp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", temp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", Widen(small).c_str());
  // The small file system holds 1 MiB; the body is four times that.
  const DownloadOutcome outcome = RunDownload(Url(L"body/4194304"), L"big.bin");
  SetEnvironmentVariableW(L"TMP", temp[0] ? temp : nullptr);
  REQUIRE(outcome.finished);
  CHECK(!outcome.done);
  std::fprintf(stderr, "  disk full gave: %ls\n", outcome.text.c_str());
  CHECK(outcome.text == L"Disk write failed (Win32 error 112)." ||
        outcome.text == L"Disk write failed (Win32 error 39).");
  CHECK(!outcome.folder.empty() && outcome.folder.find(Widen(small)) == 0);
  CHECK(!support::Exists(outcome.folder));
}
