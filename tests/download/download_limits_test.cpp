// The 512 MiB limits, on announced lengths and on what arrives, with real WinHTTP and real files.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <utility>

#include "net/download.h"
#include "support/check.h"
#include "support/download_support.h"

namespace {

std::wstring Url(const std::wstring& route) { return ServerBase() + L"/files/" + route; }

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// A download of exactly the limit arrived whole, every progress message naming totalKiB; the file
// is removed afterwards.
void CheckTheWholeLimitArrived(DownloadOutcome outcome, LPARAM totalKiB) {
  CHECK(outcome.finished);
  CHECK(outcome.done);
  CHECK_EQ(outcome.text, outcome.path);
  CHECK_EQ(FileSize(outcome.path), kMaxDownloadBytes);
  CHECK(!outcome.progress.empty() && outcome.progress.size() <= 8193);
  bool allNamedTheTotal = true;
  for (const ProgressMessage& message : outcome.progress)
    allNamedTheTotal = allNamedTheTotal && message.totalKiB == totalKiB;
  CHECK(allNamedTheTotal);
  if (!outcome.progress.empty()) CHECK_EQ(outcome.progress.back().receivedKiB, WPARAM{524288});
  outcome.held.reset();
  DeleteFileW(outcome.path.c_str());
  RemoveDirectoryW(outcome.folder.c_str());
}

}  // namespace

TEST_CASE(AnAnnouncedLengthOfExactlyTheLimitIsAcceptedAndItsChecksumHeldInFlatMemory) {
  REQUIRE(!ServerBase().empty());
  const SIZE_T peakBefore = PeakWorkingSet();
  DownloadOutcome outcome = RunDownload(Url(L"body/536870912"), L"file.bin",
                                        L"c60cb63ec63c84da84c258015f0b706deeb33b703284ba3e8962421d25a2381c");
  const SIZE_T growth = PeakWorkingSet() - peakBefore;
  // Streamed and hashed through one buffer: the process never holds a sizeable part of the file.
  std::fprintf(stderr, "  peak working set grew by %llu KiB\n", static_cast<unsigned long long>(growth / 1024));
  CHECK(growth < SIZE_T{64} * 1024 * 1024);
  CheckTheWholeLimitArrived(std::move(outcome), LPARAM{524288});
}

TEST_CASE(AStreamOfExactlyTheLimitSucceeds) {
  REQUIRE(!ServerBase().empty());
  CheckTheWholeLimitArrived(RunDownload(Url(L"stream/536870912")), -1);
}

TEST_CASE(OneByteOverTheLimitAbortsAndDeletesTheFile) {
  REQUIRE(!ServerBase().empty());
  const DownloadOutcome outcome = RunDownload(Url(L"stream/536870913"));
  REQUIRE(outcome.finished);
  CHECK(!outcome.done);
  CHECK_EQ(outcome.text, std::wstring(L"Download exceeded 512 MB; aborting."));
  CHECK(!support::Exists(outcome.folder));
  // No final message after a failure: the last one is a step below the limit.
  REQUIRE(!outcome.progress.empty());
  CHECK(outcome.progress.back().receivedKiB <= WPARAM{524288});
}
