// The 512 MiB limits, on announced lengths and on what arrives, with real WinHTTP and real files.
#include <windows.h>

#include "check/check.h"
#include "download_support.h"
#include "net/download.h"

namespace {

std::wstring Url(const std::wstring& route) { return ServerBase() + L"/files/" + route; }

}  // namespace

TEST_CASE(AnAnnouncedLengthOfExactlyTheLimitIsAccepted) {
  REQUIRE(!ServerBase().empty());
  const std::wstring path = TestFolder(L"limit-announced") + L"\\file.bin";
  const DownloadOutcome outcome = RunDownload(Url(L"body/536870912"), path);
  REQUIRE(outcome.finished);
  CHECK(outcome.done);
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
