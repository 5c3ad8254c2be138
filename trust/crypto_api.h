#pragma once
// The system's signature and certificate functions, looked up rather than imported: neither
// wintrust.dll nor crypt32.dll is one the system pins to its own folder, so both are loaded from
// there by name on first use and stay loaded for the rest of the process. Owners of what they hand
// out sit beside them.
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "common/scoped.h"

struct CryptoApi {
  decltype(&WinVerifyTrust) verifyTrust = nullptr;
  decltype(&WTHelperProvDataFromStateData) providerData = nullptr;
  decltype(&WTHelperGetProvSignerFromChain) providerSigner = nullptr;
  decltype(&CertVerifyCertificateChainPolicy) chainPolicy = nullptr;
  decltype(&CertGetCertificateChain) getChain = nullptr;
  decltype(&CertFreeCertificateChain) freeChain = nullptr;
  decltype(&CryptDecodeObjectEx) decodeObject = nullptr;
  decltype(&CertFindExtension) findExtension = nullptr;
  decltype(&CertRDNValueToStrW) rdnValueToText = nullptr;
  decltype(&CryptMsgOpenToDecode) openMessage = nullptr;
  decltype(&CryptMsgUpdate) updateMessage = nullptr;
  decltype(&CryptMsgGetParam) messageParam = nullptr;
  decltype(&CryptMsgControl) messageControl = nullptr;
  decltype(&CryptMsgClose) closeMessage = nullptr;
  decltype(&CertOpenStore) openStore = nullptr;
  decltype(&CertCloseStore) closeStore = nullptr;
  decltype(&CertGetSubjectCertificateFromStore) storeCertificate = nullptr;
  decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
  bool loaded = false;
};

// Loaded on the first call; `loaded` is false when a DLL or a function is missing.
const CryptoApi& Crypto();

struct CryptMessagePolicy {
  using Handle = HCRYPTMSG;
  static Handle Empty() { return nullptr; }
  static void Close(Handle message) { Crypto().closeMessage(message); }
};
struct CertStorePolicy {
  using Handle = HCERTSTORE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle store) { Crypto().closeStore(store, 0); }
};
struct CertificatePolicy {
  using Handle = PCCERT_CONTEXT;
  static Handle Empty() { return nullptr; }
  static void Close(Handle certificate) { Crypto().freeCertificate(certificate); }
};
struct CertChainPolicy {
  using Handle = PCCERT_CHAIN_CONTEXT;
  static Handle Empty() { return nullptr; }
  static void Close(Handle chain) { Crypto().freeChain(chain); }
};

using CryptMessage = UniqueHandle<CryptMessagePolicy>;
using CertStore = UniqueHandle<CertStorePolicy>;
using Certificate = UniqueHandle<CertificatePolicy>;
using CertChain = UniqueHandle<CertChainPolicy>;

constexpr DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Decodes one extension or attribute value into memory the system allocates; false when it does not
// decode as `type`.
template <typename Decoded>
bool DecodeObject(const char* type, const BYTE* data, DWORD size, LocalMemory<Decoded>& decoded) {
  DWORD length = 0;
  return Crypto().decodeObject(X509_ASN_ENCODING, type, data, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.Put(),
                               &length) != FALSE;
}
