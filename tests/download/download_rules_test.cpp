// What a manifest entry must satisfy before its download is requested, and the digest comparison.
#include <cwctype>
#include <string>
#include <utility>

#include "support/check.h"
#include "trust/download_plan.h"
#include "trust/download_rules.h"
#include "trust/file_name.h"
#include "trust/signature_rules.h"

namespace {

const std::wstring kDigest = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

}  // namespace

TEST_CASE(EntriesAreRefusedBeforeAnyRequestOnlyForAMalformedChecksumOrPlainHttpWithout) {
  struct Row {
    std::wstring url;
    std::wstring sha256;
    const wchar_t* error;  // null: allowed
  };
  std::wstring upper = kDigest;
  for (wchar_t& unit : upper) unit = static_cast<wchar_t>(towupper(unit));
  const Row rows[] = {
      {L"https://h/a", L"", nullptr},
      {L"https://h/a", kDigest, nullptr},
      {L"https://h/a", upper, nullptr},
      {L"http://h/a", kDigest, nullptr},
      {L"HTTP://h/a", upper, nullptr},
      {L"ftp://h/a", L"", nullptr},  // not plain http: the download's own URL check decides
      {L"http:/h/a", L"", nullptr},
      {L"http://h/a", L"", kPlainHttpWithoutChecksumText},
      {L"hTTp://h/a", L"", kPlainHttpWithoutChecksumText},
      {L"http://", L"", kPlainHttpWithoutChecksumText},
      {L"https://h/a", kDigest.substr(1), kMalformedChecksumText},
      {L"https://h/a", kDigest + L"0", kMalformedChecksumText},
      {L"https://h/a", L"g" + kDigest.substr(1), kMalformedChecksumText},
      {L"https://h/a", kDigest.substr(1) + L"\u0660", kMalformedChecksumText},  // a non-ASCII digit
      {L"http://h/a", L" ", kMalformedChecksumText},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.url + L" " + row.sha256));
    std::wstring error;
    CHECK_EQ(CheckDownloadRequest(row.url, row.sha256, error), row.error == nullptr);
    CHECK_EQ(error, std::wstring(row.error ? row.error : L""));
  }
}

TEST_CASE(NamesThatHideCharactersOrRunCodeUncheckedAreRefused) {
  const wchar_t* const refusedTypes[] = {L"bat",
                                         L"cmd",
                                         L"com",
                                         L"pif",
                                         L"scr",
                                         L"cpl",
                                         L"msc",
                                         L"hta",
                                         L"js",
                                         L"jse",
                                         L"vbs",
                                         L"vbe",
                                         L"wsf",
                                         L"wsh",
                                         L"wsc",
                                         L"ws",
                                         L"ps1",
                                         L"ps1xml",
                                         L"ps2",
                                         L"ps2xml",
                                         L"psc1",
                                         L"psc2",
                                         L"psd1",
                                         L"psm1",
                                         L"lnk",
                                         L"url",
                                         L"scf",
                                         L"reg",
                                         L"inf",
                                         L"ins",
                                         L"isp",
                                         L"jar",
                                         L"chm",
                                         L"application",
                                         L"appref-ms",
                                         L"gadget",
                                         L"settingcontent-ms",
                                         L"library-ms",
                                         L"search-ms",
                                         L"searchconnector-ms",
                                         L"xbap",
                                         L"msh",
                                         L"msh1",
                                         L"msh2",
                                         L"mshxml",
                                         L"msh1xml",
                                         L"msh2xml",
                                         L"vb",
                                         L"shb",
                                         L"shs",
                                         L"mde",
                                         L"mda",
                                         L"mdb",
                                         L"mdz",
                                         L"diagcab"};
  for (const wchar_t* type : refusedTypes) {
    std::wstring mixed = type;
    for (size_t i = 0; i < mixed.size(); i += 2) mixed[i] = static_cast<wchar_t>(towupper(mixed[i]));
    for (const std::wstring& name : {L"run." + std::wstring(type), L"Run Me." + mixed, L"run." + mixed + L" . "}) {
      check::Scope scope(check::Show(name));
      std::wstring error;
      CHECK(!CheckDownloadName(name, error));
      CHECK_EQ(error, std::wstring(kUncheckedCodeTypeText));
    }
  }
  struct Row {
    std::wstring name;
    const wchar_t* error;  // null: allowed
  };
  const Row rows[] = {
      {L"Setup.exe", nullptr},
      {L"Setup.MSI", nullptr},
      {L"Patch.msp", nullptr},
      {L"App.msix", nullptr},
      {L"notes.txt", nullptr},
      {L"notes.js.txt", nullptr},
      {L"bat", nullptr},
      {L"Tool", nullptr},
      {L"Tool.bat.exe", nullptr},
      {L"Tool.b\u00e0t", nullptr},  // only ASCII letters fold
      {L"invoice_2026\u202etxt.exe", kHidingNameText},
      {std::wstring(L"Setup 2.1.msi\0.exe", 18), kHidingNameText},
      {L"zero\u200bwidth.msi", kHidingNameText},
      {L"hidden\u202e.bat", kHidingNameText},  // a hiding name is reported as such whatever its type
      // Names no file can have: nothing left once saved, or a device's, whatever follows the first dot.
      {L"", kReservedNameText},
      {L"...", kReservedNameText},
      {L" . .", kReservedNameText},
      {L"NUL.txt", kReservedNameText},
      {L"con", kReservedNameText},
      {L"Prn. . ", kReservedNameText},
      {L"aux .tar.gz", kReservedNameText},
      {L"Com1.exe", kReservedNameText},
      {L"LPT9", kReservedNameText},
      {L"com\u00b9.msi", kReservedNameText},
      {L"LPT\u00b2", kReservedNameText},
      {L"Lpt\u00b3.zip", kReservedNameText},
      {L"nul.bat", kReservedNameText},
      {L"NULL.txt", nullptr},
      {L"CONSOLE.exe", nullptr},
      {L"my NUL.txt", nullptr},
      {L"COM10.exe", nullptr},
      {L"LPT\u2074.exe", nullptr},  // only the superscripts 1 to 3 name ports
      {L"COM1_.exe", nullptr},      // "COM1:" as it is saved
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.name));
    std::wstring error;
    CHECK_EQ(CheckDownloadName(row.name, error), row.error == nullptr);
    CHECK_EQ(error, std::wstring(row.error ? row.error : L""));
  }
}

TEST_CASE(AnExtDiffersOnlyWhenItNamesAnotherTypeThanTheSavedName) {
  struct Row {
    const wchar_t* ext;
    const wchar_t* name;
    bool differs;
  };
  const Row rows[] = {
      {L"msi", L"Setup.msi", false},  {L".MSI", L"Setup.msi", false},   {L"", L"Setup.exe", false},
      {L"exe", L"Tool.exe. ", false}, {L"txt", L"Tool.exe", true},      {L"msi", L"Tool", true},
      {L".", L"Tool", false},         {L"exe", L"Tool.msi.exe", false},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.ext) + L" / " + row.name));
    CHECK_EQ(ExtDiffersFromName(row.ext, row.name), row.differs);
  }
}

TEST_CASE(DigestsMatchTheirHexInEitherCaseAndNothingElse) {
  unsigned char digest[kSha256Bytes];
  for (size_t i = 0; i < kSha256Bytes; ++i) digest[i] = static_cast<unsigned char>(i * 37 + 5);
  std::wstring hex;
  for (unsigned char byte : digest) {
    hex += L"0123456789abcdef"[byte >> 4];
    hex += L"0123456789abcdef"[byte & 0xF];
  }
  CHECK(Sha256HexMatches(hex, digest));
  std::wstring upper = hex;
  for (wchar_t& unit : upper) unit = static_cast<wchar_t>(towupper(unit));
  CHECK(Sha256HexMatches(upper, digest));
  for (size_t at : {size_t{0}, size_t{1}, size_t{63}}) {
    std::wstring changed = hex;
    changed[at] = changed[at] == L'0' ? L'1' : L'0';
    check::Scope scope(std::to_string(at));
    CHECK(!Sha256HexMatches(changed, digest));
  }
  CHECK(!Sha256HexMatches(hex.substr(2), digest));
}

TEST_CASE(ProgramsPackagesPatchesAndUpdatesMustBeSignedNothingElse) {
  struct Row {
    const wchar_t* extension;
    bool update;
    bool mustBeSigned;
  };
  const Row rows[] = {
      {L".exe", false, true},   {L".EXE", false, true},  {L".Msi", false, true},   {L".msp", false, true},
      {L".txt", false, false},  {L".zip", false, false}, {L".msix", false, false}, {L"", false, false},
      {L".exe ", false, false}, {L"", true, true},       {L".txt", true, true},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.extension) + (row.update ? L" (update)" : L"")));
    CHECK_EQ(MustBeSignedByPublisher(row.extension, row.update), row.mustBeSigned);
  }
}

// One decision per download: the way it starts and whether it must be signed come from the name it
// is saved under, never again from the path on disk.
TEST_CASE(APlanDecidesTheWayAndTheSignatureOnce) {
  struct Row {
    const wchar_t* name;
    const wchar_t* ownName;
    LaunchWay way;
    bool mustBeSigned;
    bool package;  // signed for the installer rather than as a program image
  };
  const Row rows[] = {
      {L"quorvellauncher.exe", L"QuorvelLauncher.exe", LaunchWay::Relaunch, true, false},
      {L"QuorvelLauncher.exe", L"QuorvelLauncher (2).exe", LaunchWay::ShellOpen, true, false},
      {L"QuorvelLauncher.exe", L"20261208T011500Z_QuorvelLauncher.exe", LaunchWay::ShellOpen, true, false},
      {L"Setup.msi", L"QuorvelLauncher.exe", LaunchWay::Msiexec, true, true},
      {L"SETUP.MSI", L"QuorvelLauncher.exe", LaunchWay::Msiexec, true, true},
      {L"Setup.Msi. . ", L"QuorvelLauncher.exe", LaunchWay::Msiexec, true, true},  // saved without the trailing dots
      {L"Setup.msix", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, false, false},
      {L"Setup.msi.exe", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, true, false},
      {L"Setup", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, false, false},
      {L"Setup.ms", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, false, false},
      {L"Patch.msp", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, true, true},
      {L"Patch.MSP.exe", L"QuorvelLauncher.exe", LaunchWay::ShellOpen, true, false},
      // The own name wins: an update is a program whatever it is called, and always checked.
      {L"QuorvelLauncher.msi", L"quorvellauncher.MSI", LaunchWay::Relaunch, true, false},
      {L"QuorvelLauncher.txt", L"QuorvelLauncher.txt", LaunchWay::Relaunch, true, false},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::wstring(row.name) + L" run as " + row.ownName));
    ManifestEntry entry;
    entry.name = row.name;
    entry.url = L"https://h/a";
    entry.sha256 = kDigest;
    TrustContext context;
    context.ownFileName = row.ownName;
    DownloadPlan plan;
    std::wstring error;
    REQUIRE(PlanDownload(entry, context, plan, error));
    CHECK_EQ(static_cast<int>(plan.way), static_cast<int>(row.way));
    CHECK_EQ(plan.mustBeSigned, row.mustBeSigned);
    CHECK_EQ(plan.package, row.package);
    CHECK_EQ(plan.judgedByName, row.mustBeSigned && row.package);
    CHECK_EQ(plan.sha256, kDigest);
  }
  CHECK_EQ(static_cast<int>(ChooseLaunchWay(L"", L"")), static_cast<int>(LaunchWay::ShellOpen));
  const std::pair<const wchar_t*, const wchar_t*> refused[] = {
      {L"run.bat", kUncheckedCodeTypeText}, {L"NUL.txt", kReservedNameText}, {L"...", kReservedNameText}};
  for (const auto& name : refused) {
    check::Scope scope(check::Show(name.first));
    ManifestEntry entry;
    entry.name = name.first;
    entry.url = L"https://h/a";
    DownloadPlan plan;
    std::wstring error;
    CHECK(!PlanDownload(entry, TrustContext(), plan, error));
    CHECK_EQ(error, std::wstring(name.second));
  }
}

TEST_CASE(ASignerIsThePublisherWhenItsOneCnAndAtMostOneOAreEqualToThePublishers) {
  const Publisher withO = {L"Quorvel Publisher", L"Quorvel Ltd", true};
  const Publisher withoutO = {L"Quorvel Publisher", L"", false};
  struct Row {
    SubjectNames subject;
    const Publisher* publisher;
    bool matches;
  };
  const Row rows[] = {
      {{{L"Quorvel Publisher"}, {L"Quorvel Ltd"}}, &withO, true},
      {{{L"Quorvel Publisher"}, {}}, &withoutO, true},
      {{{L"Quorvel Publisher"}, {}}, &withO, false},  // O absent on one side only
      {{{L"Quorvel Publisher"}, {L"Quorvel Ltd"}}, &withoutO, false},
      {{{L"Quorvel Publisher"}, {L""}}, &withoutO, false},          // an empty O is still an O
      {{{L"quorvel publisher"}, {L"Quorvel Ltd"}}, &withO, false},  // names compare exactly
      {{{L"Quorvel Publisher"}, {L"Quorvel Ltd."}}, &withO, false},
      {{{L"Other Publisher"}, {L"Quorvel Ltd"}}, &withO, false},
      {{{}, {L"Quorvel Ltd"}}, &withO, false},
      {{{L"Quorvel Publisher", L"Quorvel Publisher"}, {L"Quorvel Ltd"}}, &withO, false},
      {{{L"Other", L"Quorvel Publisher"}, {L"Quorvel Ltd"}}, &withO, false},
      {{{L"Quorvel Publisher"}, {L"Quorvel Ltd", L"Quorvel Ltd"}}, &withO, false},
  };
  for (const Row& row : rows) {
    std::wstring shown;
    for (const std::wstring& cn : row.subject.commonNames) shown += L"CN=" + cn + L" ";
    for (const std::wstring& o : row.subject.organizations) shown += L"O=" + o + L" ";
    check::Scope scope(check::Show(shown + L"vs " + row.publisher->commonName));
    CHECK_EQ(SubjectIsPublisher(row.subject, *row.publisher), row.matches);
  }
  Publisher read;
  CHECK(!PublisherFromSubject({{L"A", L"B"}, {}}, read));
  CHECK(PublisherFromSubject({{L"Quorvel Publisher"}, {L"Quorvel Ltd"}}, read));
  CHECK(SubjectIsPublisher({{read.commonName}, {read.organization}}, withO));
  CHECK_EQ(NotSignedByText(withO), std::wstring(L"Downloaded file is not signed by Quorvel Ltd."));
  CHECK_EQ(NotSignedByText(withoutO), std::wstring(L"Downloaded file is not signed by Quorvel Publisher."));
}

// What may start, by the launcher's signature and its list keys: each row an entry activated in one
// of the four modes, refused before any request or planned with the size it must have.
TEST_CASE(WhatMayStartDependsOnTheLaunchersSignatureAndItsListKeys) {
  enum Mode { Unsigned, UnsignedWithKeys, UnsignedWithKeysUnvouched, Signed, SignedWithKeys };
  struct Row {
    Mode mode;
    std::wstring name;
    std::wstring sha256;
    int64_t size;
    const wchar_t* error;  // null: planned
  };
  const std::wstring own = L"QuorvelLauncher.exe";
  const Row rows[] = {
      {Unsigned, L"notes.txt", L"", 5, nullptr},
      {Unsigned, L"App.msix", L"", 5, nullptr},
      {Unsigned, L"run.bat", kDigest, 5, kUncheckedCodeTypeText},
      {UnsignedWithKeys, L"notes.txt", kDigest, 5, nullptr},
      {UnsignedWithKeys, L"Setup.exe", kDigest, 0, nullptr},
      {UnsignedWithKeys, L"notes.txt", L"", 5, kMalformedChecksumText},
      {UnsignedWithKeys, L"notes.txt", kDigest.substr(1), 5, kMalformedChecksumText},
      {UnsignedWithKeys, L"notes.txt", kDigest, -1, kMalformedChecksumText},
      {UnsignedWithKeys, L"run.bat", kDigest, 5, kUncheckedCodeTypeText},
      {UnsignedWithKeys, L"zero\u200bwidth.msi", kDigest, 5, kHidingNameText},
      {UnsignedWithKeysUnvouched, L"Setup.exe", kDigest, 5, kNotVouchedText},
      {Signed, L"Setup.exe", L"", 5, nullptr},
      {Signed, L"Setup.MSI", L"", 5, nullptr},
      {Signed, L"Patch.msp", L"", 5, nullptr},
      {Signed, own, L"", 5, nullptr},
      {Signed, L"notes.txt", kDigest, 5, kNotVouchedText},
      {Signed, L"App.msix", kDigest, 5, kNotVouchedText},
      {Signed, L"Setup", kDigest, 5, kNotVouchedText},
      {Signed, L"Setup.exe.", kDigest, 5, nullptr},  // saved as Setup.exe, and checked as one
      {Signed, L"run.bat", kDigest, 5, kUncheckedCodeTypeText},
      {Signed, L"invoice_2026\u202etxt.exe", kDigest, 5, kHidingNameText},
      {SignedWithKeys, L"notes.txt", kDigest, 5, nullptr},
      {SignedWithKeys, L"Setup.exe", kDigest, 7, nullptr},
      {SignedWithKeys, L"Setup.exe", L"", 7, kMalformedChecksumText},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(std::to_wstring(row.mode) + L" " + row.name + L" " + row.sha256));
    ManifestEntry entry;
    entry.name = row.name;
    entry.url = L"https://h/a";
    entry.sha256 = row.sha256;
    entry.size = row.size;
    TrustContext context;
    context.ownFileName = own;
    context.launcherSigned = row.mode == Signed || row.mode == SignedWithKeys;
    context.listKeysPinned = row.mode != Unsigned && row.mode != Signed;
    context.listVouched = row.mode == UnsignedWithKeys || row.mode == SignedWithKeys;
    DownloadPlan plan;
    std::wstring error;
    CHECK_EQ(PlanDownload(entry, context, plan, error), row.error == nullptr);
    CHECK_EQ(error, std::wstring(row.error ? row.error : L""));
    if (row.error) continue;
    CHECK_EQ(static_cast<long long>(plan.exactSize), context.listKeysPinned ? static_cast<long long>(row.size) : -1LL);
    CHECK_EQ(plan.mustBeSigned,
             MustBeSignedByPublisher(FileExtension(plan.savedName), plan.way == LaunchWay::Relaunch));
  }
}
