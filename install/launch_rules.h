#pragma once
// The launch decisions that need no system: which way a finished download is started and the
// command texts handed to msiexec and to the command interpreter.
#include <string>

// The name the launcher assumes for itself when its own module path cannot be read.
extern const wchar_t kFallbackExeFileName[];

enum class LaunchWay { Relaunch, Msiexec, ShellOpen };

// `downloadName` is the name the download is saved under, `ownFileName` the running executable's
// file name, `extension` the saved name's extension with its dot.
LaunchWay ChooseLaunchWay(const std::wstring& downloadName, const std::wstring& ownFileName,
                          const std::wstring& extension);
// "/i" and the package path in double quotes, so paths with spaces reach msiexec whole.
std::wstring MsiexecParameters(const std::wstring& packagePath);
// Waits about a second (two loopback pings) so the old copy has closed, then starts the new one.
// The interpreter is named by its full path and skips the user's AutoRun commands (/d).
std::wstring RelaunchCommandLine(const std::wstring& interpreterPath, const std::wstring& filePath);
