#include "manifest/list_text.h"

#include <cwchar>

std::wstring FormatSize(int64_t bytes) {
  if (bytes < 0) return L"\u2014";
  static const wchar_t* const kUnits[] = {L"B", L"KB", L"MB", L"GB", L"TB"};
  wchar_t buffer[32];
  double x = static_cast<double>(bytes);
  if (x < 1024) {
    std::swprintf(buffer, 32, L"%lld B", static_cast<long long>(bytes));
    return buffer;
  }
  int unit = 0;
  // Multiplying by the reciprocal (exact in binary) keeps 1048575 bytes at "1024.00 KB".
  while (unit < 4) {
    x = x * (1.0 / 1024);
    ++unit;
    if (x < 1024) break;
  }
  std::swprintf(buffer, 32, L"%.2f %ls", x, kUnits[unit]);
  return buffer;
}

std::wstring FormatDate(const std::wstring& modifiedAt) { return modifiedAt.substr(0, 10); }

std::wstring ManifestStatusText(size_t fileCount) {
  if (fileCount == 0) return L"No files available in /download/latest/.";
  wchar_t buffer[96];
  std::swprintf(buffer, 96, L"%llu file(s) available \u2014 double-click any row to install.",
                static_cast<unsigned long long>(fileCount));
  return buffer;
}

std::wstring ProgressStatusText(long long receivedKiB, long long totalKiB) {
  // Wraps instead of overflowing; real values are far below the 512 MiB download cap.
  const std::wstring received = FormatSize(static_cast<int64_t>(static_cast<uint64_t>(receivedKiB) * 1024u));
  const std::wstring total = FormatSize(static_cast<int64_t>(static_cast<uint64_t>(totalKiB) * 1024u));
  wchar_t buffer[96];
  std::swprintf(buffer, 96, L"Downloading\u2026 %ls of %ls", received.c_str(), total.c_str());
  return buffer;
}
