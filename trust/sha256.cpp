#include "trust/sha256.h"

namespace {

constexpr const wchar_t* kChecksumFailedFormat = L"Could not compute the file's checksum (error 0x%08X).";

std::wstring FailureText(DWORD code) {
  wchar_t buffer[96] = {};
  wsprintfW(buffer, kChecksumFailedFormat, code);
  return buffer;
}

}  // namespace

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
  status = api.createHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);  // the provider holds the state
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
  const NTSTATUS status = Bcrypt().finishHash(static_cast<BCRYPT_HASH_HANDLE>(hash_.Get()), digest, kSha256Bytes, 0);
  if (BCRYPT_SUCCESS(status)) return true;
  error = FailureText(static_cast<DWORD>(status));
  return false;
}
