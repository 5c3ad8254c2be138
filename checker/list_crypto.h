#pragma once
// The vendor tool's cryptography, all of it from the platform: libcrypto on Linux
// (list_crypto_openssl.cpp), CNG on Windows (list_crypto_cng.cpp). Windows hashes and verifies
// only; lists are signed on the machine that makes the release.
#include <memory>
#include <string>

#include "checker/list_keys.h"
#include "checker/tool_files.h"
#include "trust/download_rules.h"
#include "trust/signed_list.h"

// A private key held by the platform's library; only where kCanSignLists.
struct ListSigningKey;
struct ListSigningKeyCloser {
  void operator()(ListSigningKey* key) const;
};
using ListSigningKeyOwner = std::unique_ptr<ListSigningKey, ListSigningKeyCloser>;

extern const bool kCanSignLists;

// SHA-256 of bytes, and of a file read to its end. False with an error text.
bool Sha256OfBytes(const std::string& bytes, unsigned char (&digest)[kSha256Bytes], std::string& error);
bool Sha256OfFile(const ToolPath& path, unsigned char (&digest)[kSha256Bytes], std::string& error);

// A PEM SubjectPublicKeyInfo ("BEGIN PUBLIC KEY") of a P-256 key; anything else is refused with a
// text that says what the file holds instead.
bool ReadListPublicKey(const ToolPath& path, ListPublicKey& key, std::string& error);

// True when signature (r then s) is an ECDSA P-256 / SHA-256 signature by key over the context
// line followed by signedPart. A failure of the library counts as no.
bool VerifyListSignature(const ListPublicKey& key, const std::string& signedPart,
                         const unsigned char (&signature)[kListSignatureBytes]);

// An encrypted PKCS#8 PEM P-256 private key ("BEGIN ENCRYPTED PRIVATE KEY") opened with
// passphrase, and its public half.
bool ReadListSigningKey(const ToolPath& path, const std::string& passphrase, ListSigningKeyOwner& key,
                        ListPublicKey& publicKey, std::string& error);
// Signs the context line followed by signedPart.
bool SignList(ListSigningKey& key, const std::string& signedPart, unsigned char (&signature)[kListSignatureBytes],
              std::string& error);
