#include <cstdint>
#include <string>
#include <vector>

#include "manifest/list_text.h"
#include "support/check.h"
#include "trust/file_name.h"

namespace {

TEST_CASE(FormatSizeAtEveryUnitBoundary) {
  const std::vector<std::pair<int64_t, std::wstring>> cases = {
      {0, L"0 B"},
      {1, L"1 B"},
      {1023, L"1023 B"},
      {1024, L"1.00 KB"},
      {1536, L"1.50 KB"},
      {1048575, L"1024.00 KB"},
      {1048576, L"1.00 MB"},
      {20971520, L"20.00 MB"},
      {1073741823, L"1024.00 MB"},
      {1073741824, L"1.00 GB"},
      {5368709120LL, L"5.00 GB"},
      {1099511627776LL, L"1.00 TB"},
      {1125899906842624LL, L"1024.00 TB"},
      {INT64_MAX, L"8388608.00 TB"},
      {-1, L"\u2014"},
      {INT64_MIN, L"\u2014"},
  };
  for (const auto& c : cases) {
    check::Scope scope(std::to_string(c.first));
    CHECK_EQ(FormatSize(c.first), c.second);
  }
}

TEST_CASE(FormatDateKeepsTheFirstTenUnits) {
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"2026-05-25T10:14:01Z", L"2026-05-25"},
      {L"2026-05-25", L"2026-05-25"},
      {L"2026-05", L"2026-05"},
      {L"", L""},
      {L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9",
       L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"},
  };
  for (const auto& c : cases) {
    check::Scope scope(check::Show(c.first));
    CHECK_EQ(FormatDate(c.first), c.second);
  }
}

TEST_CASE(FormatTypeIsTheSavedNamesExtensionUpperCased) {
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"Setup.msi", L"MSI"},
      {L"a.Exe", L"EXE"},
      {L"b.7z", L"7Z"},
      {L"c.tar.gz-1_x", L"GZ-1_X"},
      {L"", L""},
      {L"msi", L""},
      {L".ZIP", L"ZIP"},
      {L"Release notes.txt     .exe", L"EXE"},
      {L"Tool.exe . .", L"EXE"},
      {L"invoice_2026\u202etxt.exe", L"EXE"},
      {std::wstring(L"Setup.msi\0.exe", 14), L"EXE"},
      // The extension's hiding characters show as the File cell shows them; a forbidden one as saved.
      {L"a.e\x01xe", L"E\xFFFDXE"},
      {std::wstring(L"b.m\0si", 6), L"M\xFFFDSI"},
      {L"c.\u202etxt", L"\xFFFDTXT"},
      {L"d.ms?", L"MS_"},
  };
  for (const auto& c : cases) {
    check::Scope scope(check::Show(c.first));
    CHECK_EQ(FormatType(c.first), c.second);
  }
}

TEST_CASE(StatusTextsForTheListAndTheProgress) {
  CHECK_EQ(ManifestStatusText(0), std::wstring(L"No files available in /download/latest/."));
  CHECK_EQ(ManifestStatusText(1), std::wstring(L"1 file(s) available \u2014 double-click any row to install."));
  CHECK_EQ(ManifestStatusText(4096), std::wstring(L"4096 file(s) available \u2014 double-click any row to install."));
  CHECK_EQ(ProgressStatusText(1536, 20480), std::wstring(L"Downloading\u2026 1.50 MB of 20.00 MB"));
  CHECK_EQ(ProgressStatusText(0, 1), std::wstring(L"Downloading\u2026 0 B of 1.00 KB"));
  CHECK_EQ(ProgressStatusText(524288, 524288), std::wstring(L"Downloading\u2026 512.00 MB of 512.00 MB"));
}

}  // namespace
