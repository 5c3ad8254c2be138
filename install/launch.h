#pragma once
#include <string>

// File name of the running executable; "QuorvelLauncher.exe" when it cannot be read.
std::wstring OwnExeFileName();
// Starts a finished download: msiexec for .msi, a delayed relaunch for a newer launcher, else "open".
void LaunchDownloadedFile(const std::wstring& filePath);
void RelaunchLauncher(const std::wstring& filePath);
