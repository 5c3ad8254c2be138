#include "trust/list_signature.h"

#include <cstring>

#include "trust/bcrypt_api.h"
#include "trust/sha256.h"

bool ListMessageDigest(const std::string& body, size_t signedLength, unsigned char (&digest)[kSha256Bytes],
                       std::wstring& error) {
  Sha256Hash hash;
  return hash.Start(error) && hash.Add(kListSignatureContext, static_cast<DWORD>(kListSignatureContextBytes), error) &&
         hash.Add(body.data(), static_cast<DWORD>(signedLength), error) && hash.Finish(digest, error);
}

bool VerifyListSignature(const PinnedListKey& key, const unsigned char (&messageDigest)[kSha256Bytes],
                         const unsigned char (&signature)[kListSignatureBytes]) {
  const BcryptApi& api = Bcrypt();
  if (api.loadError != 0) return false;
  UniqueHandle<BcryptAlgorithmPolicy> algorithm;
  BCRYPT_ALG_HANDLE opened = nullptr;
  if (!BCRYPT_SUCCESS(api.open(&opened, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
  algorithm.Reset(opened);
  // The public key blob: its header, then X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kListPublicKeyBytes] = {};
  BCRYPT_ECCKEY_BLOB header = {};
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = kListPublicKeyBytes / 2;
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.xy, kListPublicKeyBytes);
  UniqueHandle<BcryptKeyPolicy> publicKey;  // declared after the algorithm, so destroyed first
  BCRYPT_KEY_HANDLE imported = nullptr;
  if (!BCRYPT_SUCCESS(api.importKeyPair(opened, nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob, sizeof blob, 0))) {
    return false;
  }
  publicKey.Reset(imported);
  // The provider takes its inputs through non-const pointers and writes to neither.
  return BCRYPT_SUCCESS(api.verifySignature(imported, nullptr, const_cast<PUCHAR>(messageDigest), kSha256Bytes,
                                            const_cast<PUCHAR>(signature), kListSignatureBytes, 0));
}
