// What a manifest entry must satisfy before its download is requested, and the digest comparison.
#include <cwctype>
#include <string>

#include "net/download_rules.h"
#include "support/check.h"

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
