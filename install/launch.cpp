#include "install/launch.h"

std::wstring OwnExeFileName() { return L"QuorvelLauncher.exe"; }
void LaunchDownloadedFile(const std::wstring&) {}
void RelaunchLauncher(const std::wstring&) {}
