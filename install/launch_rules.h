#pragma once
// The command texts handed to msiexec and to the command interpreter; which way a download is
// started is decided with the rest of its plan (trust/download_plan.h).
#include <string>

// The name the launcher assumes for itself when its own module path cannot be read.
extern const wchar_t kFallbackExeFileName[];

// "/i" and the package path in double quotes, so paths with spaces reach msiexec whole.
std::wstring MsiexecParameters(const std::wstring& packagePath);
// Waits about a second (two loopback pings) so the old copy has closed, then starts the new one.
// The interpreter is named by its full path and skips the user's AutoRun commands (/d).
std::wstring RelaunchCommandLine(const std::wstring& interpreterPath, const std::wstring& filePath);
