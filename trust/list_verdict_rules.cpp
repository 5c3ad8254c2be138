#include "trust/list_verdict_rules.h"

#include <algorithm>
#include <cstring>

namespace {

bool Contains(const std::vector<std::string>& keyIds, const std::string& keyId) {
  return std::find(keyIds.begin(), keyIds.end(), keyId) != keyIds.end();
}

// Signed: the body splits, and at least one line verifies with a pinned key not withdrawn (a line
// of an unknown or withdrawn key is passed over). `byRecovery` tells whether one is a recovery key's.
bool SignedByPinnedKey(const ListFacts& facts, const ListMemory& seen, bool& byRecovery) {
  byRecovery = false;
  if (facts.trailer != ListTrailer::Signed || facts.signedLength == 0) return false;
  bool signedBy = false;
  for (const CheckedSignature& line : facts.signatures) {
    if (!line.verified || Contains(seen.revokedKeys, line.keyId)) continue;
    signedBy = true;
    byRecovery = byRecovery || line.role == ListKeyRole::Recovery;
  }
  return signedBy;
}

// The keys a recovery-signed list withdraws that this computer has not yet withdrawn.
std::vector<std::string> NewlyRevoked(const ListClaims& claims, const ListMemory& seen) {
  std::vector<std::string> fresh;
  for (const std::string& keyId : claims.revoke) {
    if (!Contains(seen.revokedKeys, keyId) && !Contains(fresh, keyId)) fresh.push_back(keyId);
  }
  return fresh;
}

// Not older than what this user has seen, nor than the build's minimum: a higher serial, or the
// same serial with the very same content.
bool NotOlderThanSeen(const ListClaims& claims, const ListFacts& facts, const ListBuildLimits& limits,
                      const ListMemory& seen) {
  const uint64_t floor = std::max(seen.serial, limits.minSerial);
  if (claims.serial > floor) return true;
  return claims.serial == floor && seen.serial == floor && seen.hasDigest &&
         std::memcmp(seen.digest, facts.digest, kListDigestBytes) == 0;
}

std::wstring ExpiredText(int64_t expiresUnix) {
  std::wstring text = kListExpiredFormat;
  const size_t at = text.find(L"%s");
  return text.replace(at, 2, FormatListTimeForUser(expiresUnix));
}

}  // namespace

bool JudgeList(const std::string& body, const ListFacts& facts, const ListBuildLimits& limits, const ListMemory& seen,
               Manifest& manifest, ListMemory& next, std::wstring& error) {
  bool byRecovery = false;
  if (!SignedByPinnedKey(facts, seen, byRecovery) || facts.signedLength > body.size()) {
    error = kListNotSignedText;
    return false;
  }
  const std::string signedPart = body.substr(0, facts.signedLength);
  if (!ParseManifest(signedPart, manifest, error)) return false;
  ListClaims claims;
  ReadListClaims(signedPart, claims);
  if (!claims.wellFormed) {
    error = kListClaimsText;
    return false;
  }
  // Withdrawals count only from a recovery key; one that withdraws a key not yet withdrawn may
  // lower the serial, since whoever held the stolen key may have pushed it up.
  const std::vector<std::string> revoked = byRecovery ? NewlyRevoked(claims, seen) : std::vector<std::string>();
  if (revoked.empty() && !NotOlderThanSeen(claims, facts, limits, seen)) {
    error = kListOlderText;
    return false;
  }
  if (claims.expiresUnix <= facts.now || claims.expiresUnix <= limits.builtAt) {
    error = ExpiredText(claims.expiresUnix);
    return false;
  }
  next = seen;
  next.revokedKeys.insert(next.revokedKeys.end(), revoked.begin(), revoked.end());
  if (!revoked.empty() || claims.serial > seen.serial) {
    next.serial = claims.serial;
    next.hasDigest = true;
    std::memcpy(next.digest, facts.digest, kListDigestBytes);
  }
  manifest.vouched = true;
  return true;
}
