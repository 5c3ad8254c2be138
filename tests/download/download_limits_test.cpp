// The 512 MiB limits, on announced lengths and on what arrives, with real WinHTTP and real files.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "check/check.h"
#include "download_support.h"
#include "net/download.h"

namespace {

std::wstring Url(const std::wstring& route) { return ServerBase() + L"/files/" + route; }

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

}  // namespace

TEST_CASE(AnAnnouncedLengthOfExactlyTheLimitIsAcceptedAndItsChecksumHeldInFlatMemory) {
  REQUIRE(!ServerBase().empty());
  const std::wstring path = TestFolder(L"limit-announced") + L"\\file.bin";
  const SIZE_T peakBefore = PeakWorkingSet();
  const DownloadOutcome outcome =
      RunDownload(Url(L"body/536870912"), path, L"c60cb63ec63c84da84c258015f0b706deeb33b703284ba3e8962421d25a2381c");
  const SIZE_T growth = PeakWorkingSet() - peakBefore;
  REQUIRE(outcome.finished);
  CHECK_EQ(outcome.text, path);
  CHECK(outcome.done);
  // Streamed and hashed through one buffer: the process never holds a sizeable part of the file.
  std::fprintf(stderr, "  peak working set grew by %llu KiB\n", static_cast<unsigned long long>(growth / 1024));
  CHECK(growth < SIZE_T{64} * 1024 * 1024);
  CHECK_EQ(FileSize(path), kMaxDownloadBytes);
  REQUIRE(!outcome.progress.empty());
  CHECK(outcome.progress.size() <= 8193);
  bool allAnnounced = true;
  for (const ProgressMessage& message : outcome.progress)
    allAnnounced = allAnnounced && message.totalKiB == LPARAM{524288};
  CHECK(allAnnounced);
  CHECK_EQ(outcome.progress.back().receivedKiB, WPARAM{524288});
  DeleteFileW(path.c_str());
}

TEST_CASE(AStreamOfExactlyTheLimitSucceeds) {
  REQUIRE(!ServerBase().empty());
  const std::wstring path = TestFolder(L"limit-exact") + L"\\file.bin";
  const DownloadOutcome outcome = RunDownload(Url(L"stream/536870912"), path);
  REQUIRE(outcome.finished);
  CHECK(outcome.done);
  CHECK_EQ(outcome.text, path);
  CHECK_EQ(FileSize(path), kMaxDownloadBytes);
  REQUIRE(!outcome.progress.empty());
  CHECK(outcome.progress.size() <= 8193);
  bool allUnknown = true;
  for (const ProgressMessage& message : outcome.progress) allUnknown = allUnknown && message.totalKiB == -1;
  CHECK(allUnknown);
  CHECK_EQ(outcome.progress.back().receivedKiB, WPARAM{524288});
  DeleteFileW(path.c_str());
}

TEST_CASE(OneByteOverTheLimitAbortsAndDeletesTheFile) {
  REQUIRE(!ServerBase().empty());
  const std::wstring path = TestFolder(L"limit-over") + L"\\file.bin";
  const DownloadOutcome outcome = RunDownload(Url(L"stream/536870913"), path);
  REQUIRE(outcome.finished);
  CHECK(!outcome.done);
  CHECK_EQ(outcome.text, std::wstring(L"Download exceeded 512 MB; aborting."));
  CHECK(!FileExists(path));
  // No final message after a failure: the last one is a step below the limit.
  REQUIRE(!outcome.progress.empty());
  CHECK(outcome.progress.back().receivedKiB <= WPARAM{524288});
}
