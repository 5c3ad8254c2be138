// The shortcut worker run by the probe under real paths, against the prefix's real desktop,
// with every shortcut read back through the shell link object.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "common/scoped.h"
#include "install/shortcut.h"
#include "install/shortcut_rules.h"
#include "support/check.h"
#include "support/wine_support.h"

namespace {

const wchar_t kRoot[] = L"C:\\QuorvelTests\\shortcut";

struct Shortcut {
  bool loaded = false;
  std::wstring target, directory, description, arguments, iconPath;
  int iconIndex = -1;
};

// The shell link object and its file interface; both empty when either cannot be had.
struct ShellLink {
  ComPointer<IShellLinkW> link;
  ComPointer<IPersistFile> file;
  ShellLink() {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Put()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put())))) {
      file.Reset();
      link.Reset();
    }
  }
};

Shortcut ReadShortcut(const std::wstring& path) {
  Shortcut result;
  ShellLink shell;
  if (!shell.file || FAILED(shell.file->Load(path.c_str(), STGM_READ))) return result;
  IShellLinkW* link = shell.link.Get();
  wchar_t text[MAX_PATH] = {};
  result.loaded = link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK;
  result.target = text;
  text[0] = 0;
  link->GetWorkingDirectory(text, MAX_PATH);
  result.directory = text;
  text[0] = 0;
  link->GetDescription(text, MAX_PATH);
  result.description = text;
  text[0] = 0;
  link->GetArguments(text, MAX_PATH);
  result.arguments = text;
  text[0] = 0;
  link->GetIconLocation(text, MAX_PATH, &result.iconIndex);
  result.iconPath = text;
  return result;
}

bool WriteShortcut(const std::wstring& path, const std::wstring& target) {
  ShellLink shell;
  if (!shell.file) return false;
  shell.link->SetPath(target.c_str());
  return SUCCEEDED(shell.file->Save(path.c_str(), TRUE));
}

std::vector<std::wstring> DesktopEntries(const std::wstring& desktop) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry = {};
  const FindHandle search(FindFirstFileW((desktop + L"\\*").c_str(), &entry));
  if (!search) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search.Get(), &entry));
  return names;
}

// Gives each test an empty desktop and puts back whatever was there before.
struct PrivateDesktop {
  ScopedCom com{COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE};  // ends last, after the clean-up
  std::wstring folder = DesktopFolder();
  std::wstring aside = std::wstring(kRoot) + L"\\desktop aside";
  std::vector<std::wstring> moved;
  PrivateDesktop() {
    support::MakeFolders(aside);
    for (const std::wstring& name : DesktopEntries(folder)) {
      if (MoveFileW((folder + L"\\" + name).c_str(), (aside + L"\\" + name).c_str())) moved.push_back(name);
    }
  }
  ~PrivateDesktop() {
    for (const std::wstring& name : DesktopEntries(folder)) support::RemoveTree(folder + L"\\" + name);
    for (const std::wstring& name : moved) MoveFileW((aside + L"\\" + name).c_str(), (folder + L"\\" + name).c_str());
    support::RemoveTestFolder(kRoot);
  }
  PrivateDesktop(const PrivateDesktop&) = delete;
  PrivateDesktop& operator=(const PrivateDesktop&) = delete;
  std::wstring Path(const std::wstring& name) const { return folder + L"\\" + name; }
  std::wstring OurShortcut() const { return Path(kShortcutFileName); }
};

// Runs the shortcut worker in a copy of the probe at `exePath` (started as `startAs`, which may
// differ in letter case) and returns the probe's report of what it saw.
std::map<std::wstring, std::wstring> RunWorkerAs(const std::wstring& exePath, const std::wstring& startAs,
                                                 const std::wstring& modulePath = L"") {
  support::MakeFolders(exePath.substr(0, exePath.find_last_of(L'\\')));
  if (!CopyFileW(support::FromUnixPath(QUORVEL_PROBE).c_str(), exePath.c_str(), FALSE)) return {};
  const std::wstring report = std::wstring(kRoot) + L"\\report.txt";
  DeleteFileW(report.c_str());
  support::MakeFolders(kRoot);
  std::wstring command = L"\"" + startAs + L"\" shortcut \"" + report + L"\"";
  if (!modulePath.empty()) command += L" \"" + modulePath + L"\"";
  const long code = support::RunAndWait(command, 120000);
  if (code != 0) std::fprintf(stderr, "  probe %ls ended with %ld\n", startAs.c_str(), code);
  return support::ReadRecord(report, 1000);
}

std::map<std::wstring, std::wstring> RunWorkerAs(const std::wstring& exePath) { return RunWorkerAs(exePath, exePath); }

FILETIME LastWrite(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

TEST_CASE(AnEmptyDesktopGetsTheShortcutWithEveryProperty) {
  struct Row {
    std::wstring exePath;
    std::wstring directory;
  };
  const Row rows[] = {
      {std::wstring(kRoot) + L"\\Quorvel Tools\\QuorvelLauncher.exe", std::wstring(kRoot) + L"\\Quorvel Tools"},
      {L"C:\\QuorvelLauncher.exe", L"C:"},  // a drive's root keeps the text before the backslash
  };
  for (const Row& row : rows) {
    check::Scope scope(std::string(row.exePath.begin(), row.exePath.end()));
    PrivateDesktop desktop;
    support::RemovedAtEnd copy(row.exePath);
    REQUIRE(!desktop.folder.empty());
    REQUIRE(!RunWorkerAs(row.exePath).empty());
    const Shortcut written = ReadShortcut(desktop.OurShortcut());
    CHECK(written.loaded);
    CHECK_EQ(support::ToLowerAscii(written.target), support::ToLowerAscii(row.exePath));
    CHECK_EQ(support::ToLowerAscii(written.directory), support::ToLowerAscii(row.directory));
    CHECK_EQ(written.description, std::wstring(kShortcutDescription));
    CHECK_EQ(support::ToLowerAscii(written.iconPath), support::ToLowerAscii(row.exePath));
    CHECK_EQ(written.iconIndex, 0);
    CHECK_EQ(written.arguments, std::wstring());
    CHECK_EQ(DesktopEntries(desktop.folder).size(), static_cast<std::size_t>(1));

    // The next start finds its own shortcut and leaves the file alone.
    const FILETIME before = LastWrite(desktop.OurShortcut());
    Sleep(20);
    REQUIRE(!RunWorkerAs(row.exePath).empty());
    CHECK(SameTime(LastWrite(desktop.OurShortcut()), before));
  }
}

TEST_CASE(OnlyTheTargetsFileNameDecidesWhetherAShortcutExists) {
  {
    PrivateDesktop desktop;
    REQUIRE(WriteShortcut(desktop.Path(L"Tools.lnk"), L"D:\\Tools\\QUORVELLAUNCHER.EXE"));
    REQUIRE(ReadShortcut(desktop.Path(L"Tools.lnk")).loaded);
    REQUIRE(!RunWorkerAs(std::wstring(kRoot) + L"\\app\\QuorvelLauncher.exe").empty());
    CHECK(!support::Exists(desktop.OurShortcut()));
    CHECK_EQ(ReadShortcut(desktop.Path(L"Tools.lnk")).target, std::wstring(L"D:\\Tools\\QUORVELLAUNCHER.EXE"));
  }
  {
    PrivateDesktop desktop;
    REQUIRE(WriteShortcut(desktop.OurShortcut(), L"C:\\Other\\Editor.exe"));
    const std::wstring exePath = std::wstring(kRoot) + L"\\app\\QuorvelLauncher.exe";
    REQUIRE(!RunWorkerAs(exePath).empty());
    const Shortcut written = ReadShortcut(desktop.OurShortcut());
    CHECK_EQ(support::ToLowerAscii(written.target), support::ToLowerAscii(exePath));
    CHECK_EQ(written.description, std::wstring(kShortcutDescription));
  }
}

TEST_CASE(DamagedShortcutsAreSkipped) {
  const std::wstring exePath = std::wstring(kRoot) + L"\\app\\QuorvelLauncher.exe";
  {
    PrivateDesktop desktop;
    REQUIRE(support::WriteBytes(desktop.Path(L"broken.lnk"), std::string("\x4c\0\0\0garbage, not a link", 24)));
    REQUIRE(support::MakeFolders(desktop.Path(L"x.lnk")));
    REQUIRE(!RunWorkerAs(exePath).empty());
    const Shortcut written = ReadShortcut(desktop.OurShortcut());
    CHECK(written.loaded);
    CHECK_EQ(support::ToLowerAscii(written.target), support::ToLowerAscii(exePath));
  }
  {
    PrivateDesktop desktop;
    REQUIRE(support::WriteBytes(desktop.Path(L"broken.lnk"), std::string(300, '\xff')));
    REQUIRE(support::MakeFolders(desktop.Path(L"x.lnk")));
    REQUIRE(WriteShortcut(desktop.Path(L"zz other copy.lnk"), L"C:\\Elsewhere\\quorvellauncher.exe"));
    REQUIRE(!RunWorkerAs(exePath).empty());
    CHECK(!support::Exists(desktop.OurShortcut()));
  }
}

TEST_CASE(ACopyRunningFromTheTemporaryFolderWritesNothing) {
  PrivateDesktop desktop;
  wchar_t temp[MAX_PATH] = {};
  REQUIRE(GetTempPathW(MAX_PATH, temp) > 0);
  const std::wstring folder = std::wstring(temp) + L"QuorvelLauncher\\20261208T011500Z";
  const std::wstring exePath = folder + L"\\QuorvelLauncher.exe";
  support::RemovedAtEnd copy(std::wstring(temp) + L"QuorvelLauncher");
  // The copy is told its temporary folder in upper case, so the two texts differ in case only.
  std::wstring upper = temp;
  for (wchar_t& c : upper) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  wchar_t savedTmp[MAX_PATH] = {}, savedTemp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
  GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", upper.c_str());
  SetEnvironmentVariableW(L"TEMP", upper.c_str());
  auto report = RunWorkerAs(exePath);
  SetEnvironmentVariableW(L"TMP", savedTmp[0] ? savedTmp : nullptr);
  SetEnvironmentVariableW(L"TEMP", savedTemp[0] ? savedTemp : nullptr);
  REQUIRE(!report.empty());
  const std::wstring seenPath = report[L"exePath"];
  const std::wstring seenTemp = report[L"temp"];
  std::fprintf(stderr, "  worker saw %ls under %ls\n", seenPath.c_str(), seenTemp.c_str());
  CHECK(seenPath.compare(0, seenTemp.size(), seenTemp) != 0);
  CHECK_EQ(support::ToLowerAscii(seenPath.substr(0, seenTemp.size())), support::ToLowerAscii(seenTemp));
  CHECK(!support::Exists(desktop.OurShortcut()));
  CHECK(DesktopEntries(desktop.folder).empty());
}

// Wine cannot start a program this deep, so the probe runs from a short path and the loader's
// record of its module is pointed at the deep one: a 260-character buffer is then cut, the
// launcher's growing one reads it whole, and a shortcut could not hold it.
TEST_CASE(AnExecutablePathOfMaxPathOrMoreWritesNothing) {
  std::wstring folder = std::wstring(kRoot) + L"\\long";
  while (folder.size() + 20 < 280) folder += L"\\" + std::wstring(40, L'd');
  const std::wstring longPath = folder + L"\\QuorvelLauncher.exe";
  REQUIRE(longPath.size() >= MAX_PATH);
  const std::wstring exePath = std::wstring(kRoot) + L"\\app\\QuorvelLauncher.exe";
  {
    PrivateDesktop desktop;
    auto report = RunWorkerAs(exePath, exePath, longPath);
    REQUIRE(!report.empty());
    CHECK_EQ(report[L"moduleLength"], std::to_wstring(MAX_PATH));
    CHECK_EQ(report[L"exePath"], longPath);
    CHECK_EQ(report[L"exeName"], std::wstring(L"QuorvelLauncher.exe"));
    CHECK(DesktopEntries(desktop.folder).empty());
  }
  {
    // One short of the limit still counts as a path: the shortcut is written to it.
    PrivateDesktop desktop;
    const std::wstring fitting = longPath.substr(0, MAX_PATH - 1 - 4) + L".exe";
    auto report = RunWorkerAs(exePath, exePath, fitting);
    REQUIRE(!report.empty());
    CHECK_EQ(report[L"moduleLength"], std::to_wstring(MAX_PATH - 1));
    CHECK_EQ(report[L"exePath"], fitting);
    CHECK_EQ(ReadShortcut(desktop.OurShortcut()).target, fitting);
  }
}
