#include "trust/list_verdict.h"

#include <windows.h>

#include <ctime>
#include <vector>

#include "trust/list_memory.h"
#include "trust/list_signature.h"
#include "trust/list_verdict_rules.h"
#include "trust/pinned_list_keys.h"
#include "trust/sha256.h"

namespace {

const PinnedListKey* FindPinnedKey(const std::string& keyId) {
  for (const PinnedListKey& key : PinnedListKeys()) {
    if (!key.keyId.empty() && key.keyId == keyId) return &key;
  }
  return nullptr;
}

// Which lines verify with the pinned key their id names. The id only finds the key; the signature
// decides. Nothing of S is read but its bytes as they are hashed.
std::vector<CheckedSignature> CheckSignatures(const std::string& body, size_t signedLength,
                                              const std::vector<ListSignatureLine>& lines) {
  std::vector<CheckedSignature> checked;
  unsigned char messageDigest[kSha256Bytes] = {};
  std::wstring hashError;
  const bool hashed = ListMessageDigest(body, signedLength, messageDigest, hashError);
  for (const ListSignatureLine& line : lines) {
    CheckedSignature check;
    check.keyId = line.keyId;
    if (const PinnedListKey* key = hashed ? FindPinnedKey(line.keyId) : nullptr) {
      check.role = key->role;
      check.verified = VerifyListSignature(*key, messageDigest, line.signature);
    }
    checked.push_back(check);
  }
  return checked;
}

}  // namespace

bool AcceptSignedList(const std::string& body, Manifest& manifest, std::wstring& error) {
  const ListMemory seen = ReadListMemory();
  ListFacts facts;
  facts.now = static_cast<int64_t>(std::time(nullptr));
  std::vector<ListSignatureLine> lines;
  facts.trailer = SplitSignedList(body, facts.signedLength, lines);
  if (facts.trailer == ListTrailer::Signed) {
    facts.signatures = CheckSignatures(body, facts.signedLength, lines);
    Sha256Hash hash;
    std::wstring hashError;
    // Unhashed, S has no identity: no signature counts.
    if (!hash.Start(hashError) || !hash.Add(body.data(), static_cast<DWORD>(facts.signedLength), hashError) ||
        !hash.Finish(facts.digest, hashError)) {
      facts.signatures.clear();
    }
  }
  ListMemory next;
  if (!JudgeList(body, facts, BuiltInListLimits(), seen, manifest, next, error)) return false;
  StoreListMemory(seen, next);
  return true;
}
