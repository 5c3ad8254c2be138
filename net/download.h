#pragma once
#include <cstdint>
#include <string>

#include "manifest/manifest.h"

struct DownloadJob {
  std::wstring url;
  std::wstring destinationPath;
};

constexpr int64_t kMaxDownloadBytes = 536870912;
constexpr unsigned kDownloadChunkBytes = 65536;
constexpr int64_t kProgressStepBytes = 65536;

// Temp folder + "QuorvelLauncher\" + UTC stamp + sanitised name; empty when the temp folder is unknown.
std::wstring MakeDestinationPath(const ManifestEntry& entry);
bool DownloadFile(const std::wstring& url, const std::wstring& destinationPath, std::wstring& error);
void PostDownloadProgress(int64_t received, int64_t total);
// Thread procedure; owns job and deletes it when it ends.
void DownloadWorker(DownloadJob* job);
