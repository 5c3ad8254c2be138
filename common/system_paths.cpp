#include "common/system_paths.h"

#include <windows.h>

std::wstring TempFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, path);
  // Too small a buffer gives the size needed, NUL included: always more than MAX_PATH.
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}

std::wstring OwnExePath() {
  // Paths may be far longer than MAX_PATH; the buffer grows until the whole path fits, up to the
  // longest path the system has (32,767 units).
  for (DWORD capacity = MAX_PATH; capacity <= 65536; capacity *= 2) {
    std::wstring path(capacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], capacity);
    if (length == 0) return std::wstring();
    // A cut path fills the buffer; it would name another file, so the buffer grows.
    if (length < capacity) {
      path.resize(length);
      return path;
    }
  }
  return std::wstring();
}
