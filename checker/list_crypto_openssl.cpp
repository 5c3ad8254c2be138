// The vendor tool's cryptography on Linux: OpenSSL's libcrypto.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "checker/list_crypto.h"

struct ListSigningKey {
  EVP_PKEY* key = nullptr;
};

void ListSigningKeyCloser::operator()(ListSigningKey* key) const {
  EVP_PKEY_free(key->key);
  delete key;
}

const bool kCanSignLists = true;

namespace {

constexpr size_t kMaxKeyFileBytes = 65536;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SigFree {
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using PkeyOwner = std::unique_ptr<EVP_PKEY, PkeyFree>;
using BioOwner = std::unique_ptr<BIO, BioFree>;
using MdCtxOwner = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using SigOwner = std::unique_ptr<ECDSA_SIG, SigFree>;

// The library's own words for its last failure, and an empty queue for the next call.
std::string LibraryError() {
  const unsigned long code = ERR_peek_last_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

// "" when key is a P-256 key; else what it is instead.
std::string NotP256(EVP_PKEY* key) {
  if (!EVP_PKEY_is_a(key, "EC")) {
    const char* type = EVP_PKEY_get0_type_name(key);
    return std::string("a key of type ") + (type ? type : "unknown");
  }
  char group[64] = {};
  size_t length = 0;
  if (!EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length)) {
    ERR_clear_error();
    return "an EC key without a named curve";
  }
  if (std::strcmp(group, SN_X9_62_prime256v1) != 0) return std::string("an EC key on the curve ") + group;
  return std::string();
}

bool PublicHalf(EVP_PKEY* key, const std::string& source, ListPublicKey& publicKey, std::string& error) {
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(key, &der);
  if (length <= 0) {
    error = source + ": cannot encode its public key: " + LibraryError();
    return false;
  }
  const std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  return ListPublicKeyFromSpki(bytes, source, publicKey, error);
}

int PassphraseCallback(char* buffer, int size, int, void* passphrase) {
  const std::string& text = *static_cast<const std::string*>(passphrase);
  if (text.size() > static_cast<size_t>(size)) return -1;
  std::memcpy(buffer, text.data(), text.size());
  return static_cast<int>(text.size());
}

}  // namespace

bool Sha256OfBytes(const std::string& bytes, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  unsigned int length = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) || length != kSha256Bytes) {
    error = "SHA-256 failed: " + LibraryError();
    return false;
  }
  return true;
}

bool Sha256OfFile(const ToolPath& path, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  MdCtxOwner context(EVP_MD_CTX_new());
  if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) {
    error = "SHA-256 failed: " + LibraryError();
    return false;
  }
  std::vector<char> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    if (!EVP_DigestUpdate(context.get(), buffer.data(), got)) {
      error = "SHA-256 failed: " + LibraryError();
      return false;
    }
  }
  if (std::ferror(file.get())) {
    error = "cannot read " + path;
    return false;
  }
  unsigned int length = 0;
  if (!EVP_DigestFinal_ex(context.get(), digest, &length) || length != kSha256Bytes) {
    error = "SHA-256 failed: " + LibraryError();
    return false;
  }
  return true;
}

bool ReadListPublicKey(const ToolPath& path, ListPublicKey& key, std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, kMaxKeyFileBytes, text, error)) return false;
  if (PemLabel(text) != "PUBLIC KEY") {
    error = WrongKeyText(path, PemLabel(text), "PUBLIC KEY");
    return false;
  }
  BioOwner bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  PkeyOwner pkey(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!pkey) {
    error = "cannot read the public key in " + path + ": " + LibraryError();
    return false;
  }
  const std::string other = NotP256(pkey.get());
  if (!other.empty()) {
    error = path + " holds " + other + "; the list format takes P-256 keys only";
    return false;
  }
  return PublicHalf(pkey.get(), path, key, error);
}

bool VerifyListSignature(const ListPublicKey& key, const std::string& signedPart,
                         const unsigned char (&signature)[kListSignatureBytes]) {
  const std::string spki = ListKeySpki(key.xy);
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(spki.data());
  PkeyOwner pkey(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(spki.size())));
  SigOwner sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
  if (!pkey || !sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
    BN_free(r);
    BN_free(s);
    ERR_clear_error();
    return false;
  }
  unsigned char* der = nullptr;
  const int derLength = i2d_ECDSA_SIG(sig.get(), &der);
  MdCtxOwner context(EVP_MD_CTX_new());
  const bool verified = derLength > 0 && context &&
                        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) == 1 &&
                        EVP_DigestVerifyUpdate(context.get(), kListSignatureContext, kListSignatureContextBytes) == 1 &&
                        EVP_DigestVerifyUpdate(context.get(), signedPart.data(), signedPart.size()) == 1 &&
                        EVP_DigestVerifyFinal(context.get(), der, static_cast<size_t>(derLength)) == 1;
  OPENSSL_free(der);
  ERR_clear_error();
  return verified;
}

bool ReadListSigningKey(const ToolPath& path, const std::string& passphrase, ListSigningKeyOwner& key,
                        ListPublicKey& publicKey, std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, kMaxKeyFileBytes, text, error)) return false;
  if (PemLabel(text) != "ENCRYPTED PRIVATE KEY") {
    error = WrongKeyText(path, PemLabel(text), "ENCRYPTED PRIVATE KEY");
    return false;
  }
  BioOwner bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  std::string secret = passphrase;
  PkeyOwner pkey(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, PassphraseCallback, &secret) : nullptr);
  OPENSSL_cleanse(&secret[0], secret.size());
  if (!pkey) {
    ERR_clear_error();
    error = "cannot open the private key in " + path + ": wrong passphrase, or the file is damaged";
    return false;
  }
  const std::string other = NotP256(pkey.get());
  if (!other.empty()) {
    error = path + " holds " + other + "; the list format takes P-256 keys only";
    return false;
  }
  if (!PublicHalf(pkey.get(), path, publicKey, error)) return false;
  key.reset(new ListSigningKey{pkey.release()});
  return true;
}

bool SignList(ListSigningKey& key, const std::string& signedPart, unsigned char (&signature)[kListSignatureBytes],
              std::string& error) {
  MdCtxOwner context(EVP_MD_CTX_new());
  size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.key) != 1 ||
      EVP_DigestSignUpdate(context.get(), kListSignatureContext, kListSignatureContextBytes) != 1 ||
      EVP_DigestSignUpdate(context.get(), signedPart.data(), signedPart.size()) != 1 ||
      EVP_DigestSignFinal(context.get(), nullptr, &length) != 1) {
    error = "signing failed: " + LibraryError();
    return false;
  }
  std::vector<unsigned char> der(length);
  if (EVP_DigestSignFinal(context.get(), der.data(), &length) != 1) {
    error = "signing failed: " + LibraryError();
    return false;
  }
  const unsigned char* cursor = der.data();
  SigOwner sig(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  if (sig) ECDSA_SIG_get0(sig.get(), &r, &s);
  if (!r || !s || BN_bn2binpad(r, signature, 32) != 32 || BN_bn2binpad(s, signature + 32, 32) != 32) {
    error = "signing failed: " + LibraryError();
    return false;
  }
  return true;
}
