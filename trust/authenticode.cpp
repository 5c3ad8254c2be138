#include "trust/authenticode.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

#include "common/scoped.h"

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  return function != nullptr;
}

// Looked up, not imported: neither DLL is one the system pins to its own folder, so both are
// loaded from there by name and stay loaded for the rest of the process.
struct TrustApi {
  decltype(&WinVerifyTrust) verifyTrust = nullptr;
  decltype(&WTHelperProvDataFromStateData) providerData = nullptr;
  decltype(&WTHelperGetProvSignerFromChain) providerSigner = nullptr;
  decltype(&CertVerifyCertificateChainPolicy) chainPolicy = nullptr;
  decltype(&CryptDecodeObjectEx) decodeObject = nullptr;
  decltype(&CertRDNValueToStrW) rdnValueToText = nullptr;
  bool loaded = false;
};

TrustApi LoadTrustApi() {
  TrustApi api;
  const HMODULE crypt32 = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const HMODULE wintrust = LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  api.loaded = Resolve(wintrust, "WinVerifyTrust", api.verifyTrust) &&
               Resolve(wintrust, "WTHelperProvDataFromStateData", api.providerData) &&
               Resolve(wintrust, "WTHelperGetProvSignerFromChain", api.providerSigner) &&
               Resolve(crypt32, "CertVerifyCertificateChainPolicy", api.chainPolicy) &&
               Resolve(crypt32, "CryptDecodeObjectEx", api.decodeObject) &&
               Resolve(crypt32, "CertRDNValueToStrW", api.rdnValueToText);
  return api;
}

const TrustApi& Api() {
  static const TrustApi api = LoadTrustApi();
  return api;
}

bool ReadSubjectNames(const TrustApi& api, PCCERT_CONTEXT certificate, SubjectNames& names) {
  LocalMemory<CERT_NAME_INFO> subject;
  DWORD size = 0;
  const CERT_NAME_BLOB& encoded = certificate->pCertInfo->Subject;
  if (!api.decodeObject(X509_ASN_ENCODING, X509_NAME, encoded.pbData, encoded.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                        subject.Put(), &size)) {
    return false;
  }
  for (DWORD r = 0; r < subject->cRDN; ++r) {
    const CERT_RDN& rdn = subject->rgRDN[r];
    for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
      CERT_RDN_ATTR& attribute = rdn.rgRDNAttr[a];
      std::vector<std::wstring>* list = nullptr;
      if (std::strcmp(attribute.pszObjId, szOID_COMMON_NAME) == 0) list = &names.commonNames;
      if (std::strcmp(attribute.pszObjId, szOID_ORGANIZATION_NAME) == 0) list = &names.organizations;
      if (!list) continue;
      // The length asked for includes the terminating NUL.
      const DWORD length = api.rdnValueToText(attribute.dwValueType, &attribute.Value, nullptr, 0);
      std::wstring text(length, L'\0');
      api.rdnValueToText(attribute.dwValueType, &attribute.Value, &text[0], length);
      text.resize(length > 0 ? length - 1 : 0);
      list->push_back(text);
    }
  }
  return true;
}

// What the verification left behind for the primary signer: its chain passes the Authenticode
// policy, and its subject's names are read.
bool CheckPrimarySigner(const TrustApi& api, HANDLE state, SubjectNames& signer) {
  CRYPT_PROVIDER_DATA* provider = api.providerData(state);
  CRYPT_PROVIDER_SGNR* primary = provider ? api.providerSigner(provider, 0, FALSE, 0) : nullptr;
  if (!primary || !primary->pChainContext || primary->pChainContext->cChain == 0) return false;
  const CERT_SIMPLE_CHAIN* chain = primary->pChainContext->rgpChain[0];
  if (chain->cElement == 0) return false;
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  if (!api.chainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, primary->pChainContext, &policy, &status) ||
      status.dwError != 0) {
    return false;
  }
  return ReadSubjectNames(api, chain->rgpElement[0]->pCertContext, signer);
}

}  // namespace

SignatureVerdict VerifyAuthenticode(HANDLE file, const std::wstring& path, SubjectNames& signer) {
  const TrustApi& api = Api();
  if (!api.loaded) return SignatureVerdict::Invalid;
  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  fileInfo.hFile = file;  // the bytes judged are those behind the caller's handle
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG result = api.verifyTrust(noUser, &action, &data);
  SignatureVerdict verdict = SignatureVerdict::Invalid;
  if (result == TRUST_E_NOSIGNATURE) {
    verdict = SignatureVerdict::Absent;
  } else if (result == ERROR_SUCCESS && CheckPrimarySigner(api, data.hWVTStateData, signer)) {
    verdict = SignatureVerdict::Valid;
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  api.verifyTrust(noUser, &action, &data);
  return verdict;
}
