#include "trust/chain_rules.h"

#include <algorithm>

bool ChainIsAcceptable(uint32_t chainErrors, const std::vector<ChainCertificate>& chain, const char* usage,
                       uint64_t at) {
  if (chain.empty() || (chainErrors & ~kChainTimeErrors) != 0) return false;
  const ChainCertificate& signer = chain.front();
  if (!signer.hasUsages || std::find(signer.usages.begin(), signer.usages.end(), usage) == signer.usages.end()) {
    return false;
  }
  for (size_t i = 0; i < chain.size(); ++i) {
    const ChainCertificate& certificate = chain[i];
    if ((certificate.errors & ~kChainTimeErrors) != 0) return false;
    if (at < certificate.notBefore || at > certificate.notAfter) return false;
    if (i == 0) continue;
    const bool root = i + 1 == chain.size();
    if (certificate.hasBasicConstraints ? !certificate.isAuthority : !root) return false;
    // Below it stand the signer's certificate and i - 1 CA certificates.
    if (certificate.hasPathLength && i - 1 > certificate.pathLength) return false;
  }
  return true;
}
