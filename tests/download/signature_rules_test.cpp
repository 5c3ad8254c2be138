// The portable pieces of a signature's verdict: the certificate table, a file's first bytes, the
// chain as the launcher reads it, the signed content's type, a time stamp's statement and a
// package's digest order.
#include <cstdint>
#include <string>
#include <vector>

#include "support/check.h"
#include "trust/certificate_table_rules.h"
#include "trust/chain_rules.h"
#include "trust/content_rules.h"
#include "trust/der_rules.h"
#include "trust/package_digest_rules.h"
#include "trust/signed_content_rules.h"
#include "trust/time_stamp_rules.h"

namespace {

std::string Le(uint64_t value, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

std::string Der(unsigned char tag, const std::string& contents) {
  std::string out(1, static_cast<char>(tag));
  if (contents.size() < 0x80) {
    out.push_back(static_cast<char>(contents.size()));
  } else {
    out += "\x82" + std::string(1, static_cast<char>(contents.size() >> 8)) +
           std::string(1, static_cast<char>(contents.size()));
  }
  return out + contents;
}

std::string FromHex(const char* hex) {
  std::string out;
  for (const char* at = hex; at[0] && at[1]; at += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(at, 2), nullptr, 16)));
  return out;
}

const unsigned char* Data(const std::string& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

// A signature blob as long as a real one, with a long-form length.
const std::string kBlob = Der(kDerSequence, std::string(300, '\x5A'));

// One WIN_CERTIFICATE: its length field, revision 2.0, PKCS#7, then the body.
std::string Entry(uint32_t length, const std::string& body, uint16_t revision = 0x0200, uint16_t type = 0x0002) {
  return Le(length, 4) + Le(revision, 2) + Le(type, 2) + body;
}

// The headers of a PE image whose optional header is 32- or 64-bit, naming a certificate table.
std::string NtHeaders(uint16_t magic, uint32_t directoryCount, uint32_t offset, uint32_t size) {
  const size_t directories = magic == 0x20B ? 112 : 96;
  std::string optional(directories + 16 * 8, '\0');
  optional.replace(0, 2, Le(magic, 2));
  optional.replace(directories - 4, 4, Le(directoryCount, 4));
  optional.replace(directories + 4 * 8, 8, Le(offset, 4) + Le(size, 4));
  std::string fileHeader(20, '\0');
  fileHeader.replace(16, 2, Le(optional.size(), 2));
  return std::string("PE\0\0", 4) + fileHeader + optional;
}

}  // namespace

TEST_CASE(TheCertificateTableHoldsOneSignatureAndNothingMore) {
  const uint32_t blobEnd = static_cast<uint32_t>(8 + kBlob.size());     // 312: a multiple of eight
  const std::string odd = Der(kDerSequence, std::string(301, '\x5A'));  // 313 with its header: 7 to pad
  struct Row {
    const char* name;
    std::string table;
    bool holdsOne;
  };
  const Row rows[] = {
      {"one entry", Entry(blobEnd, kBlob), true},
      {"padding counted in the length", Entry(8 + odd.size() + 7, odd + std::string(7, '\0')), true},
      {"padding after the length", Entry(8 + odd.size(), odd + std::string(7, '\0')), true},
      {"padding that is not zeros", Entry(8 + odd.size() + 7, odd + std::string(6, '\0') + "x"), false},
      {"a second entry", Entry(blobEnd, kBlob) + Entry(blobEnd, kBlob), false},
      {"a grown length", Entry(blobEnd + 16, kBlob + "appended bytes!!"), false},
      {"a grown length of zeros", Entry(blobEnd + 8, kBlob + std::string(8, '\0')), false},
      {"bytes after the entry", Entry(blobEnd, kBlob) + std::string(8, '\0'), false},
      {"another revision", Entry(blobEnd, kBlob, 0x0100), false},
      {"an X.509 entry", Entry(blobEnd, kBlob, 0x0200, 0x0001), false},
      {"a length past the table", Entry(blobEnd + 8, kBlob), false},
      {"a length short of the blob", Entry(blobEnd - 1, kBlob.substr(0, kBlob.size() - 1)), false},
      {"a length below the header", Entry(4, kBlob), false},
      {"not a SEQUENCE", Entry(blobEnd, "\x31" + kBlob.substr(1)), false},
      {"an indefinite length", Entry(16, std::string("\x30\x80\x02\x01\x01\x00\x00\x00", 8)), false},
      {"a header alone", Entry(8, ""), false},
      {"nothing", "", false},
  };
  for (const Row& row : rows) {
    check::Scope scope(row.name);
    std::string pkcs7;
    CHECK_EQ(TableHoldsOneSignature(Data(row.table), row.table.size(), pkcs7), row.holdsOne);
    if (row.holdsOne) CHECK_EQ(pkcs7.substr(0, 4), row.table.substr(8, 4));
  }
}

TEST_CASE(TheHeadersLocateTheTableThatMustEndTheFile) {
  struct Row {
    const char* name;
    std::string nt;
    bool isImage;
    uint32_t offset;
    uint32_t size;
  };
  const Row rows[] = {
      {"64-bit", NtHeaders(0x20B, 16, 0x1000, 0x200), true, 0x1000, 0x200},
      {"32-bit", NtHeaders(0x10B, 16, 0x2000, 0x300), true, 0x2000, 0x300},
      {"unsigned", NtHeaders(0x20B, 16, 0, 0), true, 0, 0},
      {"too few directories", NtHeaders(0x20B, 4, 0x1000, 0x200), true, 0, 0},
      {"another optional header", NtHeaders(0x107, 16, 0x1000, 0x200), false, 0, 0},
      {"not PE", "NE" + NtHeaders(0x20B, 16, 0x1000, 0x200).substr(2), false, 0, 0},
      {"cut short", NtHeaders(0x20B, 16, 0x1000, 0x200).substr(0, 100), false, 0, 0},
  };
  for (const Row& row : rows) {
    check::Scope scope(row.name);
    CertificateTableLocation table;
    CHECK_EQ(CertificateTableFromHeaders(Data(row.nt), row.nt.size(), table), row.isImage);
    if (row.isImage) CHECK_EQ(table.offset + 0ull, row.offset + 0ull);
    if (row.isImage) CHECK_EQ(table.size + 0ull, row.size + 0ull);
  }
  std::string dos(kDosHeaderBytes, '\0');
  dos.replace(0, 2, "MZ");
  dos.replace(0x3C, 4, Le(0x80, 4));
  uint32_t offset = 0;
  CHECK(NtHeadersOffset(Data(dos), dos.size(), offset));
  CHECK_EQ(offset + 0ull, 0x80ull);
  CHECK(!NtHeadersOffset(Data("ZM" + dos.substr(2)), dos.size(), offset));

  CHECK(CertificateTableEndsFile({0x1000, 0x200}, 0x1200));
  CHECK(!CertificateTableEndsFile({0x1000, 0x200}, 0x1208));  // bytes after it
  CHECK(!CertificateTableEndsFile({0x1000, 0x200}, 0x11FF));  // past the end
  CHECK(!CertificateTableEndsFile({0x1000, 0}, 0x1000));
  CHECK(!CertificateTableEndsFile({0x1000, kMaxCertificateTableBytes + 8}, 0x1000ull + kMaxCertificateTableBytes + 8));
}

TEST_CASE(ProgramsAndCompoundFilesAreKnownByTheirFirstBytes) {
  struct Row {
    std::string first;
    bool programOrPackage;
  };
  const Row rows[] = {
      {"MZ\x90\x00", true},
      {"MZ", true},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", true},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A", false},  // cut short
      {"M", false},
      {"", false},
      {"ZM", false},
      {"mz", false},
      {"%PDF-1.7", false},
      {"PK\x03\x04", false},
      {"Notes\r\n", false},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.first));
    CHECK_EQ(LooksLikeProgramOrPackage(Data(row.first), row.first.size()), row.programOrPackage);
  }
}

TEST_CASE(AChainVouchesOnlyThroughAuthoritiesForItsUsageAndInItsTime) {
  const uint64_t kNow = 200;
  ChainCertificate signer;
  signer.hasBasicConstraints = true;
  signer.hasUsages = true;
  signer.usages = {kCodeSigningUsage};
  signer.notBefore = 100;
  signer.notAfter = 300;
  ChainCertificate authority;
  authority.hasBasicConstraints = true;
  authority.isAuthority = true;
  authority.notBefore = 0;
  authority.notAfter = 1000;
  const std::vector<ChainCertificate> sound = {signer, authority, authority};
  struct Row {
    const char* name;
    std::vector<ChainCertificate> chain;
    uint32_t chainErrors;
    uint64_t at;
    bool acceptable;
  };
  std::vector<Row> rows = {
      {"signer, intermediate and root", sound, 0, kNow, true},
      {"signer and root", {signer, authority}, 0, kNow, true},
      {"no chain", {}, 0, kNow, false},
      {"the engine's time errors alone", sound, kChainTimeErrors, kNow, true},
      {"an untrusted root", sound, 0x20, kNow, false},
      {"before the signer's validity", sound, 0, 99, false},
      {"after it", sound, 0, 301, false},
      {"at its first moment", sound, 0, 100, true},
      {"at its last", sound, 0, 300, true},
  };
  auto with = [&](const char* name, size_t index, void (*change)(ChainCertificate&), bool acceptable) {
    std::vector<ChainCertificate> chain = sound;
    change(chain[index]);
    rows.push_back({name, chain, 0, kNow, acceptable});
  };
  with(
      "issued by an end entity", 1, [](ChainCertificate& c) { c.isAuthority = false; }, false);
  with(
      "issued by a certificate without basic constraints", 1,
      [](ChainCertificate& c) { c.hasBasicConstraints = false; }, false);
  with(
      "a root without basic constraints", 2, [](ChainCertificate& c) { c.hasBasicConstraints = false; }, true);
  with(
      "a root that denies being a CA", 2, [](ChainCertificate& c) { c.isAuthority = false; }, false);
  with(
      "a root allowing no CA below it", 2,
      [](ChainCertificate& c) {
        c.hasPathLength = true;
        c.pathLength = 0;
      },
      false);
  with(
      "an intermediate allowing no CA below it", 1,
      [](ChainCertificate& c) {
        c.hasPathLength = true;
        c.pathLength = 0;
      },
      true);
  with(
      "an expired intermediate", 1, [](ChainCertificate& c) { c.notAfter = 150; }, false);
  with(
      "an intermediate's own error", 1, [](ChainCertificate& c) { c.errors = 0x400; }, false);
  with(
      "an intermediate's time error alone", 1, [](ChainCertificate& c) { c.errors = 0x1; }, true);
  with(
      "server authentication only", 0, [](ChainCertificate& c) { c.usages = {"1.3.6.1.5.5.7.3.1"}; }, false);
  with(
      "code signing among others", 0,
      [](ChainCertificate& c) {
        c.usages = {"1.3.6.1.5.5.7.3.1", kCodeSigningUsage};
      },
      true);
  with(
      "no extended key usage", 0,
      [](ChainCertificate& c) {
        c.hasUsages = false;
        c.usages.clear();
      },
      false);
  for (const Row& row : rows) {
    check::Scope scope(row.name);
    CHECK_EQ(ChainIsAcceptable(row.chainErrors, row.chain, kCodeSigningUsage, row.at), row.acceptable);
  }
  CHECK(!ChainIsAcceptable(0, sound, kTimeStampingUsage, kNow));
}

TEST_CASE(ASignatureFitsOnlyTheTypeOfFileItWasMadeFor) {
  const unsigned char program[16] = {0xB8, 0xAA, 0x89, 0xC6, 0x78, 0x8E, 0xD0, 0x11,
                                     0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE};
  const unsigned char package[16] = {0xF1, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  CHECK(SubjectFits(SignedContent::Program, program));
  CHECK(!SubjectFits(SignedContent::Program, package));
  CHECK(SubjectFits(SignedContent::Package, package));
  CHECK(!SubjectFits(SignedContent::Package, program));

  // What a signed package's indirect data holds: SpcSipInfo naming the installer's interface package.
  const std::string installer = FromHex("30240201010410F1100C0000000000C000000000000046020100020100020100020100020100");
  std::string other = installer;
  other[7] = '\xF2';
  const char* const peImage = "1.3.6.1.4.1.311.2.1.15";
  const char* const sipInfo = "1.3.6.1.4.1.311.2.1.30";
  struct Row {
    SignedContent content;
    const char* type;
    std::string value;
    bool fits;
  };
  const Row rows[] = {
      {SignedContent::Program, peImage, FromHex("3000"), true},
      {SignedContent::Program, sipInfo, installer, false},
      {SignedContent::Package, sipInfo, installer, true},
      {SignedContent::Package, sipInfo, other, false},
      {SignedContent::Package, peImage, installer, false},
      {SignedContent::Package, sipInfo, installer.substr(0, 20), false},
      {SignedContent::Package, sipInfo, installer + std::string(1, '\0'), false},
      {SignedContent::Package, "1.3.6.1.4.1.311.2.1.25", installer, false},  // a cabinet's
  };
  for (const Row& row : rows) {
    check::Scope scope(std::string(row.type) + " " + check::Show(row.value));
    CHECK_EQ(IndirectDataFits(row.content, row.type, row.value), row.fits);
  }
}

TEST_CASE(ATimeStampSaysWhatItStampedAndWhen) {
  // TSTInfo as a test time stamping authority made it for 1 February 2025.
  const std::string info = FromHex(
      "306E02010106042A0304013031300D060960864801650304020105000420130DE48EA2D3E122B1CA82054C268F3BF2CB6CEF7266"
      "46EDA7208A2074FA600A020900DBC82CD8D0ED9AF8180F32303235303230313030303030305A300A020101800201F48101640208"
      "6AA7C341C1E438F0");
  const uint64_t february2025 = (1738368000ull + 11644473600ull) * 10000000ull;
  TimeStampInfo read;
  REQUIRE(ReadTimeStampInfo(info, read));
  CHECK_EQ(read.imprintAlgorithm, kSha256OidContents);
  CHECK_EQ(read.imprint, FromHex("130DE48EA2D3E122B1CA82054C268F3BF2CB6CEF726646EDA7208A2074FA600A"));
  CHECK_EQ(read.time, february2025);
  CHECK(!ReadTimeStampInfo(info.substr(0, info.size() - 1), read));
  CHECK(!ReadTimeStampInfo(info + std::string(1, '\0'), read));
  std::string version2 = info;
  version2[4] = '\x02';
  CHECK(!ReadTimeStampInfo(version2, read));

  struct Row {
    const char* text;
    bool valid;
    uint64_t ticks;
  };
  const Row rows[] = {
      {"20250201000000Z", true, february2025},
      {"20250201000000.25Z", true, february2025},
      {"20250201000001Z", true, february2025 + 10000000},
      {"16010101000000Z", true, 0},
      {"20240229120000Z", true, (1709208000ull + 11644473600ull) * 10000000ull},
      {"20250229120000Z", false, 0},  // not a leap year
      {"20250230000000Z", false, 0},
      {"20251301000000Z", false, 0},
      {"20250201240000Z", false, 0},
      {"20250201000000", false, 0},
      {"20250201000000+0100", false, 0},
      {"2025020100000Z", false, 0},
      {"20250201000000.Z", false, 0},
      {"16000101000000Z", false, 0},
  };
  for (const Row& row : rows) {
    check::Scope scope(row.text);
    uint64_t ticks = 0;
    CHECK_EQ(GeneralizedTimeTicks(row.text, ticks), row.valid);
    if (row.valid) CHECK_EQ(ticks, row.ticks);
  }
}

TEST_CASE(APackagesStreamsAreDigestedInTheirNamesByteOrder) {
  struct Row {
    std::wstring a;
    std::wstring b;
    bool before;
  };
  const Row rows[] = {
      {L"a", L"b", true},
      {L"b", L"a", false},
      {L"ab", L"abc", true},  // the terminator sorts first
      {L"abc", L"ab", false},
      {L"same", L"same", false},
      {L"\x0100", L"\x00FF", true},  // low bytes first: 0x00 before 0xFF, whatever the high bytes
      {L"\x4840\x3B3F", L"\x4740\x3B3F", false},
      {L"\x0005"
       L"DigitalSignature",
       L"\x4840\x3B3F", true},
  };
  for (const Row& row : rows) {
    check::Scope scope(check::Show(row.a) + " " + check::Show(row.b));
    CHECK_EQ(DigestedBefore(row.a, row.b), row.before);
  }

  PackageEntry stream;
  stream.kind = PackageEntry::Kind::Stream;
  stream.name = L"\x4840";
  stream.size = 0x1122334455ull;
  stream.stateBits = 7;
  stream.created = 1;
  stream.modified = 2;
  CHECK_EQ(PackageEntryMetadata(stream), std::string("\x40\x48") + Le(0x22334455, 4) + Le(7, 4) + Le(1, 8) + Le(2, 8));
  PackageEntry root;
  root.kind = PackageEntry::Kind::Root;
  root.name = L"Root Entry";
  root.classId[0] = 0x84;
  root.created = 9;
  CHECK_EQ(PackageEntryMetadata(root), std::string("\x84") + std::string(15, '\0') + Le(0, 4));
}
