// The signed list's format: how a body splits into S and its signature lines, and what S claims.
#include <string>
#include <vector>

#include "support/check.h"
#include "trust/signed_list.h"

namespace {

const std::string kS = "{\"schema\":\"quorvel.download.v1\",\"files\":[]}\n";

std::string Line(char keyDigit, unsigned char fill) {
  unsigned char signature[kListSignatureBytes];
  for (unsigned char& byte : signature) byte = fill;
  return FormatListSignatureLine(std::string(kListKeyIdDigits, keyDigit), signature);
}

}  // namespace

TEST_CASE(BodiesSplitOnlyAtOneOrTwoExactSignatureLines) {
  const std::string a = Line('a', 0xA5);
  const std::string b = Line('b', 0x00);
  std::string cr = a;
  cr.insert(cr.size() - 1, "\r");
  std::string spaced = a;
  spaced.insert(1, " ");
  std::string upperId = a;
  upperId[41] = 'A';
  std::string badPadding = a;  // the last digit before "==" carries bits that no byte uses
  badPadding[a.size() - 6] = 'B';
  const struct {
    const char* label;
    std::string body;
    ListTrailer trailer;
    size_t lines;
  } rows[] = {
      {"unsigned", kS, ListTrailer::None, 0},
      {"one line", kS + a, ListTrailer::Signed, 1},
      {"two lines", kS + a + b, ListTrailer::Signed, 2},
      {"three lines", kS + a + b + a, ListTrailer::Broken, 0},
      {"no final line feed", kS + a.substr(0, a.size() - 1), ListTrailer::Broken, 0},
      {"a CR", kS + cr, ListTrailer::Broken, 0},
      {"a space inside", kS + spaced, ListTrailer::Broken, 0},
      {"a space after", kS + a + " ", ListTrailer::Broken, 0},
      {"a line after", kS + a + "\n", ListTrailer::Broken, 0},
      {"an upper-case key id", kS + upperId, ListTrailer::Broken, 0},
      {"non-canonical base64", kS + badPadding, ListTrailer::Broken, 0},
      {"nothing before it", a, ListTrailer::Broken, 0},
      {"a name that only looks like one", "{\"files\":[{\"name\":\"quorvel-signature\"}]}\n", ListTrailer::None, 0},
  };
  for (const auto& row : rows) {
    check::Scope scope(row.label);
    size_t length = 99;
    std::vector<ListSignatureLine> lines;
    CHECK(SplitSignedList(row.body, length, lines) == row.trailer);
    CHECK_EQ(lines.size(), row.lines);
    CHECK_EQ(length, row.trailer == ListTrailer::Signed ? kS.size() : size_t{0});
  }
  size_t length = 0;
  std::vector<ListSignatureLine> lines;
  REQUIRE(SplitSignedList(kS + a + b, length, lines) == ListTrailer::Signed);
  CHECK_EQ(lines[0].keyId, std::string(16, 'a'));
  CHECK_EQ(static_cast<unsigned>(lines[0].signature[63]), 0xA5u);
  CHECK_EQ(lines[1].keyId, std::string(16, 'b'));
}

TEST_CASE(KeysRoundTripThroughTheirSpki) {
  unsigned char xy[kListPublicKeyBytes];
  for (size_t i = 0; i < kListPublicKeyBytes; ++i) xy[i] = static_cast<unsigned char>(i);
  const std::string der = ListKeySpki(xy);
  CHECK_EQ(der.size(), kListSpkiBytes);
  unsigned char back[kListPublicKeyBytes] = {};
  CHECK(ListKeyFromSpki(der, back) && std::string(back, back + 64) == std::string(xy, xy + 64));
  CHECK(!ListKeyFromSpki(der.substr(1), back));
  unsigned char digest[32] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFF};
  CHECK_EQ(ListKeyIdFromDigest(digest), std::string("0123456789abcdef"));
}

TEST_CASE(ClaimsAreReadStrictly) {
  const std::string head = "{\"schema\":\"quorvel.download.v1\",\"files\":[{\"serial\":\"x\"}],";
  const struct {
    const char* members;
    bool wellFormed;
    uint64_t serial;
    size_t revoked;
  } rows[] = {
      {"\"serial\":1,\"expires\":\"2027-01-31T23:59:59Z\"", true, 1, 0},
      {"\"serial\":9007199254740991,\"expires\":\"2028-02-29T00:00:00Z\",\"revoke\":[\"0123456789abcdef\"]", true,
       9007199254740991, 1},
      {"\"expires\":\"2027-01-01T00:00:00Z\",\"serial\":5,\"revoke\":[]", true, 5, 0},
      {"\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":5", false, 5, 0},
      {"\"serial\":0,\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":9007199254740992,\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":05,\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":5.0,\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":-5,\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":\"5\",\"expires\":\"2027-01-01T00:00:00Z\"", false, 0, 0},
      {"\"serial\":5,\"serial\":6,\"expires\":\"2027-01-01T00:00:00Z\"", false, 5, 0},
      {"\"serial\":5,\"expires\":\"2027-02-29T00:00:00Z\"", false, 5, 0},
      {"\"serial\":5,\"expires\":\"2027-01-01 00:00:00Z\"", false, 5, 0},
      {"\"serial\":5,\"expires\":\"2027-01-01T24:00:00Z\"", false, 5, 0},
      {"\"serial\":5,\"expires\":\"2027-01-01T00:00:00Z\",\"revoke\":[\"0123456789ABCDEF\"]", false, 5, 0},
  };
  for (const auto& row : rows) {
    check::Scope scope(row.members);
    ListClaims claims;
    ReadListClaims(head + row.members + "}\n", claims);
    CHECK_EQ(claims.wellFormed, row.wellFormed);
    if (row.serial) CHECK_EQ(claims.serial, row.serial);
    CHECK_EQ(claims.revoke.size(), row.revoked);
  }
}

TEST_CASE(ListTimesConvertBothWays) {
  const struct {
    const wchar_t* text;
    int64_t unix;
    const wchar_t* forUser;
  } rows[] = {
      {L"1970-01-01T00:00:00Z", 0, L"1970-01-01 00:00 UTC"},
      {L"2000-02-29T12:34:56Z", 951827696, L"2000-02-29 12:34 UTC"},
      {L"2026-12-31T23:59:59Z", 1798761599, L"2026-12-31 23:59 UTC"},
  };
  for (const auto& row : rows) {
    check::Scope scope(check::Show(row.text));
    int64_t unix = -1;
    CHECK(ParseListTime(row.text, unix));
    CHECK_EQ(static_cast<long long>(unix), static_cast<long long>(row.unix));
    CHECK_EQ(FormatListTime(row.unix), std::wstring(row.text));
    CHECK_EQ(FormatListTimeForUser(row.unix), std::wstring(row.forUser));
  }
}
