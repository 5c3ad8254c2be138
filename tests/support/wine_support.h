#pragma once
// Files, folders, processes and records of the tests that run under Wine.
#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace support {

// A Unix path of the build (a CMake target file) as Wine's Z: drive shows it.
std::wstring FromUnixPath(const char* unixPath);
// Waits for `done` by polling every 50 ms; false once `timeoutMs` have passed without it.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs);
bool MakeFolders(const std::wstring& path);
// Removes a file or a folder with everything inside it; a missing one is fine.
void RemoveTree(const std::wstring& path);
// Removes a test's own folder, and its parent too once that is left empty.
void RemoveTestFolder(const std::wstring& path);
// Removes a file or folder tree when the test that made it ends, however it ends.
struct RemovedAtEnd {
  std::wstring path;
  bool testFolder;
  explicit RemovedAtEnd(std::wstring p, bool isTestFolder = false) : path(std::move(p)), testFolder(isTestFolder) {}
  ~RemovedAtEnd() { testFolder ? RemoveTestFolder(path) : RemoveTree(path); }
  RemovedAtEnd(const RemovedAtEnd&) = delete;
  RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;
};
bool Exists(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file, or empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
// Starts `commandLine` and waits for it; the exit code, or -1 when it could not start or hung.
// `application`, when given, names the program file itself (needed for paths the command line cannot carry).
long RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, const wchar_t* application = nullptr);
// Reads a recorder or probe record ("key=value" UTF-16 lines) once it can be read; empty on time-out.
std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path, DWORD timeoutMs);
// Writes such a record whole: aside first, then renamed over `path`.
bool WriteRecord(const std::wstring& path, const std::map<std::wstring, std::wstring>& record);
std::wstring ToLowerAscii(std::wstring text);
// FILETIME ticks (100 ns) of now, as the recorder writes them.
unsigned long long NowTicks();

}  // namespace support
