#include "checker/list_signing.h"

#include <algorithm>

#include "checker/check_report.h"
#include "manifest/json_cursor.h"

namespace {

std::string RevokeArray(const std::vector<std::string>& keyIds) {
  std::string out = "[";
  for (size_t i = 0; i < keyIds.size(); ++i) out += (i ? ",\"" : "\"") + keyIds[i] + "\"";
  return out + "]";
}

struct Span {
  size_t start = 0;
  size_t end = 0;
  bool found = false;
};

bool Consume(JsonCursor& cursor, char byte) {
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end || *cursor.position != byte) return false;
  ++cursor.position;
  return true;
}

// Where the values of the root's "serial", "expires" and "revoke" members lie in text.
bool FindClaimSpans(const std::string& text, Span& serial, Span& expires, Span& revoke) {
  JsonCursor cursor = MakeJsonCursor(text);
  if (!Consume(cursor, '{')) return false;
  std::wstring key;
  std::wstring scratch;
  for (;;) {
    if (!ReadString(cursor, key) || !Consume(cursor, ':')) return false;
    SkipWhitespace(cursor);
    Span* span = key == L"serial" ? &serial : key == L"expires" ? &expires : key == L"revoke" ? &revoke : nullptr;
    const size_t start = static_cast<size_t>(cursor.position - text.data());
    if (!SkipValue(cursor, scratch)) return false;
    if (span) *span = Span{start, static_cast<size_t>(cursor.position - text.data()), true};
    if (Consume(cursor, '}')) return true;
    if (!Consume(cursor, ',')) return false;
  }
}

}  // namespace

std::string ListClaimsMembers(uint64_t serial, int64_t expiresUnix, const std::vector<std::string>& revoke) {
  std::string out =
      ",\"serial\":" + std::to_string(serial) + ",\"expires\":\"" + WideToUtf8(FormatListTime(expiresUnix)) + "\"";
  if (!revoke.empty()) out += ",\"revoke\":" + RevokeArray(revoke);
  return out;
}

bool RenewSignedPart(const std::string& signedPart, uint64_t serial, int64_t expiresUnix,
                     const std::vector<std::string>& addRevoke, std::string& renewed, std::string& error) {
  ListClaims claims;
  ReadListClaims(signedPart, claims);
  Span serialSpan, expiresSpan, revokeSpan;
  if (!claims.wellFormed || !FindClaimSpans(signedPart, serialSpan, expiresSpan, revokeSpan) || !serialSpan.found ||
      !expiresSpan.found) {
    error = "the list has no valid serial or expiry to renew";
    return false;
  }
  std::vector<std::string> revoke = claims.revoke;
  for (const std::string& keyId : addRevoke) {
    if (std::find(revoke.begin(), revoke.end(), keyId) == revoke.end()) revoke.push_back(keyId);
  }
  struct Edit {
    size_t start, end;
    std::string text;
  };
  std::vector<Edit> edits = {
      {serialSpan.start, serialSpan.end, std::to_string(serial)},
      {expiresSpan.start, expiresSpan.end, "\"" + WideToUtf8(FormatListTime(expiresUnix)) + "\""}};
  if (revoke.size() != claims.revoke.size()) {
    if (revokeSpan.found) {
      edits.push_back({revokeSpan.start, revokeSpan.end, RevokeArray(revoke)});
    } else {
      edits.push_back({expiresSpan.end, expiresSpan.end, ",\"revoke\":" + RevokeArray(revoke)});
    }
  }
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.start < b.start; });
  renewed.clear();
  size_t at = 0;
  for (const Edit& edit : edits) {
    renewed.append(signedPart, at, edit.start - at);
    renewed += edit.text;
    at = edit.end;
  }
  renewed.append(signedPart, at, std::string::npos);
  return true;
}

bool SignListBody(const std::string& signedPart, std::vector<ListSigner>& signers, std::string& body,
                  std::string& error) {
  body = signedPart;
  for (ListSigner& signer : signers) {
    unsigned char signature[kListSignatureBytes];
    if (!SignList(*signer.key, signedPart, signature, error)) return false;
    if (!VerifyListSignature(signer.publicKey, signedPart, signature)) {
      error = "the signature made with " + signer.publicKey.source + " does not verify with its own public key";
      return false;
    }
    body += FormatListSignatureLine(signer.publicKey.keyId, signature);
  }
  return true;
}
