#include "trust/signed_list.h"

#include <cstring>
#include <cwchar>

#include "manifest/json_cursor.h"

namespace {

constexpr char kLinePrefix[] = "{\"quorvel-signature\":\"ecdsa-p256-sha256 ";
constexpr size_t kLinePrefixBytes = sizeof kLinePrefix - 1;
constexpr char kLineSuffix[] = "\"}";
constexpr size_t kBase64SignatureChars = 88;
constexpr size_t kLineBytes = kLinePrefixBytes + kListKeyIdDigits + 1 + kBase64SignatureChars + 2;
constexpr char kSignatureMember[] = "\"quorvel-signature\"";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The DER of an uncompressed P-256 SubjectPublicKeyInfo up to the point's X and Y.
constexpr unsigned char kP256SpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                             0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                             0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
static_assert(sizeof kP256SpkiPrefix + kListPublicKeyBytes == kListSpkiBytes, "P-256 SPKI is 91 bytes");

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The line that ends with the line feed at body[end] starts here.
size_t LineStart(const std::string& body, size_t end) {
  if (end == 0) return 0;
  const size_t previous = body.rfind('\n', end - 1);
  return previous == std::string::npos ? 0 : previous + 1;
}

// The signature line ending with the line feed at body[end], if that line is one.
bool SignatureLineEndingAt(const std::string& body, size_t end, size_t& start, ListSignatureLine& line) {
  start = LineStart(body, end);
  return ParseListSignatureLine(body.data() + start, end - start, line);
}

// A "quorvel-signature" member (the quoted name, then a colon) anywhere in the body. No string value
// can hold the quoted name unescaped, so only a member, or the start of one, matches.
bool NamesSignatureMember(const std::string& body) {
  for (size_t at = body.find(kSignatureMember); at != std::string::npos; at = body.find(kSignatureMember, at + 1)) {
    size_t next = at + sizeof kSignatureMember - 1;
    while (next < body.size() && (body[next] == ' ' || body[next] == '\t' || body[next] == '\r' || body[next] == '\n'))
      ++next;
    if (next < body.size() && body[next] == ':') return true;
  }
  return false;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  month = shifted < 10 ? shifted + 3 : shifted - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

unsigned DaysInMonth(int64_t year, unsigned month) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool ReadDigits(const std::wstring& text, size_t at, size_t count, unsigned& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - L'0');
  }
  return true;
}

// A JSON number that is a plain positive integer no larger than kMaxListSerial: digits only, no
// sign, leading zero, fraction or exponent.
bool ReadSerial(JsonCursor& cursor, uint64_t& serial) {
  SkipWhitespace(cursor);
  const char* p = cursor.position;
  const char* const start = p;
  uint64_t value = 0;
  while (p != cursor.end && *p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > kMaxListSerial) return false;
    ++p;
  }
  if (p == start || *start == '0') return false;
  if (p != cursor.end && (*p == '.' || *p == 'e' || *p == 'E')) return false;
  cursor.position = p;
  serial = value;
  return true;
}

bool Consume(JsonCursor& cursor, char byte) {
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end || *cursor.position != byte) return false;
  ++cursor.position;
  return true;
}

bool ReadKeyIdArray(JsonCursor& cursor, std::vector<std::string>& keyIds) {
  if (!Consume(cursor, '[')) return false;
  if (Consume(cursor, ']')) return true;
  std::wstring text;
  for (;;) {
    if (!ReadString(cursor, text)) return false;
    std::string keyId;
    for (wchar_t unit : text) keyId += unit < 0x80 ? static_cast<char>(unit) : '?';
    if (!IsListKeyId(keyId)) return false;
    keyIds.push_back(keyId);
    if (Consume(cursor, ']')) return true;
    if (!Consume(cursor, ',')) return false;
  }
}

bool ReadClaims(JsonCursor& cursor, ListClaims& claims) {
  if (!Consume(cursor, '{')) return false;
  if (Consume(cursor, '}')) return true;
  bool hasRevoke = false;
  std::wstring key;
  for (;;) {
    if (!ReadString(cursor, key) || !Consume(cursor, ':')) return false;
    if (key == L"serial") {
      if (claims.hasSerial || !ReadSerial(cursor, claims.serial)) return false;
      claims.hasSerial = true;
    } else if (key == L"expires") {
      if (claims.hasExpires || !ReadString(cursor, claims.expires) ||
          !ParseListTime(claims.expires, claims.expiresUnix)) {
        return false;
      }
      claims.hasExpires = true;
    } else if (key == L"revoke") {
      if (hasRevoke || !ReadKeyIdArray(cursor, claims.revoke)) return false;
      hasRevoke = true;
    } else if (!SkipValue(cursor, key)) {
      return false;
    }
    if (Consume(cursor, '}')) return true;
    if (!Consume(cursor, ',')) return false;
  }
}

}  // namespace

ListTrailer SplitSignedList(const std::string& body, size_t& signedLength, std::vector<ListSignatureLine>& lines) {
  signedLength = 0;
  lines.clear();
  const ListTrailer notSigned = NamesSignatureMember(body) ? ListTrailer::Broken : ListTrailer::None;
  if (body.empty() || body.back() != '\n') return notSigned;
  ListSignatureLine last;
  size_t first = 0;
  if (!SignatureLineEndingAt(body, body.size() - 1, first, last)) return notSigned;
  ListSignatureLine before;
  size_t start = 0;
  const bool two = first > 0 && SignatureLineEndingAt(body, first - 1, start, before);
  if (two) first = start;
  // S itself must not end in a signature line (a third one), and must not be empty.
  ListSignatureLine third;
  if (first == 0 || SignatureLineEndingAt(body, first - 1, start, third)) return notSigned;
  signedLength = first;
  if (two) lines.push_back(before);
  lines.push_back(last);
  return ListTrailer::Signed;
}

bool ParseListSignatureLine(const char* line, size_t length, ListSignatureLine& parsed) {
  if (length != kLineBytes || std::memcmp(line, kLinePrefix, kLinePrefixBytes) != 0) return false;
  const char* keyId = line + kLinePrefixBytes;
  const char* signature = keyId + kListKeyIdDigits + 1;
  const char* suffix = signature + kBase64SignatureChars;
  if (keyId[kListKeyIdDigits] != ' ' || std::memcmp(suffix, kLineSuffix, 2) != 0) return false;
  const std::string id(keyId, kListKeyIdDigits);
  if (!IsListKeyId(id)) return false;
  if (!DecodeBase64Exactly(signature, kBase64SignatureChars, parsed.signature, kListSignatureBytes)) return false;
  parsed.keyId = id;
  return true;
}

std::string FormatListSignatureLine(const std::string& keyId, const unsigned char (&signature)[kListSignatureBytes]) {
  return kLinePrefix + keyId + " " + EncodeBase64(signature, kListSignatureBytes) + kLineSuffix + "\n";
}

std::string ListKeySpki(const unsigned char (&xy)[kListPublicKeyBytes]) {
  std::string der(reinterpret_cast<const char*>(kP256SpkiPrefix), sizeof kP256SpkiPrefix);
  der.append(reinterpret_cast<const char*>(xy), kListPublicKeyBytes);
  return der;
}

bool ListKeyFromSpki(const std::string& der, unsigned char (&xy)[kListPublicKeyBytes]) {
  if (der.size() != kListSpkiBytes || std::memcmp(der.data(), kP256SpkiPrefix, sizeof kP256SpkiPrefix) != 0) {
    return false;
  }
  std::memcpy(xy, der.data() + sizeof kP256SpkiPrefix, kListPublicKeyBytes);
  return true;
}

std::string ListKeyIdFromDigest(const unsigned char (&spkiSha256)[32]) {
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  for (size_t i = 0; i < kListKeyIdDigits / 2; ++i) {
    id += kHex[spkiSha256[i] >> 4];
    id += kHex[spkiSha256[i] & 0xF];
  }
  return id;
}

bool IsListKeyId(const std::string& text) {
  if (text.size() != kListKeyIdDigits) return false;
  for (char c : text) {
    if (!IsLowerHex(c)) return false;
  }
  return true;
}

std::string EncodeBase64(const unsigned char* data, size_t size) {
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const unsigned bits = (data[i] << 16) | (i + 1 < size ? data[i + 1] << 8 : 0) | (i + 2 < size ? data[i + 2] : 0);
    text += kBase64Alphabet[(bits >> 18) & 63];
    text += kBase64Alphabet[(bits >> 12) & 63];
    text += i + 1 < size ? kBase64Alphabet[(bits >> 6) & 63] : '=';
    text += i + 2 < size ? kBase64Alphabet[bits & 63] : '=';
  }
  return text;
}

bool DecodeBase64Exactly(const char* text, size_t length, unsigned char* out, size_t size) {
  if (length != (size + 2) / 3 * 4) return false;
  const size_t padding = (3 - size % 3) % 3;
  size_t written = 0;
  for (size_t i = 0; i < length; i += 4) {
    const bool lastQuad = i + 4 == length;
    unsigned bits = 0;
    for (size_t j = 0; j < 4; ++j) {
      const bool padded = lastQuad && j >= 4 - padding;
      const int value = padded ? (text[i + j] == '=' ? 0 : -1) : Base64Value(text[i + j]);
      if (value < 0) return false;
      bits = (bits << 6) | static_cast<unsigned>(value);
    }
    const unsigned char bytes[3] = {static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 8),
                                    static_cast<unsigned char>(bits)};
    const size_t take = lastQuad ? 3 - padding : 3;
    // Canonical only: the bits a padded quad does not use are zero.
    for (size_t k = take; k < 3; ++k) {
      if (bytes[k] != 0) return false;
    }
    for (size_t k = 0; k < take; ++k) out[written++] = bytes[k];
  }
  return written == size;
}

void ReadListClaims(const std::string& signedPart, ListClaims& claims) {
  claims = ListClaims();
  JsonCursor cursor = MakeJsonCursor(signedPart);
  const bool read = ReadClaims(cursor, claims);
  claims.wellFormed = read && claims.hasSerial && claims.hasExpires;
}

bool ParseListTime(const std::wstring& text, int64_t& unixSeconds) {
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20 || text[4] != L'-' || text[7] != L'-' || text[10] != L'T' || text[13] != L':' ||
      text[16] != L':' || text[19] != L'Z') {
    return false;
  }
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) || !ReadDigits(text, 8, 2, day) ||
      !ReadDigits(text, 11, 2, hour) || !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  unixSeconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::wstring FormatListTime(int64_t unixSeconds) {
  int64_t days = unixSeconds / 86400;
  int64_t rest = unixSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  wchar_t buffer[32] = {};
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%04lld-%02u-%02uT%02u:%02u:%02uZ",
                static_cast<long long>(year), month, day, static_cast<unsigned>(rest / 3600),
                static_cast<unsigned>(rest / 60 % 60), static_cast<unsigned>(rest % 60));
  return buffer;
}

std::wstring FormatListTimeForUser(int64_t unixSeconds) {
  const std::wstring full = FormatListTime(unixSeconds);
  return full.substr(0, 10) + L" " + full.substr(11, 5) + L" UTC";
}
