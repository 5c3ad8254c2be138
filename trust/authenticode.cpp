#include "trust/authenticode.h"

#include <wincrypt.h>

#include <mssip.h>  // after wincrypt.h, whose types it names

#include <cstring>
#include <vector>

#include "common/scoped.h"
#include "trust/certificate_chain.h"
#include "trust/certificate_table.h"
#include "trust/chain_rules.h"
#include "trust/crypto_api.h"
#include "trust/package_digest.h"
#include "trust/time_stamp.h"

namespace {

bool ReadSubjectNames(PCCERT_CONTEXT certificate, SubjectNames& names) {
  LocalMemory<CERT_NAME_INFO> subject;
  const CERT_NAME_BLOB& encoded = certificate->pCertInfo->Subject;
  if (!DecodeObject(X509_NAME, encoded.pbData, encoded.cbData, subject)) return false;
  for (DWORD r = 0; r < subject->cRDN; ++r) {
    const CERT_RDN& rdn = subject->rgRDN[r];
    for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
      CERT_RDN_ATTR& attribute = rdn.rgRDNAttr[a];
      std::vector<std::wstring>* list = nullptr;
      if (std::strcmp(attribute.pszObjId, szOID_COMMON_NAME) == 0) list = &names.commonNames;
      if (std::strcmp(attribute.pszObjId, szOID_ORGANIZATION_NAME) == 0) list = &names.organizations;
      if (!list) continue;
      // The length asked for includes the terminating NUL.
      const DWORD length = Crypto().rdnValueToText(attribute.dwValueType, &attribute.Value, nullptr, 0);
      std::wstring text(length, L'\0');
      Crypto().rdnValueToText(attribute.dwValueType, &attribute.Value, &text[0], length);
      text.resize(length > 0 ? length - 1 : 0);
      list->push_back(text);
    }
  }
  return true;
}

// The signature was made for this type of file, as the system read the file and as the signature
// says.
bool SignedForContent(const CRYPT_PROVIDER_DATA& provider, SignedContent content) {
  const PROVDATA_SIP* sip = provider.pPDSip;
  if (!sip || !sip->psIndirectData) return false;
  unsigned char subject[16] = {};
  std::memcpy(subject, &sip->gSubject, sizeof subject);
  const SIP_INDIRECT_DATA& indirect = *sip->psIndirectData;
  const std::string value(reinterpret_cast<const char*>(indirect.Data.Value.pbData), indirect.Data.Value.cbData);
  return SubjectFits(content, subject) && indirect.Data.pszObjId &&
         IndirectDataFits(content, indirect.Data.pszObjId, value);
}

// The file has the digest the signature names. The system computes a program image's itself; a
// package's is computed here again (SHA-256 only), whatever the system did.
bool DigestMatches(const CRYPT_PROVIDER_DATA& provider, HANDLE file, SignedContent content) {
  if (content == SignedContent::Program) return true;
  const SIP_INDIRECT_DATA& indirect = *provider.pPDSip->psIndirectData;
  const std::string digest(reinterpret_cast<const char*>(indirect.Digest.pbData), indirect.Digest.cbData);
  return indirect.DigestAlgorithm.pszObjId && std::strcmp(indirect.DigestAlgorithm.pszObjId, kSha256Oid) == 0 &&
         PackageDigestMatches(file, digest);
}

// The time the signer's chain is judged at: its time stamp's, or now without one.
bool JudgingTime(const CMSG_SIGNER_INFO& signer, uint64_t& at) {
  switch (VerifyTimeStamp(signer, at)) {
    case TimeStamp::Valid: return true;
    case TimeStamp::Invalid: return false;
    case TimeStamp::Absent: break;
  }
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  at = FileTimeTicks(now);
  return true;
}

// What the verification left behind: one signer, the signature made for this type of file, the
// signer's chain passing the Authenticode policy and the launcher's own reading, and its subject's
// names read; and, last since it reads the whole file, the digest.
bool CheckVerifiedSignature(HANDLE state, HANDLE file, SignedContent content, SubjectNames& signer) {
  CRYPT_PROVIDER_DATA* provider = Crypto().providerData(state);
  if (!provider || provider->csSigners != 1 || !SignedForContent(*provider, content)) return false;
  CRYPT_PROVIDER_SGNR* primary = Crypto().providerSigner(provider, 0, FALSE, 0);
  if (!primary || !primary->psSigner || !primary->pChainContext || primary->pChainContext->cChain == 0) return false;
  const CERT_SIMPLE_CHAIN* chain = primary->pChainContext->rgpChain[0];
  if (chain->cElement == 0) return false;
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  uint64_t at = 0;
  return Crypto().chainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, primary->pChainContext, &policy, &status) &&
         status.dwError == 0 && JudgingTime(*primary->psSigner, at) &&
         ChainIsSound(*primary->pChainContext, kCodeSigningUsage, at) &&
         ReadSubjectNames(chain->rgpElement[0]->pCertContext, signer) && DigestMatches(*provider, file, content);
}

}  // namespace

SignatureVerdict VerifyAuthenticode(HANDLE file, const std::wstring& path, SignedContent content,
                                    SubjectNames& signer) {
  if (!Crypto().loaded) return SignatureVerdict::Invalid;
  // A program's table is read first: a file with more in it than one signature is refused unread.
  if (content == SignedContent::Program) {
    std::string pkcs7;
    switch (ReadCertificateTable(file, pkcs7)) {
      case CertificateTable::Absent: return SignatureVerdict::Absent;
      case CertificateTable::Malformed: return SignatureVerdict::Invalid;
      case CertificateTable::OneSignature: break;
    }
  }
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
  const LONG result = Crypto().verifyTrust(noUser, &action, &data);
  SignatureVerdict verdict = SignatureVerdict::Invalid;
  if (result == TRUST_E_NOSIGNATURE) {
    verdict = SignatureVerdict::Absent;
  } else if (result == ERROR_SUCCESS && CheckVerifiedSignature(data.hWVTStateData, file, content, signer)) {
    verdict = SignatureVerdict::Valid;
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  Crypto().verifyTrust(noUser, &action, &data);
  return verdict;
}
