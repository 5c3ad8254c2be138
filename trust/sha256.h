#pragma once
// SHA-256 of a download's bytes as they are written, by the system's CNG provider. bcrypt.dll is
// loaded from the system folder only, when a download first needs it, and never linked; it stays
// loaded until the process ends, so its functions stay valid for every owner below.
#include <windows.h>

#include <string>

#include "common/scoped.h"
#include "trust/download_rules.h"

// The provider's algorithm and hash handles (BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE); their closers
// live in sha256.cpp with the functions they call.
struct BcryptAlgorithmPolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle algorithm);
};
struct BcryptHashPolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle hash);
};

// One running hash; the hash goes before the algorithm that made it.
class Sha256Hash {
 public:
  // Loads the provider and starts an empty hash; false with a wide error text.
  bool Start(std::wstring& error);
  bool Add(const void* data, DWORD size, std::wstring& error);
  // Ends the hash; no more Add afterwards.
  bool Finish(unsigned char (&digest)[kSha256Bytes], std::wstring& error);

 private:
  UniqueHandle<BcryptAlgorithmPolicy> algorithm_;
  UniqueHandle<BcryptHashPolicy> hash_;  // declared after algorithm_, so destroyed first
};
