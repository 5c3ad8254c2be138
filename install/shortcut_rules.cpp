#include "install/shortcut_rules.h"

#include "common/ascii_names.h"

const wchar_t kShortcutFileName[] = L"Quorvel Launcher.lnk";
const wchar_t kShortcutDescription[] = L"Quorvel Launcher \u2014 download and install Quorvel software";

bool RunsFromFolder(const std::wstring& exePath, const std::wstring& folder) {
  return !exePath.empty() && StartsWithIgnoringAsciiCase(exePath, folder);
}

std::wstring WorkingDirectoryOf(const std::wstring& exePath) {
  const std::size_t separator = exePath.find_last_of(L"\\/");
  return separator == std::wstring::npos ? exePath : exePath.substr(0, separator);
}
