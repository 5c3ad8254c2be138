#pragma once
// ECDSA P-256 signatures over a signed list, verified by the system's CNG provider.
#include <string>

#include "trust/download_rules.h"
#include "trust/list_verdict_rules.h"

// SHA-256 of what a list's signatures sign: the context line, then S (the first signedLength
// bytes of body). False with the checksum error text when CNG fails.
bool ListMessageDigest(const std::string& body, size_t signedLength, unsigned char (&digest)[kSha256Bytes],
                       std::wstring& error);
// True only when the signature (r then s) verifies over the message digest with the key.
bool VerifyListSignature(const PinnedListKey& key, const unsigned char (&messageDigest)[kSha256Bytes],
                         const unsigned char (&signature)[kListSignatureBytes]);
