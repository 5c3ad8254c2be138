#pragma once
// The system's CNG provider, bcrypt.dll, for checksums and list signatures. It is loaded from the
// system folder only, when first needed, and never linked; it stays loaded until the process ends,
// so the functions stay valid for every owner that closes through them.
#include <windows.h>

#include <bcrypt.h>

struct BcryptApi {
  decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&BCryptCreateHash) createHash = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finishHash = nullptr;
  decltype(&BCryptDestroyHash) destroyHash = nullptr;
  decltype(&BCryptImportKeyPair) importKeyPair = nullptr;
  decltype(&BCryptVerifySignature) verifySignature = nullptr;
  decltype(&BCryptDestroyKey) destroyKey = nullptr;
  DWORD loadError = 0;  // 0 when the DLL and every function were found
};

// Loaded once per process, on the first call.
const BcryptApi& Bcrypt();

// Owners of the provider's algorithm, hash and key handles (BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE,
// BCRYPT_KEY_HANDLE). A hash or key goes before the algorithm that made it.
struct BcryptAlgorithmPolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle algorithm) { Bcrypt().close(static_cast<BCRYPT_ALG_HANDLE>(algorithm), 0); }
};
struct BcryptHashPolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle hash) { Bcrypt().destroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash)); }
};
struct BcryptKeyPolicy {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle key) { Bcrypt().destroyKey(static_cast<BCRYPT_KEY_HANDLE>(key)); }
};
