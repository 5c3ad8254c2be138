// The signed list's format: how a body splits into S and its signature lines, and what S claims;
// and the launcher's verdict on a list over the facts the platform established.
#include <string>
#include <vector>

#include "support/check.h"
#include "trust/list_verdict_rules.h"
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

namespace {

const std::string kSigningKey(16, '1');
const std::string kRecoveryKey(16, '2');
const std::string kStrangerKey(16, '3');
const std::string kWithdrawnKey(16, '4');

// S with one entry and these root members beside "schema" and "files".
std::string ListWith(const std::string& members) {
  return "{\"schema\":\"quorvel.download.v1\",\"files\":[{\"name\":\"Setup.msi\"}]" +
         (members.empty() ? std::string() : "," + members) + "}\n";
}

CheckedSignature Verified(const std::string& keyId, ListKeyRole role) {
  CheckedSignature line;
  line.keyId = keyId;
  line.verified = true;
  line.role = role;
  return line;
}

CheckedSignature Unverified(const std::string& keyId) {
  CheckedSignature line;
  line.keyId = keyId;
  return line;
}

int64_t At(const wchar_t* text) {
  int64_t unix = 0;
  ParseListTime(text, unix);
  return unix;
}

}  // namespace

// The verdict's rules in their order, each row the first rule a list breaks (or none), and what an
// accepted list leaves remembered. The build's minimum is 100; the computer has seen serial 200
// (digest 0xD1...) and has withdrawn kWithdrawnKey, unless a row says it has seen nothing.
TEST_CASE(ListsAreJudgedByTheRulesInTheirOrder) {
  const std::string fresh = "\"expires\":\"2027-01-01T00:00:00Z\"";
  const std::string expired = "\"expires\":\"2026-11-30T12:34:56Z\"";
  const std::string at99 = "\"serial\":99," + fresh, at100 = "\"serial\":100," + fresh;
  const std::string at101 = "\"serial\":101," + fresh, at150 = "\"serial\":150," + fresh;
  const std::string at200 = "\"serial\":200," + fresh, at300 = "\"serial\":300," + fresh;
  const std::string revokeSigning = ",\"revoke\":[\"" + kSigningKey + "\"]";
  const std::string revokeWithdrawn = ",\"revoke\":[\"" + kWithdrawnKey + "\"]";
  const std::string expired300 = "\"serial\":300," + expired, expired150 = "\"serial\":150," + expired;
  const std::string beforeBuild = "\"serial\":300,\"expires\":\"2026-10-31T23:59:59Z\"";
  const std::string notManifest = at300 + ",\"files\":{}";
  const std::wstring expiredText =
      L"The download list expired on 2026-11-30 12:34 UTC; check this computer's date and time.";
  const std::wstring beforeBuildText =
      L"The download list expired on 2026-10-31 23:59 UTC; check this computer's date and time.";
  const std::wstring notManifestText = L"'files' is not an array.";
  const std::wstring ok, notSigned = kListNotSignedText, claims = kListClaimsText, older = kListOlderText;
  const ListTrailer none = ListTrailer::None, broken = ListTrailer::Broken, split = ListTrailer::Signed;
  const CheckedSignature signing = Verified(kSigningKey, ListKeyRole::Signing);
  const CheckedSignature recovery = Verified(kRecoveryKey, ListKeyRole::Recovery);
  const CheckedSignature withdrawn = Verified(kWithdrawnKey, ListKeyRole::Signing);
  const CheckedSignature stranger = Unverified(kStrangerKey), failing = Unverified(kSigningKey);
  struct Row {
    const char* label;
    std::string members;
    ListTrailer trailer;
    std::vector<CheckedSignature> lines;
    unsigned char digest;  // every byte of SHA-256(S)
    bool seenNothing;
    std::wstring error;  // empty: accepted
    uint64_t serialAfter;
    size_t withdrawnAfter;
  };
  const Row rows[] = {
      {"unsigned", at300, none, {}, 0xD2, false, notSigned, 0, 0},
      {"a broken trailer", at300, broken, {}, 0xD2, false, notSigned, 0, 0},
      {"a key not pinned", at300, split, {stranger}, 0xD2, false, notSigned, 0, 0},
      {"a signature that fails", at300, split, {failing}, 0xD2, false, notSigned, 0, 0},
      {"a withdrawn key", at300, split, {withdrawn}, 0xD2, false, notSigned, 0, 0},
      {"not signed comes first", "", split, {failing}, 0xD2, false, notSigned, 0, 0},
      {"signed", at300, split, {signing}, 0xD2, false, ok, 300, 1},
      {"the second of two lines", at300, split, {stranger, signing}, 0xD2, false, ok, 300, 1},
      {"a withdrawn key's line is skipped", at300, split, {withdrawn, signing}, 0xD2, false, ok, 300, 1},
      {"S that is no manifest", notManifest, split, {signing}, 0xD2, false, notManifestText, 0, 0},
      {"no serial", fresh, split, {signing}, 0xD2, false, claims, 0, 0},
      {"no expiry", "\"serial\":300", split, {signing}, 0xD2, false, claims, 0, 0},
      {"a serial below the seen one", at150, split, {signing}, 0xD2, false, older, 0, 0},
      {"the seen list again", at200, split, {signing}, 0xD1, false, ok, 200, 1},
      {"the seen serial with other content", at200, split, {signing}, 0xD2, false, older, 0, 0},
      {"below the build's minimum", at99, split, {signing}, 0xD2, true, older, 0, 0},
      {"the build's minimum itself", at100, split, {signing}, 0xD2, true, older, 0, 0},
      {"above the build's minimum", at101, split, {signing}, 0xD2, true, ok, 101, 0},
      {"expired", expired300, split, {signing}, 0xD2, false, expiredText, 0, 0},
      {"older comes before expired", expired150, split, {signing}, 0xD2, false, older, 0, 0},
      {"expiring before the build", beforeBuild, split, {signing}, 0xD2, false, beforeBuildText, 0, 0},
      {"a recovery key's withdrawal lowers it", at150 + revokeSigning, split, {recovery}, 0xD3, false, ok, 150, 2},
      {"a recovery key withdrawing nothing new", at150 + revokeWithdrawn, split, {recovery}, 0xD3, false, older, 0, 0},
      {"a recovery key may sign any list", at300, split, {recovery}, 0xD2, false, ok, 300, 1},
      {"a signing key cannot withdraw", at150 + revokeSigning, split, {signing}, 0xD3, false, older, 0, 0},
      {"a signing key's withdrawal is ignored", at300 + revokeSigning, split, {signing}, 0xD3, false, ok, 300, 1},
      {"a withdrawal that expired", expired150 + revokeSigning, split, {recovery}, 0xD3, false, expiredText, 0, 0},
  };
  ListBuildLimits limits;
  limits.minSerial = 100;
  limits.builtAt = At(L"2026-11-01T00:00:00Z");
  ListMemory seenBefore;
  seenBefore.serial = 200;
  seenBefore.hasDigest = true;
  for (unsigned char& byte : seenBefore.digest) byte = 0xD1;
  seenBefore.revokedKeys = {kWithdrawnKey};
  for (const Row& row : rows) {
    check::Scope scope(row.label);
    const std::string signedPart = row.members.empty() ? ListWith("") : ListWith(row.members);
    const std::string body = signedPart + Line('1', 0x11);
    ListFacts facts;
    facts.trailer = row.trailer;
    facts.signedLength = row.trailer == ListTrailer::Signed ? signedPart.size() : 0;
    facts.signatures = row.lines;
    for (unsigned char& byte : facts.digest) byte = row.digest;
    facts.now = At(L"2026-12-01T00:00:00Z");
    const ListMemory seen = row.seenNothing ? ListMemory() : seenBefore;
    Manifest manifest;
    ListMemory next;
    std::wstring error;
    const bool accepted = JudgeList(body, facts, limits, seen, manifest, next, error);
    CHECK_EQ(error, row.error);
    CHECK_EQ(accepted, row.error.empty());
    if (!accepted) continue;
    CHECK(manifest.vouched);
    CHECK_EQ(manifest.files.size(), size_t{1});
    CHECK_EQ(next.serial, row.serialAfter);
    CHECK(next.hasDigest && next.digest[0] == (row.serialAfter == seen.serial ? seen.digest[0] : row.digest));
    CHECK_EQ(next.revokedKeys.size(), row.withdrawnAfter);
  }
}
