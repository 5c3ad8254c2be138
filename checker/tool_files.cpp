#include "checker/tool_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "checker/check_report.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct FileCloser {
  FILE* file;
  bool owned;
  ~FileCloser() {
    if (owned && file) std::fclose(file);
  }
};

// The folder part of path (with its separator) and the name after it.
void SplitPath(const ToolPath& path, ToolPath& folder, ToolPath& name) {
#ifdef _WIN32
  const size_t cut = path.find_last_of(L"\\/:");
#else
  const size_t cut = path.rfind('/');
#endif
  folder = cut == ToolPath::npos ? ToolPath() : path.substr(0, cut + 1);
  name = cut == ToolPath::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string PrintablePath(const ToolPath& path) {
#ifdef _WIN32
  return WideToUtf8(path);
#else
  return path;
#endif
}

bool ReadWholeFile(const ToolPath& path, size_t limit, std::string& bytes, std::string& error) {
  const bool fromStdin = path == TOOL_TEXT("-");
#ifdef _WIN32
  if (fromStdin) _setmode(_fileno(stdin), _O_BINARY);
  FileCloser input{fromStdin ? stdin : _wfopen(path.c_str(), L"rb"), !fromStdin};
#else
  FileCloser input{fromStdin ? stdin : std::fopen(path.c_str(), "rb"), !fromStdin};
#endif
  if (!input.file) {
    error = "cannot open " + PrintablePath(path) + ": " + std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  while (bytes.size() <= limit) {
    const size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
    const size_t got = std::fread(buffer, 1, want, input.file);
    bytes.append(buffer, got);
    if (got < want) break;
  }
  if (std::ferror(input.file)) {
    error = "cannot read " + (fromStdin ? std::string("standard input") : PrintablePath(path));
    return false;
  }
  return true;
}

bool WriteOutputFile(const ToolPath& path, const std::string& bytes, std::string& error) {
  ToolPath folder, name;
  SplitPath(path, folder, name);
  if (name.empty()) {
    error = "cannot write " + PrintablePath(path) + ": it names a folder";
    return false;
  }
#ifdef _WIN32
  const std::wstring temporary = folder + L"." + name + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot create " + WideToUtf8(temporary) + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  DWORD written = 0;
  const bool wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size() && FlushFileBuffers(file);
  DWORD code = GetLastError();
  CloseHandle(file);
  if (wrote && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (wrote) code = GetLastError();
  DeleteFileW(temporary.c_str());
  error = "cannot write " + WideToUtf8(path) + " (error " + std::to_string(code) + ")";
  return false;
#else
  std::string temporary = folder + "." + name + ".XXXXXX";
  const int file = mkstemp(&temporary[0]);
  if (file < 0) {
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  const mode_t mask = umask(0);
  umask(mask);
  bool wrote = fchmod(file, 0666 & ~mask) == 0;
  for (size_t done = 0; wrote && done < bytes.size();) {
    const ssize_t got = write(file, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    wrote = got > 0;
    if (wrote) done += static_cast<size_t>(got);
  }
  wrote = wrote && fsync(file) == 0;
  const int code = errno;
  wrote = close(file) == 0 && wrote;
  if (wrote && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = "cannot write " + path + ": " + std::strerror(wrote ? errno : code);
  unlink(temporary.c_str());
  return false;
#endif
}
