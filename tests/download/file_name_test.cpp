#include <string>

#include "net/file_name.h"
#include "support/check.h"

TEST_CASE(StampIsSixteenCharactersOfZeroPaddedUtcFields) {
  struct Row {
    StampTime time;
    const wchar_t* expected;
  };
  const Row rows[] = {
      {{2026, 5, 25, 10, 14, 1}, L"20260525_101401_"},
      {{2026, 12, 31, 23, 59, 59}, L"20261231_235959_"},
      {{1601, 1, 1, 0, 0, 0}, L"16010101_000000_"},
      {{30827, 12, 31, 23, 59, 59}, L"308271231_235959_"},  // widest SYSTEMTIME year is not cut
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.expected)));
    CHECK_EQ(FormatDownloadStamp(row.time), std::wstring(row.expected));
  }
  CHECK_EQ(FormatDownloadStamp({2026, 5, 25, 10, 14, 1}).size(), size_t{16});
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
      // Spaces, dots, other controls and non-ASCII pass unchanged; nothing is trimmed or shortened.
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
