#include "net/sha256.h"

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

}  // namespace

struct Sha256Hash::Api {
  decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&BCryptCreateHash) create = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finish = nullptr;
  decltype(&BCryptDestroyHash) destroy = nullptr;
};

Sha256Hash::Sha256Hash() = default;

Sha256Hash::~Sha256Hash() {
  if (hash_) api_->destroy(static_cast<BCRYPT_HASH_HANDLE>(hash_));
  if (algorithm_) api_->close(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
  if (module_) FreeLibrary(module_);
}

bool Sha256Hash::Start(std::wstring& error) {
  // Only the system folder is searched, so a bcrypt.dll beside the launcher or in the current
  // folder is never loaded.
  module_ = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module_) {
    error = FailureText(GetLastError());
    return false;
  }
  api_.reset(new Api);
  Api* api = api_.get();
  if (!Resolve(module_, "BCryptOpenAlgorithmProvider", api->open) ||
      !Resolve(module_, "BCryptCloseAlgorithmProvider", api->close) ||
      !Resolve(module_, "BCryptCreateHash", api->create) || !Resolve(module_, "BCryptHashData", api->hashData) ||
      !Resolve(module_, "BCryptFinishHash", api->finish) || !Resolve(module_, "BCryptDestroyHash", api->destroy)) {
    error = FailureText(GetLastError());
    return false;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = api->open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(status)) {
    error = FailureText(static_cast<DWORD>(status));
    return false;
  }
  algorithm_ = algorithm;
  BCRYPT_HASH_HANDLE hash = nullptr;
  status = api->create(algorithm, &hash, nullptr, 0, nullptr, 0, 0);  // the provider holds the state
  if (!BCRYPT_SUCCESS(status)) {
    error = FailureText(static_cast<DWORD>(status));
    return false;
  }
  hash_ = hash;
  return true;
}

bool Sha256Hash::Add(const void* data, DWORD size, std::wstring& error) {
  const NTSTATUS status =
      api_->hashData(static_cast<BCRYPT_HASH_HANDLE>(hash_), static_cast<PUCHAR>(const_cast<void*>(data)), size, 0);
  if (BCRYPT_SUCCESS(status)) return true;
  error = FailureText(static_cast<DWORD>(status));
  return false;
}

bool Sha256Hash::Finish(unsigned char (&digest)[kSha256Bytes], std::wstring& error) {
  const NTSTATUS status = api_->finish(static_cast<BCRYPT_HASH_HANDLE>(hash_), digest, kSha256Bytes, 0);
  if (BCRYPT_SUCCESS(status)) return true;
  error = FailureText(static_cast<DWORD>(status));
  return false;
}
