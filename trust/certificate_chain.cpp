#include "trust/certificate_chain.h"

#include <vector>

#include "trust/chain_rules.h"
#include "trust/crypto_api.h"

namespace {

const CERT_EXTENSION* FindExtension(const CERT_INFO& info, const char* oid) {
  return Crypto().findExtension(oid, info.cExtension, info.rgExtension);
}

bool ReadCertificate(const CERT_CHAIN_ELEMENT& element, ChainCertificate& certificate) {
  const CERT_INFO& info = *element.pCertContext->pCertInfo;
  certificate.errors = element.TrustStatus.dwErrorStatus;
  certificate.notBefore = FileTimeTicks(info.NotBefore);
  certificate.notAfter = FileTimeTicks(info.NotAfter);
  if (const CERT_EXTENSION* extension = FindExtension(info, szOID_BASIC_CONSTRAINTS2)) {
    LocalMemory<CERT_BASIC_CONSTRAINTS2_INFO> constraints;
    if (!DecodeObject(szOID_BASIC_CONSTRAINTS2, extension->Value.pbData, extension->Value.cbData, constraints)) {
      return false;
    }
    certificate.hasBasicConstraints = true;
    certificate.isAuthority = constraints->fCA != FALSE;
    certificate.hasPathLength = constraints->fPathLenConstraint != FALSE;
    certificate.pathLength = constraints->dwPathLenConstraint;
  }
  if (const CERT_EXTENSION* extension = FindExtension(info, szOID_ENHANCED_KEY_USAGE)) {
    LocalMemory<CERT_ENHKEY_USAGE> usages;
    if (!DecodeObject(X509_ENHANCED_KEY_USAGE, extension->Value.pbData, extension->Value.cbData, usages)) {
      return false;
    }
    certificate.hasUsages = true;
    for (DWORD i = 0; i < usages->cUsageIdentifier; ++i) certificate.usages.push_back(usages->rgpszUsageIdentifier[i]);
  }
  return true;
}

}  // namespace

uint64_t FileTimeTicks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool ChainIsSound(const CERT_CHAIN_CONTEXT& context, const char* usage, uint64_t at) {
  if (context.cChain != 1) return false;
  const CERT_SIMPLE_CHAIN& simple = *context.rgpChain[0];
  std::vector<ChainCertificate> chain(simple.cElement);
  for (DWORD i = 0; i < simple.cElement; ++i) {
    if (!ReadCertificate(*simple.rgpElement[i], chain[i])) return false;
  }
  const uint32_t errors = context.TrustStatus.dwErrorStatus | simple.TrustStatus.dwErrorStatus;
  return ChainIsAcceptable(errors, chain, usage, at);
}
