#include "trust/file_bytes.h"

FileHandle OpenForVerdict(const std::wstring& path) {
  return FileHandle(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadFileAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, bytes, size, &read, &at) || read == 0) return false;
    bytes += read;
    offset += read;
    size -= read;
  }
  return true;
}

bool FileSizeOf(HANDLE file, uint64_t& size) {
  LARGE_INTEGER length = {};
  if (!GetFileSizeEx(file, &length)) return false;
  size = static_cast<uint64_t>(length.QuadPart);
  return true;
}
