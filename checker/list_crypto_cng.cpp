// The vendor tool's cryptography on Windows: the system's CNG provider, through the launcher's own
// checksum and list verification (bcrypt.dll loaded from the system folder only, never linked and
// never looked for beside the tool). Signing is not offered here.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "checker/check_report.h"
#include "checker/list_crypto.h"
#include "trust/list_signature.h"
#include "trust/sha256.h"

struct ListSigningKey {};

void ListSigningKeyCloser::operator()(ListSigningKey* key) const { delete key; }

const bool kCanSignLists = false;

namespace {

constexpr size_t kMaxKeyFileBytes = 65536;
constexpr const char* kNoSigningText =
    "signing lists is not offered on Windows; sign where the release is made (quorvel-manifest-check on Linux)";

}  // namespace

bool Sha256OfBytes(const std::string& bytes, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  // A list is far below 4 GiB; the provider takes a 32-bit length.
  Sha256Hash hash;
  std::wstring wide;
  if (hash.Start(wide) && hash.Add(bytes.data(), static_cast<DWORD>(bytes.size()), wide) && hash.Finish(digest, wide))
    return true;
  error = WideToUtf8(wide);
  return false;
}

bool Sha256OfFile(const ToolPath& path, unsigned char (&digest)[kSha256Bytes], std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"rb"), std::fclose);
  if (!file) {
    error = "cannot open " + PrintablePath(path) + ": " + std::strerror(errno);
    return false;
  }
  Sha256Hash hash;
  std::wstring wide;
  if (!hash.Start(wide)) {
    error = WideToUtf8(wide);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    if (!hash.Add(buffer.data(), static_cast<DWORD>(got), wide)) {
      error = WideToUtf8(wide);
      return false;
    }
  }
  if (std::ferror(file.get())) {
    error = "cannot read " + PrintablePath(path);
    return false;
  }
  if (hash.Finish(digest, wide)) return true;
  error = WideToUtf8(wide);
  return false;
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
  // The launcher's own verification, over the same message.
  unsigned char digest[kSha256Bytes];
  std::wstring error;
  if (!ListMessageDigest(signedPart, signedPart.size(), digest, error)) return false;
  PinnedListKey pinned;
  std::memcpy(pinned.xy, key.xy, kListPublicKeyBytes);
  return VerifyListSignature(pinned, digest, signature);
}

bool ReadListSigningKey(const ToolPath&, const std::string&, ListSigningKeyOwner&, ListPublicKey&, std::string& error) {
  error = kNoSigningText;
  return false;
}

bool SignList(ListSigningKey&, const std::string&, unsigned char (&)[kListSignatureBytes], std::string& error) {
  error = kNoSigningText;
  return false;
}
