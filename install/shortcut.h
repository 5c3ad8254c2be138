#pragma once
#include <string>

// Thread procedure: makes sure the desktop holds a shortcut to the launcher.
void ShortcutWorker();
std::wstring OwnExePath();
std::wstring DesktopFolder();
bool FindDesktopShortcut();
void CreateDesktopShortcut();
