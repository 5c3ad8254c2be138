#include "trust/crypto_api.h"

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  return function != nullptr;
}

CryptoApi LoadCryptoApi() {
  CryptoApi api;
  const HMODULE crypt32 = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const HMODULE wintrust = LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  api.loaded =
      Resolve(wintrust, "WinVerifyTrust", api.verifyTrust) &&
      Resolve(wintrust, "WTHelperProvDataFromStateData", api.providerData) &&
      Resolve(wintrust, "WTHelperGetProvSignerFromChain", api.providerSigner) &&
      Resolve(crypt32, "CertVerifyCertificateChainPolicy", api.chainPolicy) &&
      Resolve(crypt32, "CertGetCertificateChain", api.getChain) &&
      Resolve(crypt32, "CertFreeCertificateChain", api.freeChain) &&
      Resolve(crypt32, "CryptDecodeObjectEx", api.decodeObject) &&
      Resolve(crypt32, "CertFindExtension", api.findExtension) &&
      Resolve(crypt32, "CertRDNValueToStrW", api.rdnValueToText) &&
      Resolve(crypt32, "CryptMsgOpenToDecode", api.openMessage) &&
      Resolve(crypt32, "CryptMsgUpdate", api.updateMessage) && Resolve(crypt32, "CryptMsgGetParam", api.messageParam) &&
      Resolve(crypt32, "CryptMsgControl", api.messageControl) && Resolve(crypt32, "CryptMsgClose", api.closeMessage) &&
      Resolve(crypt32, "CertOpenStore", api.openStore) && Resolve(crypt32, "CertCloseStore", api.closeStore) &&
      Resolve(crypt32, "CertGetSubjectCertificateFromStore", api.storeCertificate) &&
      Resolve(crypt32, "CertFreeCertificateContext", api.freeCertificate);
  return api;
}

}  // namespace

const CryptoApi& Crypto() {
  static const CryptoApi api = LoadCryptoApi();
  return api;
}
