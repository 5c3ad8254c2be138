#include "install/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "install/ascii_names.h"
#include "install/launch.h"
#include "install/shortcut_rules.h"

namespace {

// Holds one COM interface and releases it when the step that obtained it ends.
template <typename Interface>
struct ComReference {
  Interface* pointer = nullptr;
  ComReference() = default;
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  ~ComReference() {
    if (pointer) pointer->Release();
  }
  void** Out() { return reinterpret_cast<void**>(&pointer); }
};

struct FindHandle {
  HANDLE handle;
  explicit FindHandle(HANDLE h) : handle(h) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

std::wstring TempFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}

bool CreateShellLink(ComReference<IShellLinkW>& link) {
  return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out()));
}

// True when the shortcut file loads and its stored target's last component is `ownFileName`.
bool ShortcutTargetsName(const std::wstring& shortcutPath, const std::wstring& ownFileName) {
  ComReference<IShellLinkW> link;
  if (!CreateShellLink(link)) return false;
  ComReference<IPersistFile> file;
  if (FAILED(link.pointer->QueryInterface(IID_IPersistFile, file.Out()))) return false;
  if (FAILED(file.pointer->Load(shortcutPath.c_str(), STGM_READ))) return false;
  wchar_t target[MAX_PATH] = {};
  if (link.pointer->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK) return false;
  return EqualsIgnoringAsciiCase(PathFindFileNameW(target), ownFileName);
}

}  // namespace

void ShortcutWorker() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // A downloaded copy runs from under the temporary folder and must not claim the desktop.
  if (!RunsFromFolder(OwnExePath(), TempFolder())) {
    if (!FindDesktopShortcut()) CreateDesktopShortcut();
  }
  if (com == S_OK || com == S_FALSE) CoUninitialize();
}

std::wstring OwnExePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
    return std::wstring();
  }
  return path;
}

bool FindDesktopShortcut() {
  const std::wstring desktop = DesktopFolder();
  if (desktop.empty()) return false;
  WIN32_FIND_DATAW entry = {};
  FindHandle search(FindFirstFileW((desktop + L"\\*.lnk").c_str(), &entry));
  if (search.handle == INVALID_HANDLE_VALUE) return false;
  const std::wstring ownFileName = OwnExeFileName();
  do {
    // Damaged files and folders named *.lnk fail to load and are passed over.
    if (ShortcutTargetsName(desktop + L"\\" + entry.cFileName, ownFileName)) return true;
  } while (FindNextFileW(search.handle, &entry));
  return false;
}

void CreateDesktopShortcut() {
  const std::wstring desktop = DesktopFolder();
  const std::wstring exePath = OwnExePath();
  if (desktop.empty() || exePath.empty()) return;
  const std::wstring shortcutPath = desktop + L"\\" + kShortcutFileName;
  ComReference<IShellLinkW> link;
  if (!CreateShellLink(link)) return;
  link.pointer->SetPath(exePath.c_str());
  link.pointer->SetDescription(kShortcutDescription);
  link.pointer->SetIconLocation(exePath.c_str(), 0);
  link.pointer->SetWorkingDirectory(WorkingDirectoryOf(exePath).c_str());
  ComReference<IPersistFile> file;
  if (SUCCEEDED(link.pointer->QueryInterface(IID_IPersistFile, file.Out()))) {
    file.pointer->Save(shortcutPath.c_str(), TRUE);
  }
}
