#pragma once
#include <string>

// The name the file being downloaded is saved under, set by the window when the download starts;
// it tells a newer launcher from any other download. UI thread only.
extern std::wstring g_currentDownloadName;

// File name of the running executable; "QuorvelLauncher.exe" when it cannot be read.
std::wstring OwnExeFileName();
// Starts a finished download: msiexec for .msi, a delayed relaunch for a newer launcher, else "open".
void LaunchDownloadedFile(const std::wstring& filePath);
