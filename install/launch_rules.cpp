#include "install/launch_rules.h"

#include "common/ascii_names.h"

const wchar_t kFallbackExeFileName[] = L"QuorvelLauncher.exe";

LaunchWay ChooseLaunchWay(const std::wstring& downloadName, const std::wstring& ownFileName,
                          const std::wstring& extension) {
  if (!downloadName.empty() && EqualsIgnoringAsciiCase(downloadName, ownFileName)) return LaunchWay::Relaunch;
  if (EqualsIgnoringAsciiCase(extension, L".msi")) return LaunchWay::Msiexec;
  return LaunchWay::ShellOpen;
}

std::wstring MsiexecParameters(const std::wstring& packagePath) { return L"/i \"" + packagePath + L"\""; }

std::wstring RelaunchCommandLine(const std::wstring& interpreterPath, const std::wstring& filePath) {
  return L"\"" + interpreterPath + L"\" /d /c \"ping -n 2 127.0.0.1 > nul && start \"\" \"" + filePath + L"\"\"";
}
