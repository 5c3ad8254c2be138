#include "net/manifest_body.h"

bool IsHtmlReply(const std::string& body) {
  for (char byte : body) {
    if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n') continue;
    return byte == '<';
  }
  return false;
}

bool ReadManifestBody(const std::string& body, Manifest& manifest, std::wstring& error) {
  if (IsHtmlReply(body)) {
    error = kHtmlReplyText;
    return false;
  }
  return ParseManifest(body, manifest, error);
}
