#pragma once
#include <string>

// Thread procedure: makes sure the desktop holds a shortcut to the launcher.
void ShortcutWorker();
// The user's desktop folder; empty when the system names none.
std::wstring DesktopFolder();
