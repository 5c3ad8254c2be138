// The vendor tool's cryptography on Windows: the system's CNG provider. bcrypt.dll is loaded from the
// system folder only, never linked and never looked for beside the tool. Signing is not offered here.
#include <windows.h>

#include <bcrypt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "checker/list_crypto.h"

struct ListSigningKey {};

void ListSigningKeyCloser::operator()(ListSigningKey* key) const { delete key; }

const bool kCanSignLists = false;

namespace {

constexpr size_t kMaxKeyFileBytes = 65536;
constexpr const char* kNoSigningText =
    "signing lists is not offered on Windows; sign where the release is made (quorvel-manifest-check on Linux)";

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

struct Cng {
  decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&BCryptCreateHash) createHash = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finishHash = nullptr;
  decltype(&BCryptDestroyHash) destroyHash = nullptr;
  decltype(&BCryptImportKeyPair) importKey = nullptr;
  decltype(&BCryptDestroyKey) destroyKey = nullptr;
  decltype(&BCryptVerifySignature) verify = nullptr;
  bool loaded = false;
};

const Cng& Api() {
  static const Cng api = [] {
    Cng cng;
    const HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    cng.loaded =
        module && Resolve(module, "BCryptOpenAlgorithmProvider", cng.open) &&
        Resolve(module, "BCryptCloseAlgorithmProvider", cng.close) &&
        Resolve(module, "BCryptCreateHash", cng.createHash) && Resolve(module, "BCryptHashData", cng.hashData) &&
        Resolve(module, "BCryptFinishHash", cng.finishHash) && Resolve(module, "BCryptDestroyHash", cng.destroyHash) &&
        Resolve(module, "BCryptImportKeyPair", cng.importKey) && Resolve(module, "BCryptDestroyKey", cng.destroyKey) &&
        Resolve(module, "BCryptVerifySignature", cng.verify);
    return cng;
  }();
  return api;
}

std::string StatusText(const char* what, NTSTATUS status) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (status 0x%08lX)", what, static_cast<unsigned long>(status));
  return text;
}

// One algorithm provider, closed when it goes.
struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~Algorithm() {
    if (handle) Api().close(handle, 0);
  }
};

// One running SHA-256; the hash goes before the algorithm that made it.
struct Hash {
  Algorithm algorithm;
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~Hash() {
    if (handle) Api().destroyHash(handle);
  }
  bool Start(std::string& error) {
    if (!Api().loaded) {
      error = "cannot load the system's bcrypt.dll";
      return false;
    }
    NTSTATUS status = Api().open(&algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (BCRYPT_SUCCESS(status)) status = Api().createHash(algorithm.handle, &handle, nullptr, 0, nullptr, 0, 0);
    if (BCRYPT_SUCCESS(status)) return true;
    error = StatusText("SHA-256", status);
    return false;
  }
  bool Add(const void* data, size_t size, std::string& error) {
    const NTSTATUS status =
        Api().hashData(handle, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0);
    if (BCRYPT_SUCCESS(status)) return true;
    error = StatusText("SHA-256", status);
    return false;
  }
  bool Finish(unsigned char (&digest)[kSha256Bytes], std::string& error) {
    const NTSTATUS status = Api().finishHash(handle, digest, kSha256Bytes, 0);
    if (BCRYPT_SUCCESS(status)) return true;
    error = StatusText("SHA-256", status);
    return false;
  }
};

struct Key {
  BCRYPT_KEY_HANDLE handle = nullptr;
  ~Key() {
    if (handle) Api().destroyKey(handle);
  }
};

}  // namespace

bool Sha256OfBytes(const std::string& bytes, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  Hash hash;
  return hash.Start(error) && hash.Add(bytes.data(), bytes.size(), error) && hash.Finish(digest, error);
}

bool Sha256OfFile(const ToolPath& path, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"rb"), std::fclose);
  if (!file) {
    error = "cannot open " + PrintablePath(path) + ": " + std::strerror(errno);
    return false;
  }
  Hash hash;
  if (!hash.Start(error)) return false;
  std::vector<char> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    if (!hash.Add(buffer.data(), got, error)) return false;
  }
  if (std::ferror(file.get())) {
    error = "cannot read " + PrintablePath(path);
    return false;
  }
  return hash.Finish(digest, error);
}

bool ReadListPublicKey(const ToolPath& path, ListPublicKey& key, std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, kMaxKeyFileBytes, text, error)) return false;
  const std::string source = PrintablePath(path);
  std::string der;
  if (!PemBlock(text, "PUBLIC KEY", der)) {
    error = PemLabel(text) == "PUBLIC KEY" ? "cannot read the public key in " + source + ": its base64 is damaged"
                                           : WrongKeyText(source, PemLabel(text), "PUBLIC KEY");
    return false;
  }
  return ListPublicKeyFromSpki(der, source, key, error);
}

bool VerifyListSignature(const ListPublicKey& key, const std::string& signedPart,
                         const unsigned char (&signature)[kListSignatureBytes]) {
  unsigned char digest[kSha256Bytes];
  std::string error;
  Hash hash;
  if (!hash.Start(error) || !hash.Add(kListSignatureContext, kListSignatureContextBytes, error) ||
      !hash.Add(signedPart.data(), signedPart.size(), error) || !hash.Finish(digest, error)) {
    return false;
  }
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kListPublicKeyBytes];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kListPublicKeyBytes / 2};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.xy, kListPublicKeyBytes);
  Algorithm algorithm;
  Key publicKey;
  if (!BCRYPT_SUCCESS(Api().open(&algorithm.handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(
          Api().importKey(algorithm.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &publicKey.handle, blob, sizeof blob, 0))) {
    return false;
  }
  unsigned char copy[kListSignatureBytes];
  std::memcpy(copy, signature, sizeof copy);
  return BCRYPT_SUCCESS(Api().verify(publicKey.handle, nullptr, digest, kSha256Bytes, copy, sizeof copy, 0));
}

bool ReadListSigningKey(const ToolPath&, const std::string&, ListSigningKeyOwner&, ListPublicKey&, std::string& error) {
  error = kNoSigningText;
  return false;
}

bool SignList(ListSigningKey&, const std::string&, unsigned char (&)[kListSignatureBytes], std::string& error) {
  error = kNoSigningText;
  return false;
}
