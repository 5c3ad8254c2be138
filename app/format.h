#pragma once
// Texts of the file list's cells and of the progress line.
#include <cstdint>
#include <string>

std::wstring FormatSize(int64_t bytes);
std::wstring FormatDate(const std::wstring& modifiedAt);
// The type of the file the entry's name is saved as: its extension upper-cased, without the dot.
std::wstring FormatType(const std::wstring& name);
// "%u file(s) available — double-click any row to install." or the no-files text.
std::wstring ManifestStatusText(size_t fileCount);
// "Downloading… %s of %s" for received and announced KiB.
std::wstring ProgressStatusText(long long receivedKiB, long long totalKiB);
