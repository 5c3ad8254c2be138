#include "trust/sha256.h"

#include <bcrypt.h>

namespace {

constexpr const wchar_t* kChecksumFailedFormat = L"Could not compute the file's checksum (error 0x%08X).";

std::wstring FailureText(DWORD code) {
  wchar_t buffer[96] = {};
  wsprintfW(buffer, kChecksumFailedFormat, code);
  return buffer;
}

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

// The provider's functions, resolved once per process. `loadError` is 0 when all were found.
struct BcryptApi {
  decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&BCryptCreateHash) create = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finish = nullptr;
  decltype(&BCryptDestroyHash) destroy = nullptr;
  DWORD loadError = 0;
};

BcryptApi LoadBcrypt() {
  BcryptApi api;
  // Only the system folder is searched, so a bcrypt.dll beside the launcher or in the current
  // folder is never loaded.
  const HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module || !Resolve(module, "BCryptOpenAlgorithmProvider", api.open) ||
      !Resolve(module, "BCryptCloseAlgorithmProvider", api.close) || !Resolve(module, "BCryptCreateHash", api.create) ||
      !Resolve(module, "BCryptHashData", api.hashData) || !Resolve(module, "BCryptFinishHash", api.finish) ||
      !Resolve(module, "BCryptDestroyHash", api.destroy)) {
    api.loadError = GetLastError();
    if (api.loadError == 0) api.loadError = ERROR_PROC_NOT_FOUND;
  }
  return api;
}

const BcryptApi& Bcrypt() {
  static const BcryptApi api = LoadBcrypt();
  return api;
}

}  // namespace

void BcryptAlgorithmPolicy::Close(Handle algorithm) { Bcrypt().close(static_cast<BCRYPT_ALG_HANDLE>(algorithm), 0); }

void BcryptHashPolicy::Close(Handle hash) { Bcrypt().destroy(static_cast<BCRYPT_HASH_HANDLE>(hash)); }

bool Sha256Hash::Start(std::wstring& error) {
  const BcryptApi& api = Bcrypt();
  if (api.loadError != 0) {
    error = FailureText(api.loadError);
    return false;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = api.open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(status)) {
    error = FailureText(static_cast<DWORD>(status));
    return false;
  }
  algorithm_.Reset(algorithm);
  BCRYPT_HASH_HANDLE hash = nullptr;
  status = api.create(algorithm, &hash, nullptr, 0, nullptr, 0, 0);  // the provider holds the state
  if (!BCRYPT_SUCCESS(status)) {
    error = FailureText(static_cast<DWORD>(status));
    return false;
  }
  hash_.Reset(hash);
  return true;
}

bool Sha256Hash::Add(const void* data, DWORD size, std::wstring& error) {
  const NTSTATUS status = Bcrypt().hashData(static_cast<BCRYPT_HASH_HANDLE>(hash_.Get()),
                                            static_cast<PUCHAR>(const_cast<void*>(data)), size, 0);
  if (BCRYPT_SUCCESS(status)) return true;
  error = FailureText(static_cast<DWORD>(status));
  return false;
}

bool Sha256Hash::Finish(unsigned char (&digest)[kSha256Bytes], std::wstring& error) {
  const NTSTATUS status = Bcrypt().finish(static_cast<BCRYPT_HASH_HANDLE>(hash_.Get()), digest, kSha256Bytes, 0);
  if (BCRYPT_SUCCESS(status)) return true;
  error = FailureText(static_cast<DWORD>(status));
  return false;
}
