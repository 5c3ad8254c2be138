#pragma once
// The desktop-shortcut decisions that need no system.
#include <string>

extern const wchar_t kShortcutFileName[];
extern const wchar_t kShortcutDescription[];

// True when the executable lies under the temporary folder (text comparison, ASCII case folded);
// a downloaded copy running from there keeps no shortcut. An empty folder or path is never under.
bool RunsFromFolder(const std::wstring& exePath, const std::wstring& folder);
// The path cut before its last "\" or "/" (separator dropped): "C:\QuorvelLauncher.exe" gives "C:".
// A path with neither separator is its own working directory.
std::wstring WorkingDirectoryOf(const std::wstring& exePath);
