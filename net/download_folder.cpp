#include "net/download_folder.h"

#include <sddl.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/ascii_names.h"
#include "common/scoped.h"
#include "common/system_paths.h"
#include "trust/file_name.h"

namespace {

constexpr wchar_t kDownloadsFolderName[] = L"QuorvelLauncher";
constexpr int kFolderNameDraws = 16;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr uint64_t kKeptForSeconds = 24 * 60 * 60;

std::wstring DownloadsRoot() {
  const std::wstring temp = TempFolder();
  return temp.empty() ? temp : temp + kDownloadsFolderName;
}

// A folder that is itself a folder: not a file, and not a link or junction leading elsewhere.
bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The running user's SID as text, for the folder's access list.
bool CurrentUserSid(std::wstring& sid) {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
  LocalMemory<wchar_t> text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.Put())) return false;
  sid = text.Get();
  return true;
}

// Full access for the user, SYSTEM and the Administrators, inherited by what the folder holds; "P"
// keeps the temporary folder's own entries out.
bool MakePrivateDescriptor(LocalMemory<void>& descriptor) {
  std::wstring sid;
  if (!CurrentUserSid(sid)) return false;
  const std::wstring sddl = L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.Put(),
                                                              nullptr) != FALSE;
}

uint32_t DrawFolderNumber() {
  try {
    std::random_device device;
    return static_cast<uint32_t>(device());
  } catch (const std::exception&) {
    // The number only spreads names; a taken name is drawn again, so a weak one still works.
    return static_cast<uint32_t>(GetTickCount64() * 2654435761u) ^ GetCurrentProcessId();
  }
}

StampTime UtcNowStamp() {
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  StampTime stamp;
  stamp.year = now.wYear;
  stamp.month = now.wMonth;
  stamp.day = now.wDay;
  stamp.hour = now.wHour;
  stamp.minute = now.wMinute;
  stamp.second = now.wSecond;
  return stamp;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Old when written before the cut-off, or when its name's stamp says it was made before it.
bool IsOlderThan(const WIN32_FIND_DATAW& found, uint64_t cutoff) {
  if (FileTimeValue(found.ftLastWriteTime) < cutoff) return true;
  StampTime stamp;
  if (!ParseDownloadStamp(found.cFileName, stamp)) return false;
  SYSTEMTIME made = {};
  made.wYear = static_cast<WORD>(stamp.year);
  made.wMonth = static_cast<WORD>(stamp.month);
  made.wDay = static_cast<WORD>(stamp.day);
  made.wHour = static_cast<WORD>(stamp.hour);
  made.wMinute = static_cast<WORD>(stamp.minute);
  made.wSecond = static_cast<WORD>(stamp.second);
  FILETIME madeTime = {};
  return SystemTimeToFileTime(&made, &madeTime) && FileTimeValue(madeTime) < cutoff;
}

// The entries of folder, without "." and "..", read whole before anything in it changes.
std::vector<WIN32_FIND_DATAW> ListFolder(const std::wstring& folder) {
  std::vector<WIN32_FIND_DATAW> entries;
  WIN32_FIND_DATAW found = {};
  FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back(found);
  } while (FindNextFileW(find.Get(), &found));
  return entries;
}

// Deletes folder and what it holds, depth first. A link inside is left as it is (never followed),
// and so is anything in use; the folders above it then stay too.
void RemoveFolderTree(const std::wstring& folder) {
  for (const WIN32_FIND_DATAW& found : ListFolder(folder)) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const std::wstring path = folder + L"\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveFolderTree(path);
    } else {
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool MakeDownloadFolder(std::wstring& folder, DWORD& error) {
  const std::wstring root = DownloadsRoot();
  if (root.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = GetLastError();
    return false;
  }
  if (!IsPlainFolder(GetFileAttributesW(root.c_str()))) {
    error = ERROR_DIRECTORY;
    return false;
  }
  LocalMemory<void> descriptor;
  if (!MakePrivateDescriptor(descriptor)) {
    error = GetLastError();
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.Get();
  attributes.bInheritHandle = FALSE;
  const StampTime stamp = UtcNowStamp();
  for (int draw = 0; draw < kFolderNameDraws; ++draw) {
    const std::wstring candidate = root + L"\\" + FormatDownloadFolderName(stamp, DrawFolderNumber());
    // Only a folder this call creates is used: one that is there already may hold planted files.
    if (CreateDirectoryW(candidate.c_str(), &attributes)) {
      folder = candidate + L"\\";
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      error = GetLastError();
      return false;
    }
  }
  error = ERROR_ALREADY_EXISTS;
  return false;
}

void ClearOldDownloads() {
  const std::wstring root = DownloadsRoot();
  if (root.empty() || !IsPlainFolder(GetFileAttributesW(root.c_str()))) return;
  const std::wstring ownPath = OwnExePath();
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  const uint64_t cutoff = FileTimeValue(now) - kKeptForSeconds * kFileTimeUnitsPerSecond;
  for (const WIN32_FIND_DATAW& found : ListFolder(root)) {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsOlderThan(found, cutoff)) continue;
    const std::wstring path = root + L"\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!StartsWithIgnoringAsciiCase(ownPath, path + L"\\")) RemoveFolderTree(path);
    } else if (!EqualsIgnoringAsciiCase(ownPath, path)) {
      DeleteFileW(path.c_str());
    }
  }
}
