#pragma once
// Whether a launcher that pins list keys accepts a fetched list, decided over facts the platform
// has already established (which signature lines verify with which pinned key, the digest of S,
// the time), and what it then remembers. The order of the rules is the order of the texts below:
// the first rule a list breaks is the one the user is told about.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "manifest/manifest.h"
#include "trust/signed_list.h"

constexpr const wchar_t* kListNotSignedText = L"The download list is not signed by its publisher; refusing it.";
constexpr const wchar_t* kListClaimsText = L"The download list has no valid serial or expiry; refusing it.";
constexpr const wchar_t* kListOlderText = L"The download list is older than one this computer has seen; refusing it.";
// With the expiry as "YYYY-MM-DD HH:MM UTC" in place of %s.
constexpr const wchar_t* kListExpiredFormat = L"The download list expired on %s; check this computer's date and time.";

constexpr size_t kListDigestBytes = 32;  // SHA-256 of S: what identifies a list

// Signing keys sign every list; recovery keys are kept offline, and only a list they sign may
// withdraw keys.
enum class ListKeyRole { Signing, Recovery };

struct PinnedListKey {
  ListKeyRole role = ListKeyRole::Signing;
  unsigned char xy[kListPublicKeyBytes] = {};  // X then Y of the P-256 point
  std::string keyId;                           // from the key's SPKI; empty when it could not be computed
};

// What the build fixed beside its keys.
struct ListBuildLimits {
  uint64_t minSerial = 0;  // no list below it, even on a computer that has seen none
  int64_t builtAt = 0;     // seconds since 1970: a list that expired before the build never counts
};

// What this user's computer remembers of the lists it has accepted.
struct ListMemory {
  uint64_t serial = 0;  // 0: none remembered
  bool hasDigest = false;
  unsigned char digest[kListDigestBytes] = {};
  std::vector<std::string> revokedKeys;  // key ids, in the order they were withdrawn
};

// One signature line, as checked against the pinned keys: `verified` when a pinned key of its id
// verifies it over the context line and S, and then that key's role.
struct CheckedSignature {
  std::string keyId;
  bool verified = false;
  ListKeyRole role = ListKeyRole::Signing;
};

// A fetched body and what the platform found out about it before any of it was parsed.
struct ListFacts {
  ListTrailer trailer = ListTrailer::None;
  size_t signedLength = 0;  // the length of S when signed
  std::vector<CheckedSignature> signatures;
  unsigned char digest[kListDigestBytes] = {};  // SHA-256 of S
  int64_t now = 0;                              // seconds since 1970, UTC
};

// True when the list is accepted: `manifest` then holds S's entries, newest first, and is marked
// as vouched for, and `next` is what the computer is to remember from now on (equal to `seen` when
// nothing changes). False with the one text the user sees; `manifest` and `next` are then unused.
bool JudgeList(const std::string& body, const ListFacts& facts, const ListBuildLimits& limits, const ListMemory& seen,
               Manifest& manifest, ListMemory& next, std::wstring& error);
