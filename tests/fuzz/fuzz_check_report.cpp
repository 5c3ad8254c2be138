// Re-reads the checker's --json output with a strict reader of its contract: printable ASCII only,
// escapes exactly where required, one document, a final newline, and the same texts as the parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "checker/check_report.h"
#include "manifest/list_text.h"
#include "net/manifest_body.h"
#include "trust/download_rules.h"
#include "trust/file_name.h"
#include "trust/signed_list.h"

namespace {

using Units = std::u16string;

void Require(bool condition) {
  if (!condition) std::abort();
}

Units ToUnits(const std::wstring& text) {
  Units units;
  for (wchar_t unit : text) units.push_back(static_cast<char16_t>(unit));
  return units;
}

struct Token {
  bool isString;
  Units text;
  long long number;
};

class StrictReader {
 public:
  explicit StrictReader(const std::string& bytes) : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  void Document(std::vector<Token>& tokens) {
    Require(end_ > p_ && end_[-1] == '\n');
    --end_;
    for (const char* q = p_; q < end_; ++q) Require(*q >= 0x20 && *q <= 0x7E);
    Value(tokens, 0);
    Require(p_ == end_);
  }

 private:
  bool Next(char byte) {
    if (p_ < end_ && *p_ == byte) {
      ++p_;
      return true;
    }
    return false;
  }

  static int Hex(char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;  // upper-case digits break the contract
  }

  Units String() {
    Require(Next('"'));
    Units text;
    for (;;) {
      Require(p_ < end_);
      const char byte = *p_++;
      if (byte == '"') return text;
      if (byte != '\\') {
        text.push_back(static_cast<char16_t>(byte));
        continue;
      }
      Require(p_ < end_);
      const char letter = *p_++;
      if (letter == '"' || letter == '\\') {
        text.push_back(static_cast<char16_t>(letter));
        continue;
      }
      Require(letter == 'u' && end_ - p_ >= 4);
      unsigned value = 0;
      for (int i = 0; i < 4; ++i) {
        const int digit = Hex(*p_++);
        Require(digit >= 0);
        value = value * 16 + static_cast<unsigned>(digit);
      }
      // Printable ASCII other than the two escaped characters must appear as itself.
      Require(value < 0x20 || value > 0x7E);
      text.push_back(static_cast<char16_t>(value));
    }
  }

  void Value(std::vector<Token>& tokens, int depth) {
    Require(depth < 8 && p_ < end_);
    if (*p_ == '"') {
      tokens.push_back({true, String(), 0});
    } else if (Next('{')) {
      if (Next('}')) return;
      do {
        tokens.push_back({true, String(), 0});
        Require(Next(':'));
        Value(tokens, depth + 1);
      } while (Next(','));
      Require(Next('}'));
    } else if (Next('[')) {
      if (Next(']')) return;
      do Value(tokens, depth + 1);
      while (Next(','));
      Require(Next(']'));
    } else if (end_ - p_ >= 4 && std::string(p_, 4) == "true") {
      p_ += 4;
    } else if (end_ - p_ >= 5 && std::string(p_, 5) == "false") {
      p_ += 5;
    } else {
      const char* start = p_;
      Next('-');
      Require(p_ < end_ && *p_ >= '0' && *p_ <= '9');
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
      tokens.push_back({false, Units(), std::stoll(std::string(start, p_))});
    }
  }

  const char* p_;
  const char* end_;
};

void Expect(std::vector<Token>& expected, const std::wstring& text) { expected.push_back({true, ToUnits(text), 0}); }

bool IsHexDigest(const std::wstring& text) {
  if (text.size() != 64) return false;
  for (wchar_t unit : text) {
    if (!((unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'f') || (unit >= L'A' && unit <= L'F')))
      return false;
  }
  return true;
}

bool StartsWithHttp(const std::wstring& url) {
  const wchar_t* scheme = L"http://";
  for (size_t i = 0; i < 7; ++i) {
    if (i >= url.size()) return false;
    const wchar_t unit = url[i] >= L'A' && url[i] <= L'Z' ? static_cast<wchar_t>(url[i] + 32) : url[i];
    if (unit != scheme[i]) return false;
  }
  return true;
}

void CheckEqual(const std::vector<Token>& got, const std::vector<Token>& want) {
  Require(got.size() == want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    Require(got[i].isString == want[i].isString && got[i].text == want[i].text && got[i].number == want[i].number);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input's bytes taken as UTF-16 units: any unit, lone surrogates and U+0000 among them.
  std::wstring units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  std::vector<Token> quoted;
  StrictReader(JsonQuote(units) + "\n").Document(quoted);
  Require(quoted.size() == 1 && quoted[0].text == ToUnits(units));

  // The input as a manifest body: the report must say what the parse says, of the list a signature
  // covers when the body is signed.
  const std::string body(reinterpret_cast<const char*>(data), size);
  const CheckReport report = CheckManifestBody(body, true);
  std::vector<Token> tokens;
  StrictReader(report.output).Document(tokens);
  size_t signedLength = 0;
  std::vector<ListSignatureLine> lines;
  const ListTrailer trailer = SplitSignedList(body, signedLength, lines);
  const bool isSigned = trailer == ListTrailer::Signed;
  const std::string signedPart = isSigned ? body.substr(0, signedLength) : body;
  ListClaims claims;
  ReadListClaims(signedPart, claims);
  Manifest manifest;
  std::wstring error;
  std::vector<Token> expected;
  if (ReadManifestBody(signedPart, manifest, error)) {
    Require(report.exitCode == 0);
    for (const wchar_t* key : {L"ok", L"status"}) Expect(expected, key);
    Expect(expected, ManifestStatusText(manifest.files.size()));
    Expect(expected, L"schema");
    Expect(expected, manifest.schema);
    Expect(expected, L"files");
    for (const ManifestEntry& entry : manifest.files) {
      Expect(expected, L"name");
      Expect(expected, entry.name);
      Expect(expected, L"url");
      Expect(expected, entry.url);
      Expect(expected, L"size");
      expected.push_back({false, Units(), static_cast<long long>(entry.size)});
      Expect(expected, L"modified_at");
      Expect(expected, entry.modified_at);
      Expect(expected, L"ext");
      Expect(expected, entry.ext);
      Expect(expected, L"sha256");
      Expect(expected, entry.sha256);
      Expect(expected, L"cells");
      Expect(expected, DisplayFileName(entry.name));
      Expect(expected, FormatDate(entry.modified_at));
      Expect(expected, FormatSize(entry.size));
      Expect(expected, FormatType(entry.name));
    }
    Expect(expected, L"problems");
    size_t problems = 0;
    if (trailer == ListTrailer::Broken || (isSigned && !claims.wellFormed)) {
      Expect(expected, isSigned ? kNoClaimsText : kBrokenSignatureText);
      ++problems;
    }
    for (size_t i = 0; i < manifest.files.size(); ++i) {
      const ManifestEntry& entry = manifest.files[i];
      const std::wstring which = L"Entry " + std::to_wstring(i + 1) + L" (" + DisplayFileName(entry.name) + L"): ";
      std::wstring refusal;
      if (!CheckDownloadName(entry.name, refusal)) {
        Expect(expected, which + refusal);
        ++problems;
      }
      if (ExtDiffersFromName(entry.ext, entry.name)) {
        Expect(expected, which + kExtDiffersText);
        ++problems;
      }
      if (!entry.sha256.empty() && !IsHexDigest(entry.sha256)) {
        Expect(expected, which + L"malformed sha256.");
        ++problems;
      } else if (entry.sha256.empty() && isSigned) {
        Expect(expected, which + kNoChecksumInSignedListText);
        ++problems;
      } else if (entry.sha256.empty() && StartsWithHttp(entry.url)) {
        Expect(expected, which + L"http URL without sha256; the launcher will refuse it.");
        ++problems;
      }
    }
    Require(report.problemCount == problems);
    if (isSigned) {
      Expect(expected, L"signature");
      Expect(expected, L"keys");
      for (const ListSignatureLine& line : lines) Expect(expected, std::wstring(line.keyId.begin(), line.keyId.end()));
      if (claims.wellFormed) {
        Expect(expected, L"serial");
        expected.push_back({false, Units(), static_cast<long long>(claims.serial)});
        Expect(expected, L"expires");
        Expect(expected, claims.expires);
        if (!claims.revoke.empty()) Expect(expected, L"revoke");
        for (const std::string& keyId : claims.revoke) Expect(expected, std::wstring(keyId.begin(), keyId.end()));
      }
    }
  } else {
    Require(report.exitCode == 1);
    Expect(expected, L"ok");
    Expect(expected, L"status");
    Expect(expected, error);
  }
  CheckEqual(tokens, expected);
  return 0;
}
