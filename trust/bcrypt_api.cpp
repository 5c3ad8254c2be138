#include "trust/bcrypt_api.h"

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

BcryptApi LoadBcrypt() {
  BcryptApi api;
  // Only the system folder is searched, so a bcrypt.dll beside the launcher or in the current
  // folder is never loaded.
  const HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module || !Resolve(module, "BCryptOpenAlgorithmProvider", api.open) ||
      !Resolve(module, "BCryptCloseAlgorithmProvider", api.close) ||
      !Resolve(module, "BCryptCreateHash", api.createHash) || !Resolve(module, "BCryptHashData", api.hashData) ||
      !Resolve(module, "BCryptFinishHash", api.finishHash) || !Resolve(module, "BCryptDestroyHash", api.destroyHash) ||
      !Resolve(module, "BCryptImportKeyPair", api.importKeyPair) ||
      !Resolve(module, "BCryptVerifySignature", api.verifySignature) ||
      !Resolve(module, "BCryptDestroyKey", api.destroyKey)) {
    api.loadError = GetLastError();
    if (api.loadError == 0) api.loadError = ERROR_PROC_NOT_FOUND;
  }
  return api;
}

}  // namespace

const BcryptApi& Bcrypt() {
  static const BcryptApi api = LoadBcrypt();
  return api;
}
