#include "net/download_folder.h"

#include <sddl.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/ascii_names.h"
#include "common/system_paths.h"
#include "trust/file_name.h"

namespace {

constexpr wchar_t kDownloadsFolderName[] = L"QuorvelLauncher";
constexpr int kFolderNameDraws = 16;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr uint64_t kKeptForSeconds = 24 * 60 * 60;
// Listing a folder; the download's own is held to set its access list too, and the clearing
// deletes. Never more: a locked folder gives its owner no right to change its access list.
constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kOwnFolderAccess = kListAccess | WRITE_DAC;
constexpr DWORD kClearAccess = kListAccess | DELETE;
// Reading, starting and deleting; for a folder also listing it and deleting what it holds.
constexpr DWORD kReadAndDelete = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | DELETE;
constexpr DWORD kFolderReadAndDelete = kReadAndDelete | FILE_DELETE_CHILD;

std::wstring DownloadsRoot() {
  const std::wstring temp = TempFolder();
  return temp.empty() ? temp : temp + kDownloadsFolderName;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t FileTimeValue(const LARGE_INTEGER& time) { return static_cast<uint64_t>(time.QuadPart); }

// One entry of a folder's listing, read through the folder's handle.
struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
  uint64_t id = 0;
  uint64_t created = 0;
  uint64_t written = 0;
};

// A folder held open without delete sharing, with the path it was opened by and the path the
// system gives for the handle, which no link can fake.
struct HeldFolder {
  FileHandle handle;
  std::wstring path;
  std::wstring finalPath;
};

// The entries of a held folder, without "." and "..", read whole before anything in it changes.
bool ListFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::vector<LONGLONG> buffer(8192);  // 64 KiB, aligned for the records
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, request, buffer.data(), size))
      return GetLastError() == ERROR_NO_MORE_FILES;
    request = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      FolderEntry entry;
      entry.name.assign(record->FileName, record->FileNameLength / sizeof(wchar_t));
      entry.attributes = record->FileAttributes;
      entry.id = static_cast<uint64_t>(record->FileId.QuadPart);
      entry.created = FileTimeValue(record->CreationTime);
      entry.written = FileTimeValue(record->LastWriteTime);
      if (entry.name != L"." && entry.name != L"..") entries.push_back(entry);
      if (record->NextEntryOffset == 0) break;
      bytes += record->NextEntryOffset;
    }
  }
}

bool IsEmptyFolder(HANDLE folder) {
  std::vector<FolderEntry> entries;
  return ListFolder(folder, entries) && entries.empty();
}

bool FinalPath(HANDLE handle, std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return false;
    if (length < buffer.size()) {
      path.assign(buffer.data(), length);
      return true;
    }
    buffer.resize(length + 1);
  }
}

// Opens what is at `path` itself: a link there is opened as the link, never followed. Others may
// read and write but not delete, so while it is open it stays where it is.
FileHandle OpenInPlace(const std::wstring& path, DWORD access) {
  return FileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The handle is to a file or folder as asked, not to a link or any other reparse point, and it is
// the entry `name` of the folder whose system path is `parentFinalPath`: a link the file system
// follows regardless (Wine's, for one) shows there as a path elsewhere.
bool IsPlainEntry(HANDLE handle, bool folder, const std::wstring& parentFinalPath, const std::wstring& name) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  std::wstring finalPath;
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder || !FinalPath(handle, finalPath)) {
    return false;
  }
  return EqualsIgnoringAsciiCase(finalPath, parentFinalPath + L"\\" + name);
}

uint64_t FileIndex(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(handle, &information)) return 0;
  return (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
}

// Opens the folder `name` in `parent` and holds it, when it is a plain folder in its place.
bool OpenFolderIn(const HeldFolder& parent, const std::wstring& name, DWORD access, HeldFolder& folder) {
  folder.path = parent.path + L"\\" + name;
  folder.handle = OpenInPlace(folder.path, access);
  return folder.handle && IsPlainEntry(folder.handle.Get(), true, parent.finalPath, name) &&
         FinalPath(folder.handle.Get(), folder.finalPath);
}

// Opens an entry of `parent`'s listing, when it is still that very file or folder, in its place.
FileHandle OpenListedEntry(const HeldFolder& parent, const FolderEntry& entry, DWORD access) {
  FileHandle handle = OpenInPlace(parent.path + L"\\" + entry.name, access);
  const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!handle || !IsPlainEntry(handle.Get(), folder, parent.finalPath, entry.name) ||
      FileIndex(handle.Get()) != entry.id)
    return FileHandle();
  return handle;
}

// %TEMP%\QuorvelLauncher, held, when it is a plain folder inside the temporary folder.
bool OpenDownloadsRoot(DWORD access, HeldFolder& root) {
  HeldFolder temp;
  temp.path = TempFolder();
  if (temp.path.empty()) return false;
  // The temporary folder itself may be a link the user made; what counts is where it leads.
  temp.handle.Reset(CreateFileW(temp.path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  temp.path.pop_back();  // its trailing backslash: the entries' paths add their own
  return temp.handle && FinalPath(temp.handle.Get(), temp.finalPath) &&
         OpenFolderIn(temp, kDownloadsFolderName, access, root);
}

// Deletes what a held folder holds, depth first, then the folder itself when that emptied it.
// Links and anything that is not where the listing put it stay, and so do the folders above them.
void RemoveFolderTree(HeldFolder& folder) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder.handle.Get(), entries)) return;
  for (const FolderEntry& entry : entries) {
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      HeldFolder child;
      child.handle = OpenListedEntry(folder, entry, kClearAccess);
      child.path = folder.path + L"\\" + entry.name;
      if (child.handle && FinalPath(child.handle.Get(), child.finalPath)) RemoveFolderTree(child);
    } else if (FileHandle file = OpenListedEntry(folder, entry, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE)) {
      MarkForDeletion(file.Get(), true);
    }
  }
  MarkForDeletion(folder.handle.Get(), true);
  folder.handle.Reset();
}

std::wstring CurrentUserSid() {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return std::wstring();
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return std::wstring();
  LocalMemory<wchar_t> text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.Put()))
    return std::wstring();
  return text.Get();
}

std::wstring HexMask(DWORD mask) {
  wchar_t text[16] = {};
  wsprintfW(text, L"0x%x", mask);
  return text;
}

// A protected access list: `userAccess` for the user and for whoever owns the object (OWNER RIGHTS,
// which takes the place of the owner's implicit right to change the list), full access for SYSTEM
// and the Administrators. `inherited` passes the entries on to what a folder will hold.
bool MakeDescriptor(DWORD userAccess, bool inherited, LocalMemory<void>& descriptor) {
  const std::wstring sid = CurrentUserSid();
  if (sid.empty()) return false;
  const std::wstring flags = inherited ? L"OICI" : L"";
  const std::wstring access = userAccess == FILE_ALL_ACCESS ? L"FA" : HexMask(userAccess);
  const std::wstring sddl = L"D:P(A;" + flags + L";" + access + L";;;" + sid + L")(A;" + flags + L";" + access +
                            L";;;OW)(A;" + flags + L";FA;;;SY)(A;" + flags + L";FA;;;BA)";
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.Put(),
                                                              nullptr) != FALSE;
}

// Sets the object's access list through its handle alone: nothing is looked up by path, and
// nothing it holds is touched.
bool SetAccessList(HANDLE object, DWORD userAccess, bool inherited, DWORD& error) {
  LocalMemory<void> descriptor;
  if (!MakeDescriptor(userAccess, inherited, descriptor) ||
      !SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               descriptor.Get())) {
    error = GetLastError();
    return false;
  }
  return true;
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

// Old when written before the cut-off, or when its name's stamp says it was made before it.
bool IsOlderThan(const FolderEntry& entry, uint64_t cutoff) {
  if (entry.written < cutoff) return true;
  StampTime stamp;
  if (!ParseDownloadStamp(entry.name, stamp)) return false;
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

uint64_t ProcessStartTime() {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  return GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user) ? FileTimeValue(created) : 0;
}

}  // namespace

bool MarkForDeletion(HANDLE handle, bool remove) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool MakeDownloadFolder(DownloadFolder& folder, DWORD& error) {
  const std::wstring rootPath = DownloadsRoot();
  if (rootPath.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryW(rootPath.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = GetLastError();
    return false;
  }
  HeldFolder root;
  if (!OpenDownloadsRoot(kListAccess, root)) {
    error = ERROR_DIRECTORY;
    return false;
  }
  LocalMemory<void> descriptor;
  if (!MakeDescriptor(FILE_ALL_ACCESS, true, descriptor)) {
    error = GetLastError();
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.Get();
  attributes.bInheritHandle = FALSE;
  const StampTime stamp = UtcNowStamp();
  for (int draw = 0; draw < kFolderNameDraws; ++draw) {
    const std::wstring name = FormatDownloadFolderName(stamp, DrawFolderNumber());
    // Only a folder this call creates is used: one that is there already may hold planted files.
    if (!CreateDirectoryW((rootPath + L"\\" + name).c_str(), &attributes)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      error = GetLastError();
      return false;
    }
    // Win32 creates no folder and hands back its handle in one step: what is opened by the name a
    // moment later must still be a plain, empty folder in its place, and it is given the private
    // access list again through the handle, so it is the folder made here in all that matters.
    HeldFolder made;
    if (!OpenFolderIn(root, name, kOwnFolderAccess, made) || !IsEmptyFolder(made.handle.Get())) {
      error = ERROR_DIRECTORY;
      return false;
    }
    if (!SetAccessList(made.handle.Get(), FILE_ALL_ACCESS, true, error)) return false;
    folder.root = std::move(root.handle);
    folder.handle = std::move(made.handle);
    folder.path = made.path + L"\\";
    return true;
  }
  error = ERROR_ALREADY_EXISTS;
  return false;
}

bool LockDownloadedFile(HANDLE file, DWORD& error) { return SetAccessList(file, kReadAndDelete, false, error); }

bool LockDownloadFolder(const DownloadFolder& folder, DWORD& error) {
  return SetAccessList(folder.handle.Get(), kFolderReadAndDelete, false, error);
}

bool FolderHoldsOnly(const DownloadFolder& folder, const std::wstring& filePath) {
  // Listed through a handle of its own: a listing once read is not read again through the same
  // handle everywhere (Wine keeps the first). Held as it is, the folder is still at its path; the
  // new handle must be to that very folder.
  FileHandle lister = OpenInPlace(folder.path.substr(0, folder.path.size() - 1), kListAccess);
  std::vector<FolderEntry> entries;
  if (!lister || !StartsWithIgnoringAsciiCase(filePath, folder.path) ||
      FileIndex(lister.Get()) != FileIndex(folder.handle.Get()) || !ListFolder(lister.Get(), entries)) {
    return false;
  }
  return entries.size() == 1 && entries[0].name == filePath.substr(folder.path.size());
}

void ClearOldDownloads() {
  HeldFolder root;
  std::vector<FolderEntry> entries;
  if (!OpenDownloadsRoot(kListAccess, root) || !ListFolder(root.handle.Get(), entries)) return;
  const std::wstring ownPath = OwnExePath();
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  const uint64_t cutoff = FileTimeValue(now) - kKeptForSeconds * kFileTimeUnitsPerSecond;
  const uint64_t started = ProcessStartTime();
  for (const FolderEntry& entry : entries) {
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const std::wstring path = root.path + L"\\" + entry.name;
    const bool old = IsOlderThan(entry, cutoff);
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (StartsWithIgnoringAsciiCase(ownPath, path + L"\\")) continue;
      HeldFolder folder;
      folder.handle = OpenListedEntry(root, entry, kClearAccess);
      folder.path = path;
      if (!folder.handle || !FinalPath(folder.handle.Get(), folder.finalPath)) continue;
      // A download that never finished leaves its folder empty; one this process has just made is
      // held by it, and made after it started.
      if (old || (entry.created < started && IsEmptyFolder(folder.handle.Get()))) RemoveFolderTree(folder);
    } else if (old && !EqualsIgnoringAsciiCase(ownPath, path)) {
      if (FileHandle file = OpenListedEntry(root, entry, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE))
        MarkForDeletion(file.Get(), true);
    }
  }
}
