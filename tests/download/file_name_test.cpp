#include <cstdint>
#include <string>

#include "support/check.h"
#include "trust/file_name.h"

TEST_CASE(FolderNamesAreTheZeroPaddedUtcStampAndEightHexDigits) {
  struct Row {
    StampTime time;
    uint32_t random;
    const wchar_t* expected;
  };
  const Row rows[] = {
      {{2026, 5, 25, 10, 14, 1}, 0x1a2bu, L"20260525_101401-00001a2b"},
      {{2026, 12, 31, 23, 59, 59}, 0xffffffffu, L"20261231_235959-ffffffff"},
      {{1601, 1, 1, 0, 0, 0}, 0, L"16010101_000000-00000000"},
      {{30827, 12, 31, 23, 59, 59}, 7, L"308271231_235959-00000007"},  // widest SYSTEMTIME year is not cut
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.expected)));
    CHECK_EQ(FormatDownloadFolderName(row.time, row.random), std::wstring(row.expected));
  }
}

TEST_CASE(StampsAreReadBackFromFolderAndOldFlatFileNames) {
  struct Row {
    const wchar_t* name;
    bool read;
    StampTime time;
  };
  const Row rows[] = {
      {L"20260525_101401-00001a2b", true, {2026, 5, 25, 10, 14, 1}},
      {L"20261208_235959_Setup.msi", true, {2026, 12, 8, 23, 59, 59}},  // the older flat layout
      {L"20261208_235959", true, {2026, 12, 8, 23, 59, 59}},
      {L"2026120_235959-00000000", false, {}},
      {L"20261308_000000-00000000", false, {}},  // month 13
      {L"20261208-000000", false, {}},
      {L"20261208_2400001", false, {}},
      {L"Setup.msi", false, {}},
      {L"", false, {}},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.name));
    StampTime time;
    CHECK_EQ(ParseDownloadStamp(row.name, time), row.read);
    if (row.read) {
      CHECK_EQ(FormatDownloadFolderName(time, 0).substr(0, 15), FormatDownloadFolderName(row.time, 0).substr(0, 15));
    }
  }
}

TEST_CASE(ForbiddenCharactersAndNulBecomeUnderscores) {
  struct Row {
    std::wstring name;
    std::wstring expected;
  };
  const Row rows[] = {
      {L"Setup.msi", L"Setup.msi"},
      {L"a/b:c?.msi", L"a_b_c_.msi"},
      {L"\"*/:<>?\\|", L"_________"},
      {L"", L""},
      {std::wstring(L"evil.msi\0.txt", 13), L"evil.msi_.txt"},
      {std::wstring(L"\0", 1), L"_"},
      // Spaces, dots, other controls and non-ASCII pass unchanged; nothing is trimmed or shortened here.
      {L" lead and trail. ", L" lead and trail. "},
      {L"tab\there\x01\x1f", L"tab\there\x01\x1f"},
      {L"Gr\u00fc\u00dfe \u2014 \u65e5\u672c.exe", L"Gr\u00fc\u00dfe \u2014 \u65e5\u672c.exe"},
      {L"\xd83d\xde00.zip", L"\xd83d\xde00.zip"},
      {std::wstring(300, L'x'), std::wstring(300, L'x')},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.name));
    CHECK_EQ(SanitizeFileName(row.name), row.expected);
  }
}

// The saved name drops what Windows drops; its extension and the hiding characters decide what the
// list shows and what runs.
TEST_CASE(SavedNamesTheirExtensionsAndHidingCharacters) {
  struct Row {
    std::wstring name;
    std::wstring saved;
    std::wstring extension;
    bool hides;
  };
  const Row rows[] = {
      {L"Setup.msi", L"Setup.msi", L".msi", false},
      {L"Release notes.txt          .exe", L"Release notes.txt          .exe", L".exe", false},
      {L"Tool.exe. . .", L"Tool.exe", L".exe", false},
      {L"Tool.exe   ", L"Tool.exe", L".exe", false},
      {L"notes.js.txt", L"notes.js.txt", L".txt", false},
      {L"Tool", L"Tool", L"", false},
      {L". .", L"", L"", false},
      {L".exe", L".exe", L".exe", false},
      {L"Gr\u00fc\u00dfe \u2014 \u65e5\u672c.exe", L"Gr\u00fc\u00dfe \u2014 \u65e5\u672c.exe", L".exe", false},
      {L"invoice_2026\u202etxt.exe", L"invoice_2026\u202etxt.exe", L".exe", true},
      {std::wstring(L"Quorvel Setup 2.1.msi\0.exe", 26), L"Quorvel Setup 2.1.msi_.exe", L".exe", true},
      {L"tab\tname.msi", L"tab\tname.msi", L".msi", true},
      {L"a\x1f.msi", L"a\x1f.msi", L".msi", true},
      {L"del\x7f.msi", L"del\x7f.msi", L".msi", true},
      {L"c1\x85\x9f.msi", L"c1\x85\x9f.msi", L".msi", true},
      {L"alm\u061c.msi", L"alm\u061c.msi", L".msi", true},
      {L"zw\u200b\u200f.msi", L"zw\u200b\u200f.msi", L".msi", true},
      {L"embed\u202a.msi", L"embed\u202a.msi", L".msi", true},
      {L"join\u2060\u2064.msi", L"join\u2060\u2064.msi", L".msi", true},
      {L"iso\u2066\u2069.msi", L"iso\u2066\u2069.msi", L".msi", true},
      {L"\ufeffbom.msi", L"\ufeffbom.msi", L".msi", true},
      // Neighbours of the ranges are ordinary characters.
      {L"nb\u00a0\u061b\u200a\u2010\u2029\u202f\u2065\u206a.msi",
       L"nb\u00a0\u061b\u200a\u2010\u2029\u202f\u2065\u206a.msi", L".msi", false},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.name));
    const std::wstring saved = SavedFileName(row.name);
    CHECK_EQ(saved, row.saved);
    CHECK_EQ(FileExtension(saved), row.extension);
    CHECK_EQ(HidesCharacters(row.name), row.hides);
    const std::wstring shown = DisplayFileName(row.name);
    CHECK_EQ(shown.size(), row.name.size());
    CHECK_EQ(HidesCharacters(shown), false);
    CHECK_EQ(shown.find(L'\xFFFD') != std::wstring::npos, row.hides);
  }
}
