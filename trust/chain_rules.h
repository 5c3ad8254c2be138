#pragma once
// Whether a signer's certificate chain, as the system built it, may vouch for what it signed: read
// from the certificates themselves rather than from the engine's verdict alone. Portable: no system
// call; authenticode.cpp fills the records from the chain.
#include <cstdint>
#include <string>
#include <vector>

constexpr const char* kCodeSigningUsage = "1.3.6.1.5.5.7.3.3";
constexpr const char* kTimeStampingUsage = "1.3.6.1.5.5.7.3.8";
// CERT_TRUST_IS_NOT_TIME_VALID and CERT_TRUST_IS_NOT_TIME_NESTED: the only errors the engine may report,
// since a time-stamped signature is judged at its time stamp's time, not at the engine's.
constexpr uint32_t kChainTimeErrors = 0x1 | 0x2;

// One certificate of a chain: the signer's own first, the trusted root last.
struct ChainCertificate {
  uint32_t errors = 0;  // the chain engine's error bits for this certificate
  bool hasBasicConstraints = false;
  bool isAuthority = false;  // its basic constraints let it issue certificates
  bool hasPathLength = false;
  uint32_t pathLength = 0;  // how many CA certificates may stand between it and the signer's
  bool hasUsages = false;   // it carries an enhanced key usage extension
  std::vector<std::string> usages;
  uint64_t notBefore = 0;  // its validity, in 100 ns units since 1601 (as FILETIME counts)
  uint64_t notAfter = 0;
};

// The chain is whole and sound at the time `at`: no error bit but time validity (for the chain and
// each certificate), every certificate within its validity at `at`, every certificate above the
// signer's a CA by its basic constraints and within their path length (a root without the extension,
// as old roots are, passes; one that denies it does not), and the signer's own extended key usage
// names `usage`.
bool ChainIsAcceptable(uint32_t chainErrors, const std::vector<ChainCertificate>& chain, const char* usage,
                       uint64_t at);
