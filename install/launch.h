#pragma once
#include <string>

#include "trust/download_plan.h"

// The name the file being downloaded is saved under, set by the window when the download starts.
// UI thread only.
extern std::wstring g_currentDownloadName;

// File name of the running executable; "QuorvelLauncher.exe" when it cannot be read.
std::wstring OwnExeFileName();
// Starts a finished download the way its plan chose: msiexec, a delayed relaunch of a newer
// launcher, or the shell's "open".
void LaunchDownloadedFile(const std::wstring& filePath, LaunchWay way);
