#pragma once
// The texts the list shows for a manifest: its size and date cells, the status line over them, and
// the progress line of a download from it. The type cell comes from the saved name (trust/file_name.h).
#include <cstdint>
#include <string>

std::wstring FormatSize(int64_t bytes);
std::wstring FormatDate(const std::wstring& modifiedAt);
// "%u file(s) available — double-click any row to install." or the no-files text.
std::wstring ManifestStatusText(size_t fileCount);
// "Downloading… %s of %s" for received and announced KiB.
std::wstring ProgressStatusText(long long receivedKiB, long long totalKiB);
