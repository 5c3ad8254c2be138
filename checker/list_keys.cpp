#include "checker/list_keys.h"

#include "checker/list_crypto.h"

namespace {

constexpr char kBegin[] = "-----BEGIN ";
constexpr char kDashes[] = "-----";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string PemLabel(const std::string& text) {
  const size_t begin = text.find(kBegin);
  if (begin == std::string::npos) return std::string();
  const size_t start = begin + sizeof kBegin - 1;
  const size_t end = text.find(kDashes, start);
  if (end == std::string::npos || text.find('\n', start) < end) return std::string();
  return text.substr(start, end - start);
}

bool PemBlock(const std::string& text, const std::string& label, std::string& der) {
  if (PemLabel(text) != label) return false;
  const std::string header = kBegin + label + kDashes;
  const std::string footer = "-----END " + label + kDashes;
  const size_t start = text.find(header) + header.size();
  const size_t end = text.find(footer, start);
  if (end == std::string::npos) return false;
  std::string base64;
  for (size_t i = start; i < end; ++i) {
    if (!IsSpace(text[i])) base64 += text[i];
  }
  if (base64.empty() || base64.size() % 4 != 0) return false;
  const size_t padding = base64[base64.size() - 1] != '=' ? 0 : base64[base64.size() - 2] != '=' ? 1 : 2;
  der.assign(base64.size() / 4 * 3 - padding, '\0');
  return DecodeBase64Exactly(base64.data(), base64.size(), reinterpret_cast<unsigned char*>(&der[0]), der.size());
}

std::string WrongKeyText(const std::string& source, const std::string& label, const std::string& wantLabel) {
  const bool isPrivate = label == "ENCRYPTED PRIVATE KEY" || label == "PRIVATE KEY" || label == "EC PRIVATE KEY";
  if (label.empty()) return source + " holds no PEM key (no \"-----BEGIN\" line)";
  if (wantLabel == "PUBLIC KEY" && isPrivate) {
    return source + " is a private key; give its public key (BEGIN PUBLIC KEY), made with: openssl pkey -in " + source +
           " -pubout -out key.pub.pem";
  }
  if (wantLabel == "ENCRYPTED PRIVATE KEY" && label == "PUBLIC KEY") {
    return source + " is a public key; signing needs the private key (BEGIN ENCRYPTED PRIVATE KEY)";
  }
  if (wantLabel == "ENCRYPTED PRIVATE KEY" && isPrivate) {
    return source + " is a private key that is not encrypted; encrypt it with: openssl pkcs8 -topk8 -v2 aes-256-cbc " +
           "-iter 600000 -in " + source + " -out signing.key.pem";
  }
  return source + " holds a \"BEGIN " + label + "\" block, not \"BEGIN " + wantLabel + "\"";
}

bool ListPublicKeyFromSpki(const std::string& der, const std::string& source, ListPublicKey& key, std::string& error) {
  if (!ListKeyFromSpki(der, key.xy)) {
    error = source + " is not a P-256 public key (the list format takes ECDSA keys on the curve P-256 only)";
    return false;
  }
  unsigned char digest[kSha256Bytes];
  if (!Sha256OfBytes(der, digest, error)) return false;
  key.keyId = ListKeyIdFromDigest(digest);
  key.source = source;
  return true;
}
