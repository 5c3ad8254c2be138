#pragma once
// The folders downloads are saved in: %TEMP%\QuorvelLauncher\ holds one private folder per
// download, and the start clears those left from earlier runs. Everything here goes through handles
// opened without following links, each checked to be the folder or file it was meant to be.
#include <windows.h>

#include <string>

#include "common/scoped.h"

// One download's own folder, held open from its creation to the process's end together with
// %TEMP%\QuorvelLauncher. Neither handle lets others delete, so neither folder can be renamed or
// removed meanwhile, and Windows renames no folder above them while they are open.
struct DownloadFolder {
  FileHandle root;
  FileHandle handle;
  std::wstring path;  // with its trailing backslash
};

// Creates a new, empty folder of its own for one download, that only this user, SYSTEM and the
// Administrators can open, and holds it. False with the Win32 error when it cannot, also when
// %TEMP%\QuorvelLauncher or the new folder is not a plain folder in its place (a file, a link).
bool MakeDownloadFolder(DownloadFolder& folder, DWORD& error);
// The judged file may no longer change: only reading, starting and deleting are left to the user,
// and an OWNER RIGHTS entry keeps its owner from granting more.
bool LockDownloadedFile(HANDLE file, DWORD& error);
// From now on the user can no longer add files or folders to the download's folder (nor grant
// themselves that again); what it holds can still be read, started and, later, cleared.
bool LockDownloadFolder(const DownloadFolder& folder, DWORD& error);
// The folder holds nothing but the file at `filePath`, one of its entries.
bool FolderHoldsOnly(const DownloadFolder& folder, const std::wstring& filePath);
// Marks the file or empty folder behind `handle` to be deleted when its last handle closes, or
// takes the mark off again. Deleting through a handle deletes what it was opened on, never what
// has taken its name since.
bool MarkForDeletion(HANDLE handle, bool remove);
// Deletes download folders older than a day, and empty ones made before this process started, and
// files of the older flat layout older than a day. Skips what is in use or cannot be deleted, and
// anything that is a link or is not where its folder's listing put it; leaves the running
// launcher's own folder.
void ClearOldDownloads();
