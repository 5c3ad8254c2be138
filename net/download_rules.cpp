#include "net/download_rules.h"

namespace {

int HexValue(wchar_t unit) {
  if (unit >= L'0' && unit <= L'9') return unit - L'0';
  if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
  if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
  return -1;
}

}  // namespace

bool IsSha256Hex(const std::wstring& text) {
  if (text.size() != 2 * kSha256Bytes) return false;
  for (wchar_t unit : text) {
    if (HexValue(unit) < 0) return false;
  }
  return true;
}

bool IsPlainHttpUrl(const std::wstring& url) {
  static const wchar_t kScheme[] = L"http://";
  if (url.size() < 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    wchar_t unit = url[i];
    if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    if (unit != kScheme[i]) return false;
  }
  return true;
}

bool CheckDownloadRequest(const std::wstring& url, const std::wstring& sha256, std::wstring& error) {
  if (!sha256.empty() && !IsSha256Hex(sha256)) {
    error = kMalformedChecksumText;
    return false;
  }
  // A checksum that came with the manifest over TLS protects a clear-text body; nothing else does.
  if (sha256.empty() && IsPlainHttpUrl(url)) {
    error = kPlainHttpWithoutChecksumText;
    return false;
  }
  return true;
}

bool Sha256HexMatches(const std::wstring& hex, const unsigned char (&digest)[kSha256Bytes]) {
  if (!IsSha256Hex(hex)) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    if (HexValue(hex[2 * i]) != digest[i] >> 4 || HexValue(hex[2 * i + 1]) != (digest[i] & 0xF)) return false;
  }
  return true;
}
