#pragma once
// SHA-256 of a download's bytes as they are written (and of a signed list), by the system's CNG
// provider (trust/bcrypt_api.h).
#include <windows.h>

#include <string>

#include "common/scoped.h"
#include "trust/bcrypt_api.h"
#include "trust/download_rules.h"

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
