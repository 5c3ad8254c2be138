#pragma once
// Where the system keeps this user's temporary files and this process's executable.
#include <string>

// The temporary folder with its trailing backslash; empty when it cannot be read whole.
std::wstring TempFolder();
// Full path of the running executable, however long; empty when it cannot be read whole.
std::wstring OwnExePath();
