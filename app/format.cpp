#include "app/format.h"

std::wstring FormatSize(int64_t) { return std::wstring(); }
std::wstring FormatDate(const std::wstring& modifiedAt) { return modifiedAt.substr(0, 10); }
std::wstring FormatType(const std::wstring& ext) { return ext; }
std::wstring ManifestStatusText(size_t) { return std::wstring(); }
std::wstring ProgressStatusText(long long, long long) { return std::wstring(); }
