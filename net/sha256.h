#pragma once
// SHA-256 of a download's bytes as they are written, by the system's CNG provider. bcrypt.dll is
// loaded from the system folder only, when a download needs it, and never linked.
#include <windows.h>

#include <memory>
#include <string>

#include "net/download_rules.h"

// Owns the loaded provider and one running hash; releases them once, in reverse order.
class Sha256Hash {
 public:
  Sha256Hash();
  ~Sha256Hash();
  Sha256Hash(const Sha256Hash&) = delete;
  Sha256Hash& operator=(const Sha256Hash&) = delete;

  // Loads the provider and starts an empty hash; false with a wide error text.
  bool Start(std::wstring& error);
  bool Add(const void* data, DWORD size, std::wstring& error);
  // Ends the hash; no more Add afterwards.
  bool Finish(unsigned char (&digest)[kSha256Bytes], std::wstring& error);

 private:
  struct Api;
  HMODULE module_ = nullptr;
  void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE
  void* hash_ = nullptr;       // BCRYPT_HASH_HANDLE
  std::unique_ptr<Api> api_;   // the provider's functions, once resolved
};
