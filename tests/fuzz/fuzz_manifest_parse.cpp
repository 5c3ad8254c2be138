// Feeds arbitrary bytes to the manifest parse, to each reader operation on a buffer of exactly the
// input's size, and to the signed list's splitter and claims, and checks what a success promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "manifest/json_cursor.h"
#include "manifest/manifest.h"
#include "trust/download_rules.h"
#include "trust/signed_list.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool NotBefore(const std::wstring& a, const std::wstring& b) {  // a >= b by unsigned 16-bit units
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const uint16_t x = static_cast<uint16_t>(a[i]);
    const uint16_t y = static_cast<uint16_t>(b[i]);
    if (x != y) return x > y;
  }
  return a.size() >= b.size();
}

bool KnownError(const std::wstring& error) {
  static const wchar_t* const kTexts[] = {
      L"JSON root is not an object.", L"Bad JSON key.",   L"Missing ':' after key.", L"Bad 'schema' value.",
      L"'files' is not an array.",    L"Bad file entry.", L"Bad 'files' array.",     L"Bad JSON value.",
      L"Bad JSON object body."};
  for (const wchar_t* text : kTexts) {
    if (error == text) return true;
  }
  const std::wstring prefix = L"Unexpected manifest schema: '";
  return error.size() >= prefix.size() + 2 && error.compare(0, prefix.size(), prefix) == 0 &&
         error.compare(error.size() - 2, 2, L"'.") == 0;
}

void Within(const JsonCursor& cursor, const char* begin, const char* end) {
  Require(cursor.position >= begin && cursor.position <= end && cursor.end == end);
}

// A split gives back S and lines that rebuild the body exactly; S itself never splits as signed.
// Claims that read as well-formed are in range and write back as they were written.
void CheckSignedList(const std::string& body) {
  size_t signedLength = 1;
  std::vector<ListSignatureLine> lines;
  const ListTrailer trailer = SplitSignedList(body, signedLength, lines);
  if (trailer == ListTrailer::Signed) {
    Require((lines.size() == 1 || lines.size() == 2) && signedLength > 0 && signedLength < body.size());
    Require(body[signedLength - 1] == '\n');
    std::string rebuilt = body.substr(0, signedLength);
    for (const ListSignatureLine& line : lines) rebuilt += FormatListSignatureLine(line.keyId, line.signature);
    Require(rebuilt == body);
    size_t again = 0;
    std::vector<ListSignatureLine> inner;
    Require(SplitSignedList(body.substr(0, signedLength), again, inner) != ListTrailer::Signed);
  } else {
    Require(signedLength == 0 && lines.empty());
  }
  ListClaims claims;
  ReadListClaims(trailer == ListTrailer::Signed ? body.substr(0, signedLength) : body, claims);
  if (claims.wellFormed) {
    Require(claims.serial >= 1 && claims.serial <= kMaxListSerial);
    Require(FormatListTime(claims.expiresUnix) == claims.expires);
    for (const std::string& keyId : claims.revoke) Require(IsListKeyId(keyId));
  }
  // One line on its own, and base64 that decodes only in its one canonical form.
  ListSignatureLine parsed;
  if (ParseListSignatureLine(body.data(), body.size(), parsed)) {
    Require(FormatListSignatureLine(parsed.keyId, parsed.signature) == body + "\n");
  }
  if (body.size() % 4 == 0 && body.size() <= 4 * kListSignatureBytes) {
    const size_t padding = body.empty() || body.back() != '=' ? 0 : body[body.size() - 2] != '=' ? 1 : 2;
    unsigned char bytes[3 * kListSignatureBytes];
    const size_t count = body.size() / 4 * 3 - (body.size() >= 4 ? padding : 0);
    if (DecodeBase64Exactly(body.data(), body.size(), bytes, count)) Require(EncodeBase64(bytes, count) == body);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* begin = reinterpret_cast<const char*>(data);
  const char* end = begin + size;

  Manifest manifest;
  std::wstring error;
  if (ParseManifest(std::string(begin, size), manifest, error)) {
    Require(error.empty());
    Require(manifest.schema == kManifestSchema);
    for (size_t i = 1; i < manifest.files.size(); ++i)
      Require(NotBefore(manifest.files[i - 1].modified_at, manifest.files[i].modified_at));
    // Whatever an entry holds, its download is either allowed or refused with one of the two texts.
    for (const ManifestEntry& entry : manifest.files) {
      std::wstring refusal;
      if (CheckDownloadRequest(entry.url, entry.sha256, refusal)) {
        Require(refusal.empty() && (entry.sha256.empty() || entry.sha256.size() == 64));
      } else {
        Require(refusal == kMalformedChecksumText || refusal == kPlainHttpWithoutChecksumText);
      }
    }
  } else {
    Require(KnownError(error));
  }

  // The same operations straight on libFuzzer's exact-size buffer: a read at the end is reported.
  JsonCursor cursor{begin, end};
  SkipValue(cursor);
  Within(cursor, begin, end);
  cursor = JsonCursor{begin, end};
  std::wstring text = L"x";
  if (!ReadString(cursor, text)) Require(text.empty());
  Within(cursor, begin, end);
  cursor = JsonCursor{begin, end};
  int64_t value = 42;
  if (!ReadInteger(cursor, value)) Require(value == 42);
  Within(cursor, begin, end);
  cursor = JsonCursor{begin, end};
  ManifestEntry entry;
  ReadManifestEntry(cursor, entry);
  Within(cursor, begin, end);

  CheckSignedList(std::string(begin, size));
  return 0;
}
