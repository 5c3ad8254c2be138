#pragma once
#include <cstdint>
#include <string>

#include "manifest/manifest.h"

struct DownloadJob {
  std::wstring url;
  std::wstring destinationPath;
  std::wstring expectedSha256;  // the entry's sha256 as the manifest gave it; empty when it names none
};

// The largest file the launcher downloads; its error texts name it in MB of 1,048,576 bytes.
constexpr unsigned kMaxDownloadMegabytes = 512;
constexpr int64_t kMaxDownloadBytes = int64_t{kMaxDownloadMegabytes} * 1048576;
constexpr unsigned kDownloadChunkBytes = 65536;
constexpr int64_t kProgressStepBytes = 65536;

// Temp folder + "QuorvelLauncher\" + UTC stamp + sanitised name; empty when the temp folder is unknown.
std::wstring MakeDestinationPath(const ManifestEntry& entry);
// Thread procedure; owns job and deletes it when it ends.
void DownloadWorker(DownloadJob* job);
