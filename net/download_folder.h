#pragma once
// The folders downloads are saved in: %TEMP%\QuorvelLauncher\ holds one private folder per
// download, and the start clears those left from earlier days.
#include <windows.h>

#include <string>

// Creates a new folder of its own for one download, that only this user, SYSTEM and the
// Administrators can open, and gives its path with a trailing backslash. False with the Win32
// error when it cannot, also when %TEMP%\QuorvelLauncher is not a plain folder (a file, a link).
bool MakeDownloadFolder(std::wstring& folder, DWORD& error);
// Deletes download folders, and files of the older flat layout, older than a day. Skips what is in
// use or cannot be deleted, never follows a link and leaves the running launcher's own folder.
void ClearOldDownloads();
