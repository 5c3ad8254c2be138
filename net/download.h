#pragma once
#include <cstdint>
#include <string>

#include "manifest/manifest.h"

struct DownloadJob {
  std::wstring url;
  std::wstring destinationPath;
  std::wstring expectedSha256;  // the entry's sha256 as the manifest gave it; empty when it names none
};

constexpr int64_t kMaxDownloadBytes = 536870912;
constexpr unsigned kDownloadChunkBytes = 65536;
constexpr int64_t kProgressStepBytes = 65536;

// Temp folder + "QuorvelLauncher\" + UTC stamp + sanitised name; empty when the temp folder is unknown.
std::wstring MakeDestinationPath(const ManifestEntry& entry);
// With a non-empty expectedSha256 the body's digest must match it, or the file is deleted.
bool DownloadFile(const std::wstring& url, const std::wstring& destinationPath, const std::wstring& expectedSha256,
                  std::wstring& error);
void PostDownloadProgress(int64_t received, int64_t total);
// Thread procedure; owns job and deletes it when it ends.
void DownloadWorker(DownloadJob* job);
