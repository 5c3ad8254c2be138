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
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  // A cut path fills the buffer; it would name another file, so it counts as unavailable.
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}
