#include "net/file_name.h"

#include <cwchar>

std::wstring FormatDownloadStamp(const StampTime& time) {
  wchar_t buffer[64] = {};
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%04u%02u%02u_%02u%02u%02u_", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return buffer;
}

std::wstring SanitizeFileName(const std::wstring& name) {
  std::wstring safe = name;
  for (wchar_t& unit : safe) {
    switch (unit) {
      case L'"':
      case L'*':
      case L'/':
      case L':':
      case L'<':
      case L'>':
      case L'?':
      case L'\\':
      case L'|':
      // An embedded NUL would silently cut the path, saving the file under another name and type.
      case L'\0': unit = L'_'; break;
      default: break;
    }
  }
  return safe;
}
