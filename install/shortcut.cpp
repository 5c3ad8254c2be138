#include "install/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/ascii_names.h"
#include "common/scoped.h"
#include "common/system_paths.h"
#include "install/launch.h"
#include "install/shortcut_rules.h"

namespace {

bool CreateShellLink(ComPointer<IShellLinkW>& link) {
  return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(link.Put())));
}

bool QueryPersistFile(const ComPointer<IShellLinkW>& link, ComPointer<IPersistFile>& file) {
  return SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put())));
}

// True when the shortcut file loads and its stored target's last component is `ownFileName`.
bool ShortcutTargetsName(const std::wstring& shortcutPath, const std::wstring& ownFileName) {
  ComPointer<IShellLinkW> link;
  if (!CreateShellLink(link)) return false;
  ComPointer<IPersistFile> file;
  if (!QueryPersistFile(link, file)) return false;
  if (FAILED(file->Load(shortcutPath.c_str(), STGM_READ))) return false;
  wchar_t target[MAX_PATH] = {};
  if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK) return false;
  return EqualsIgnoringAsciiCase(PathFindFileNameW(target), ownFileName);
}

bool FindDesktopShortcut() {
  const std::wstring desktop = DesktopFolder();
  if (desktop.empty()) return false;
  WIN32_FIND_DATAW entry = {};
  const FindHandle search(FindFirstFileW((desktop + L"\\*.lnk").c_str(), &entry));
  if (!search) return false;
  const std::wstring ownFileName = OwnExeFileName();
  do {
    // Damaged files and folders named *.lnk fail to load and are passed over.
    if (ShortcutTargetsName(desktop + L"\\" + entry.cFileName, ownFileName)) return true;
  } while (FindNextFileW(search.Get(), &entry));
  return false;
}

void CreateDesktopShortcut() {
  const std::wstring desktop = DesktopFolder();
  const std::wstring exePath = OwnExePath();
  // A shortcut's target holds fewer than MAX_PATH characters: a launcher deeper than that gets none
  // rather than one that leads to a cut path.
  if (desktop.empty() || exePath.empty() || exePath.size() >= MAX_PATH) return;
  const std::wstring shortcutPath = desktop + L"\\" + kShortcutFileName;
  ComPointer<IShellLinkW> link;
  if (!CreateShellLink(link)) return;
  link->SetPath(exePath.c_str());
  link->SetDescription(kShortcutDescription);
  link->SetIconLocation(exePath.c_str(), 0);
  link->SetWorkingDirectory(WorkingDirectoryOf(exePath).c_str());
  ComPointer<IPersistFile> file;
  if (QueryPersistFile(link, file)) file->Save(shortcutPath.c_str(), TRUE);
}

}  // namespace

void ShortcutWorker() {
  const ScopedCom com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // A downloaded copy runs from under the temporary folder and must not claim the desktop.
  if (!RunsFromFolder(OwnExePath(), TempFolder())) {
    if (!FindDesktopShortcut()) CreateDesktopShortcut();
  }
}

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
    return std::wstring();
  }
  return path;
}
