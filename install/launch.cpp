#include "install/launch.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

#include "common/scoped.h"
#include "common/system_paths.h"
#include "install/launch_rules.h"
#include "net/messages.h"

namespace {

// The programs the launcher starts are taken from the system folder only: looked up by bare name,
// one saved beside the launcher or in its current directory would run instead. False when the
// folder cannot be read whole; the caller then starts nothing.
bool GetSystemFolder(std::wstring& folder) {
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  folder.assign(buffer, length);
  return true;
}

void RelaunchLauncher(const std::wstring& filePath) {
  std::wstring systemFolder;
  if (!GetSystemFolder(systemFolder)) return;
  const std::wstring interpreter = systemFolder + L"\\cmd.exe";
  const std::wstring commandLine = RelaunchCommandLine(interpreter, filePath);
  // CreateProcessW may write into its command line, so it gets a copy of its own.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  // In the system folder as its current directory, the interpreter finds the system's ping first.
  if (CreateProcessW(interpreter.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                     nullptr, systemFolder.c_str(), &startup, &process)) {
    // Nothing waits for the interpreter: its handles are closed at once.
    const KernelHandle started(process.hProcess);
    const KernelHandle thread(process.hThread);
  }
}

}  // namespace

std::wstring g_currentDownloadName;

std::wstring OwnExeFileName() {
  const std::wstring path = OwnExePath();
  if (path.empty()) return kFallbackExeFileName;
  return PathFindFileNameW(path.c_str());
}

void LaunchDownloadedFile(const std::wstring& filePath, LaunchWay way) {
  if (way == LaunchWay::Relaunch) {
    RelaunchLauncher(filePath);
    return;
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // The window closes right after: the shell must be done by then. It shows no box of its own
  // either (a type without a handler would leave "Launching…" behind one).
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = g_mainWindow;
  info.lpVerb = L"open";
  info.nShow = SW_SHOWNORMAL;
  // The started program works in the download's own folder: nothing else is there for it to load,
  // and the launcher's current directory (often the user's Downloads) is not handed on.
  const std::wstring folder = filePath.substr(0, filePath.find_last_of(L'\\') + 1);
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  std::wstring msiexec;
  std::wstring parameters;
  if (way == LaunchWay::Msiexec) {
    std::wstring systemFolder;
    if (!GetSystemFolder(systemFolder)) return;
    msiexec = systemFolder + L"\\msiexec.exe";
    parameters = MsiexecParameters(filePath);
    info.lpFile = msiexec.c_str();
    info.lpParameters = parameters.c_str();
  } else {
    info.lpFile = filePath.c_str();
    info.lpParameters = nullptr;
  }
  // Failures stay silent.
  ShellExecuteExW(&info);
}
