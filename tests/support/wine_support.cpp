#include "support/wine_support.h"

#include <cstdio>
#include <vector>

namespace support {

std::wstring FromUnixPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

bool MakeFolders(const std::wstring& path) {
  const std::wstring extended = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
  for (std::size_t at = extended.find(L'\\', 7);; at = extended.find(L'\\', at + 1)) {
    const std::wstring part = extended.substr(0, at);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (at == std::wstring::npos) return true;
  }
}

void RemoveTree(const std::wstring& path) {
  const std::wstring extended = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
  const DWORD attributes = GetFileAttributesW(extended.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(extended.c_str());
    return;
  }
  WIN32_FIND_DATAW entry = {};
  HANDLE search = FindFirstFileW((extended + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveTree(extended + L"\\" + name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(extended.c_str());
}

void RemoveTestFolder(const std::wstring& path) {
  RemoveTree(path);
  RemoveDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  // Shares everything: a file renamed into place can still be held for a moment by the rename's own
  // handle, which has delete access, and a reader that refused to share it would see nothing.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

long RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, const wchar_t* application) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(application, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "  could not start %ls: error %lu\n", commandLine.c_str(), GetLastError());
    return -1;
  }
  CloseHandle(process.hThread);
  long result = -1;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result = static_cast<long>(code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  return result;
}

std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path, DWORD timeoutMs) {
  std::map<std::wstring, std::wstring> record;
  // A record is never empty, and it appears whole; until it can be read it is waited for.
  std::string bytes;
  if (!WaitFor([&] { return Exists(path) && !(bytes = ReadBytes(path)).empty(); }, timeoutMs)) return record;
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start);
    const std::size_t equals = line.find(L'=');
    if (equals != std::wstring::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return record;
}

bool WriteRecord(const std::wstring& path, const std::map<std::wstring, std::wstring>& record) {
  std::wstring text;
  for (const auto& item : record) text += item.first + L"=" + item.second + L"\n";
  const std::wstring part = path + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return ok && MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring ToLowerAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

unsigned long long NowTicks() {
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace support
