// The launch and shortcut decisions that need no system.
#include "common/ascii_names.h"
#include "install/launch_rules.h"
#include "install/shortcut_rules.h"
#include "support/check.h"

namespace {

std::string Narrow(const std::wstring& text) { return check::Show(text); }

}  // namespace

TEST_CASE(NamesFoldOnlyTheAsciiLetters) {
  struct Row {
    const wchar_t* left;
    const wchar_t* right;
    bool equal;
  };
  const Row rows[] = {
      {L"QuorvelLauncher.exe", L"quorvellauncher.EXE", true},
      {L"", L"", true},
      {L"QuorvelLauncher.exe", L"QuorvelLauncher.ex", false},
      {L"QuorvelLauncher.exe", L"QuorvelLauncher.exe ", false},
      {L"\u00C9t\u00E9.exe", L"\u00E9t\u00E9.exe", false},  // accented capital and small letter differ
      {L"\u00E9", L"\u00E9", true},
      {L"[x]", L"{x}", false},  // a 0x20 bit trick would fold these
      {L"@", L"`", false},
      {L"k", L"\u212A", false},  // Kelvin sign folds to k only under Unicode rules
      {L"i", L"\u0130", false},  // dotted capital I, no locale
      {L"Z", L"z", true},
      {L"A", L"a", true},
  };
  for (const Row& row : rows) {
    check::Scope scope(Narrow(row.left) + " vs " + Narrow(row.right));
    CHECK_EQ(EqualsIgnoringAsciiCase(row.left, row.right), row.equal);
    CHECK_EQ(EqualsIgnoringAsciiCase(row.right, row.left), row.equal);
  }
}

TEST_CASE(TheTemporaryFolderTestComparesTextOnly) {
  const std::wstring temp = L"C:\\Users\\Bob\\AppData\\Local\\Temp\\";
  struct Row {
    const wchar_t* exePath;
    const wchar_t* folder;
    bool under;
  };
  const Row rows[] = {
      {L"C:\\Users\\Bob\\AppData\\Local\\Temp\\QuorvelLauncher\\20261208T011500Z_QuorvelLauncher.exe", temp.c_str(),
       true},
      {L"c:\\users\\BOB\\appdata\\local\\TEMP\\QuorvelLauncher\\x.exe", temp.c_str(), true},
      {L"C:\\Users\\Bob\\AppData\\Local\\Temp\\", temp.c_str(), true},
      {L"C:\\Users\\Bob\\AppData\\Local\\Temp", temp.c_str(), false},           // shorter than the folder
      {L"C:\\Users\\BOB~1\\AppData\\Local\\Temp\\x.exe", temp.c_str(), false},  // short forms are not resolved
      {L"D:\\Tools\\QuorvelLauncher.exe", temp.c_str(), false},
      {L"", temp.c_str(), false},
      {L"C:\\Tools\\QuorvelLauncher.exe", L"", false},  // folder unavailable
  };
  for (const Row& row : rows) {
    check::Scope scope(Narrow(row.exePath) + " in " + Narrow(row.folder));
    CHECK_EQ(RunsFromFolder(row.exePath, row.folder), row.under);
  }
  CHECK(!StartsWithIgnoringAsciiCase(L"abc", L""));
  CHECK(StartsWithIgnoringAsciiCase(L"ABCdef", L"abc"));
  CHECK(!StartsWithIgnoringAsciiCase(L"ab", L"abc"));
}

TEST_CASE(TheLauncherAssumesItsOwnNameWhenItCannotReadIt) {
  CHECK_EQ(std::wstring(kFallbackExeFileName), std::wstring(L"QuorvelLauncher.exe"));
}

TEST_CASE(CommandTextsQuoteThePath) {
  CHECK_EQ(MsiexecParameters(L"C:\\Users\\Bob\\Temp\\Quorvel Setup.msi"),
           std::wstring(L"/i \"C:\\Users\\Bob\\Temp\\Quorvel Setup.msi\""));
  CHECK_EQ(RelaunchCommandLine(L"C:\\Windows\\system32\\cmd.exe", L"C:\\T\\x.exe"),
           std::wstring(L"\"C:\\Windows\\system32\\cmd.exe\" /d /c \"ping -n 2 127.0.0.1 > nul && start \"\" "
                        L"\"C:\\T\\x.exe\"\""));
  CHECK_EQ(
      RelaunchCommandLine(L"D:\\Win Dows\\system32\\cmd.exe", L"C:\\My Temp\\20261208T011500Z_QuorvelLauncher.exe"),
      std::wstring(L"\"D:\\Win Dows\\system32\\cmd.exe\" /d /c \"ping -n 2 127.0.0.1 > nul && start \"\" "
                   L"\"C:\\My Temp\\20261208T011500Z_QuorvelLauncher.exe\"\""));
}

TEST_CASE(TheShortcutStartsInTheExecutablesFolder) {
  struct Row {
    const wchar_t* exePath;
    const wchar_t* directory;
  };
  const Row rows[] = {
      {L"C:\\Program Files\\Quorvel\\QuorvelLauncher.exe", L"C:\\Program Files\\Quorvel"},
      {L"C:\\QuorvelLauncher.exe", L"C:"},
      {L"C:/Tools/QuorvelLauncher.exe", L"C:/Tools"},
      {L"C:\\a/b\\QuorvelLauncher.exe", L"C:\\a/b"},
      {L"C:\\a\\b/QuorvelLauncher.exe", L"C:\\a\\b"},
      {L"\\\\server\\share\\QuorvelLauncher.exe", L"\\\\server\\share"},
      {L"QuorvelLauncher.exe", L"QuorvelLauncher.exe"},
      {L"", L""},
  };
  for (const Row& row : rows) {
    check::Scope scope(Narrow(row.exePath));
    CHECK_EQ(WorkingDirectoryOf(row.exePath), std::wstring(row.directory));
  }
  CHECK_EQ(std::wstring(kShortcutFileName), std::wstring(L"Quorvel Launcher.lnk"));
  CHECK_EQ(std::wstring(kShortcutDescription),
           std::wstring(L"Quorvel Launcher \u2014 download and install Quorvel software"));
}
