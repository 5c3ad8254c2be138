#include "trust/pinned_list_keys.h"

#include <cstring>
#include <string>

#include "list_keys.h"  // generated into the build's own folder
#include "trust/sha256.h"

namespace {

std::string KeyIdOf(const unsigned char (&xy)[kListPublicKeyBytes]) {
  const std::string spki = ListKeySpki(xy);
  Sha256Hash hash;
  unsigned char digest[kSha256Bytes] = {};
  std::wstring error;
  if (!hash.Start(error) || !hash.Add(spki.data(), static_cast<DWORD>(spki.size()), error) ||
      !hash.Finish(digest, error)) {
    return std::string();
  }
  return ListKeyIdFromDigest(digest);
}

std::vector<PinnedListKey> LoadPinnedKeys() {
  std::vector<PinnedListKey> keys(kBuiltInListKeyCount);
  for (size_t i = 0; i < kBuiltInListKeyCount; ++i) {
    keys[i].role = kBuiltInListKeys[i].role;
    std::memcpy(keys[i].xy, kBuiltInListKeys[i].xy, kListPublicKeyBytes);
    keys[i].keyId = KeyIdOf(keys[i].xy);
  }
  return keys;
}

}  // namespace

bool ListKeysPinned() { return kBuiltInListKeyCount > 0; }

const std::vector<PinnedListKey>& PinnedListKeys() {
  static const std::vector<PinnedListKey> keys = LoadPinnedKeys();
  return keys;
}

ListBuildLimits BuiltInListLimits() {
  ListBuildLimits limits;
  limits.minSerial = kBuiltInListMinSerial;
  limits.builtAt = kBuiltInListTime;
  return limits;
}
