// Stands in for the launcher executable: the tests copy it under the launcher's names (and into
// the temporary folder, or a very long path) so the install code sees a real own module path.
//   probe launch REPORT DOWNLOAD_NAME FILE_PATH   -> LaunchDownloadedFile as the dialog calls it
//   probe shortcut REPORT [MODULE_PATH]           -> the shortcut worker in its own thread; with
//     MODULE_PATH the loader's record of the own module names that path (Wine cannot start a
//     program from a path of 260 characters or more, so a deep path is given to the loader here)
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <map>
#include <string>
#include <thread>

#include "common/scoped.h"
#include "common/system_paths.h"
#include "install/launch.h"
#include "install/shortcut.h"
#include "net/messages.h"
#include "support/wine_support.h"

namespace {

// The start-up values a child was given, read from its process parameters (x64 layout).
void DescribeChild(DWORD childId, std::map<std::wstring, std::wstring>& report) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, childId);
  if (!process) return;
  PROCESS_BASIC_INFORMATION basic = {};
  ULONG got = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &got) == 0) {
    void* parameters = nullptr;
    SIZE_T read = 0;
    const char* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
    unsigned char block[0xB0] = {};
    if (ReadProcessMemory(process, peb + 0x20, &parameters, sizeof parameters, &read) &&
        ReadProcessMemory(process, parameters, block, sizeof block, &read)) {
      UNICODE_STRING command = {};
      memcpy(&command, block + 0x70, sizeof command);
      std::wstring text(command.Length / sizeof(wchar_t), L'\0');
      if (ReadProcessMemory(process, command.Buffer, &text[0], command.Length, &read)) report[L"childCommand"] = text;
      UNICODE_STRING directory = {};
      memcpy(&directory, block + 0x38, sizeof directory);
      std::wstring folder(directory.Length / sizeof(wchar_t), L'\0');
      if (ReadProcessMemory(process, directory.Buffer, &folder[0], directory.Length, &read)) {
        report[L"childDirectory"] = folder;
      }
      ULONG windowFlags = 0, showFlags = 0;
      HANDLE console = nullptr;
      memcpy(&console, block + 0x10, sizeof console);
      memcpy(&windowFlags, block + 0xA4, sizeof windowFlags);
      memcpy(&showFlags, block + 0xA8, sizeof showFlags);
      report[L"childWindowFlags"] = std::to_wstring(windowFlags);
      report[L"childShow"] = std::to_wstring(showFlags);
      report[L"childConsole"] = std::to_wstring(reinterpret_cast<LONG_PTR>(console));
    }
  }
  CloseHandle(process);
}

void DescribeChildren(std::map<std::wstring, std::wstring>& report) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  std::wstring names;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId()) continue;
    if (!names.empty()) names += L"|";
    names += entry.szExeFile;
    if (support::ToLowerAscii(entry.szExeFile) == L"cmd.exe") DescribeChild(entry.th32ProcessID, report);
  }
  CloseHandle(snapshot);
  report[L"children"] = names;
}

// Points the loader's entry for the main module at `path`, which GetModuleFileNameW then reports.
void RenameOwnModule(std::wstring& path) {
  PROCESS_BASIC_INFORMATION basic = {};
  ULONG got = 0;
  if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, &got) != 0) return;
  PEB* peb = basic.PebBaseAddress;
  LIST_ENTRY* first = peb->Ldr->InMemoryOrderModuleList.Flink;
  auto* entry = CONTAINING_RECORD(first, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
  entry->FullDllName.Buffer = &path[0];
  entry->FullDllName.Length = static_cast<USHORT>(path.size() * sizeof(wchar_t));
  entry->FullDllName.MaximumLength = static_cast<USHORT>((path.size() + 1) * sizeof(wchar_t));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 3) return 2;
  const std::wstring mode = args[1];
  const std::wstring reportPath = args[2];
  std::wstring modulePath = count == 4 ? args[3] : L"";
  if (mode == L"shortcut" && !modulePath.empty()) RenameOwnModule(modulePath);
  std::map<std::wstring, std::wstring> report;
  wchar_t raw[MAX_PATH] = {};
  report[L"moduleLength"] = std::to_wstring(GetModuleFileNameW(nullptr, raw, MAX_PATH));
  report[L"exeName"] = OwnExeFileName();
  report[L"exePath"] = OwnExePath();
  if (mode == L"launch" && count == 5) {
    const ScopedCom com(COINIT_APARTMENTTHREADED);
    g_mainWindow = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   instance, nullptr);
    g_currentDownloadName = args[3];
    const LaunchWay way = ChooseLaunchWay(g_currentDownloadName, OwnExeFileName());
    report[L"before"] = std::to_wstring(support::NowTicks());
    LaunchDownloadedFile(args[4], way);
    report[L"after"] = std::to_wstring(support::NowTicks());
    DescribeChildren(report);
    // Stay until the started program has recorded itself, so it still finds its parent running.
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QUORVEL_RECORD_FILE", record, MAX_PATH)) {
      support::WaitFor([&] { return support::Exists(record); }, 60000);
    }
    DestroyWindow(g_mainWindow);
  } else if (mode == L"shortcut") {
    std::thread(ShortcutWorker).join();
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    report[L"temp"] = temp;
    report[L"desktop"] = DesktopFolder();
  } else {
    return 2;
  }
  LocalFree(args);
  return support::WriteRecord(reportPath, report) ? 0 : 1;
}
