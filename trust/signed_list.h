#pragma once
// The signed download list: a manifest document S followed by one or two signature lines
//   {"quorvel-signature":"ecdsa-p256-sha256 KEYID SIGNATURE"}\n
// each an ECDSA P-256 / SHA-256 signature over kListSignatureContext followed by every byte of S.
// This file reads the format only; hashing and verifying are the platform's (CNG in the launcher,
// libcrypto or CNG in the vendor's tool).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What is signed: this line, then S.
constexpr char kListSignatureContext[] = "quorvel-manifest-signature-v1\n";
constexpr size_t kListSignatureContextBytes = sizeof kListSignatureContext - 1;
constexpr size_t kListKeyIdDigits = 16;                // hex digits of the first 8 bytes of SHA-256(DER SPKI)
constexpr size_t kListSignatureBytes = 64;             // r then s, 32 bytes each, big-endian
constexpr size_t kListPublicKeyBytes = 64;             // X then Y of a P-256 point, 32 bytes each
constexpr size_t kListSpkiBytes = 91;                  // DER SubjectPublicKeyInfo of an uncompressed P-256 key
constexpr uint64_t kMaxListSerial = 9007199254740991;  // 2^53 - 1

struct ListSignatureLine {
  std::string keyId;  // 16 lower-case hex digits
  unsigned char signature[kListSignatureBytes] = {};
};

enum class ListTrailer {
  None,    // no signature line: an ordinary list
  Signed,  // S and one or two well-formed signature lines
  Broken,  // something that names a signature is there, but the body does not split
};

// Splits body as the format says: it ends with a line feed, its last line is a signature line, the
// line before it may be one too; S is everything before the first. Anything else after S (a third
// line, a CR, a space, another member) leaves the body unsigned: Broken when a "quorvel-signature"
// member appears in it, None otherwise. On Signed, signedLength is the length of S and lines holds
// the signature lines in order; otherwise both are left empty.
ListTrailer SplitSignedList(const std::string& body, size_t& signedLength, std::vector<ListSignatureLine>& lines);

// One signature line, its line feed excluded; false unless it is exactly the format's bytes.
bool ParseListSignatureLine(const char* line, size_t length, ListSignatureLine& parsed);
// The signature line for a key id and a signature, its line feed included.
std::string FormatListSignatureLine(const std::string& keyId, const unsigned char (&signature)[kListSignatureBytes]);

// The DER SubjectPublicKeyInfo of the P-256 key X||Y, which a key id is the digest of; and the
// other way, X||Y from such DER (false for anything but an uncompressed P-256 key).
std::string ListKeySpki(const unsigned char (&xy)[kListPublicKeyBytes]);
bool ListKeyFromSpki(const std::string& der, unsigned char (&xy)[kListPublicKeyBytes]);
// The key id: the first 8 bytes of the SPKI's SHA-256, as 16 lower-case hex digits.
std::string ListKeyIdFromDigest(const unsigned char (&spkiSha256)[32]);
bool IsListKeyId(const std::string& text);

// Standard base64 with padding; Decode accepts only the canonical text of exactly `size` bytes.
std::string EncodeBase64(const unsigned char* data, size_t size);
bool DecodeBase64Exactly(const char* text, size_t length, unsigned char* out, size_t size);

// What a signed S says of itself, beside "schema" and "files".
struct ListClaims {
  bool hasSerial = false;
  uint64_t serial = 0;  // 1 to kMaxListSerial
  bool hasExpires = false;
  int64_t expiresUnix = 0;          // seconds since 1970-01-01T00:00:00Z
  std::wstring expires;             // as written: "YYYY-MM-DDTHH:MM:SSZ"
  std::vector<std::string> revoke;  // key ids
  bool wellFormed = false;          // serial and expires present and well-formed, revoke (if any) too
};

// Reads the root object's "serial", "expires" and "revoke" from S; every other member is read
// past. A member that is repeated, or a value of another type or form, leaves wellFormed false.
void ReadListClaims(const std::string& signedPart, ListClaims& claims);

// "YYYY-MM-DDTHH:MM:SSZ" with a real date and time to seconds since 1970; false otherwise.
bool ParseListTime(const std::wstring& text, int64_t& unixSeconds);
// The same moment as "YYYY-MM-DDTHH:MM:SSZ" and as "YYYY-MM-DD HH:MM UTC".
std::wstring FormatListTime(int64_t unixSeconds);
std::wstring FormatListTimeForUser(int64_t unixSeconds);
