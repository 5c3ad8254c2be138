#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "net/download_folder.h"
#include "trust/download_plan.h"

struct DownloadJob {
  std::wstring url;
  std::wstring destinationPath;  // the folder's path and the plan's saved name
  DownloadFolder folder;         // made and held for this download alone: removed, once empty, if it fails
  DownloadPlan plan;             // what the file must pass, and how it is started once it has
};

// The largest file the launcher downloads; its error texts name it in MB of 1,048,576 bytes.
constexpr unsigned kMaxDownloadMegabytes = 512;
constexpr int64_t kMaxDownloadBytes = int64_t{kMaxDownloadMegabytes} * 1048576;
constexpr unsigned kDownloadChunkBytes = 65536;
constexpr int64_t kProgressStepBytes = 65536;

// Sets the job's folder to a new folder under %TEMP%\QuorvelLauncher\, held, and its destinationPath
// to the plan's saved name in it. False with the create-error text when the folder cannot be made.
bool MakeDestinationPath(DownloadJob& job, std::wstring& error);
// Thread procedure: downloads the job and posts how it ended to the window.
void DownloadWorker(std::unique_ptr<DownloadJob> job);
