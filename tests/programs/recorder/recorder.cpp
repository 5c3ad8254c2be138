// Records how it was started: command line, own path, start-up show flags, its ancestors' names
// and the time, as UTF-16 lines "key=value". The file is QUORVEL_RECORD_FILE when that is set,
// else the own path + ".record"; it appears whole (written aside, then renamed).
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

struct ProcessEntry {
  DWORD id;
  DWORD parent;
  std::wstring name;
};

std::vector<ProcessEntry> Processes() {
  std::vector<ProcessEntry> list;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  }
  CloseHandle(snapshot);
  return list;
}

// Names of the parent, grandparent, ... separated by "<", as far as they are still running.
std::wstring Ancestors() {
  const std::vector<ProcessEntry> list = Processes();
  std::wstring out;
  DWORD current = GetCurrentProcessId();
  for (int depth = 0; depth < 4; ++depth) {
    DWORD parent = 0;
    for (const ProcessEntry& entry : list) {
      if (entry.id == current) parent = entry.parent;
    }
    const ProcessEntry* found = nullptr;
    for (const ProcessEntry& entry : list) {
      if (parent != 0 && entry.id == parent) found = &entry;
    }
    if (!found) break;
    if (!out.empty()) out += L"<";
    out += found->name;
    current = found->id;
  }
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[32768] = {};
  GetModuleFileNameW(nullptr, path, 32768);
  wchar_t target[32768] = {};
  std::wstring recordPath =
      GetEnvironmentVariableW(L"QUORVEL_RECORD_FILE", target, 32768) ? target : std::wstring(path) + L".record";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;

  std::wstring text = L"command=" + std::wstring(GetCommandLineW()) + L"\n";
  text += L"path=" + std::wstring(path) + L"\n";
  wchar_t directory[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, directory);
  text += L"cwd=" + std::wstring(directory) + L"\n";
  text += L"show=" + std::to_wstring((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1) + L"\n";
  text += L"ancestors=" + Ancestors() + L"\n";
  text += L"time=" + std::to_wstring(ticks) + L"\n";

  const std::wstring partPath = recordPath + L".part";
  HANDLE file = CreateFileW(partPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  if (!ok || !MoveFileExW(partPath.c_str(), recordPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;
  return 0;
}
