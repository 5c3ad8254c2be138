#pragma once
// Reading a file that is being judged, through one handle: what is read is what the handle holds,
// whoever else may know the file by its path.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/scoped.h"

// Read access only, and only readers may share it: nobody writes, renames or deletes the file
// while this handle is open.
FileHandle OpenForVerdict(const std::wstring& path);
// Exactly `size` bytes at `offset`, whatever the handle's file pointer. False when fewer are there.
bool ReadFileAt(HANDLE file, uint64_t offset, void* buffer, DWORD size);
bool FileSizeOf(HANDLE file, uint64_t& size);
