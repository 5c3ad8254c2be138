#include "install/launch_rules.h"

const wchar_t kFallbackExeFileName[] = L"QuorvelLauncher.exe";

std::wstring MsiexecParameters(const std::wstring& packagePath) { return L"/i \"" + packagePath + L"\""; }

std::wstring RelaunchCommandLine(const std::wstring& interpreterPath, const std::wstring& filePath) {
  return L"\"" + interpreterPath + L"\" /d /c \"ping -n 2 127.0.0.1 > nul && start \"\" \"" + filePath + L"\"\"";
}
