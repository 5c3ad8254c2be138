#include "trust/time_stamp.h"

#include <cstring>
#include <string>

#include "trust/certificate_chain.h"
#include "trust/chain_rules.h"
#include "trust/crypto_api.h"
#include "trust/der_rules.h"
#include "trust/sha256.h"
#include "trust/signed_content_rules.h"
#include "trust/time_stamp_rules.h"

namespace {

const char kTimeStampAttribute[] = "1.3.6.1.4.1.311.3.3.1";    // szOID_RFC3161_counterSign
const char kTimeStampContent[] = "1.2.840.113549.1.9.16.1.4";  // id-ct-TSTInfo
const char kMessageDigestAttribute[] = "1.2.840.113549.1.9.4";

bool Sha256Of(const BYTE* data, DWORD size, std::string& digest) {
  Sha256Hash hash;
  std::wstring ignored;
  unsigned char bytes[kSha256Bytes] = {};
  if (!hash.Start(ignored) || !hash.Add(data, size, ignored) || !hash.Finish(bytes, ignored)) return false;
  digest.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
  return true;
}

bool MessageParam(HCRYPTMSG message, DWORD type, DWORD index, std::string& value) {
  DWORD size = 0;
  if (!Crypto().messageParam(message, type, index, nullptr, &size)) return false;
  value.assign(size, '\0');
  if (!Crypto().messageParam(message, type, index, size ? &value[0] : nullptr, &size)) return false;
  value.resize(size);
  return true;
}

const CRYPT_ATTRIBUTE* FindAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) {
  for (DWORD i = 0; i < attributes.cAttr; ++i) {
    if (std::strcmp(attributes.rgAttr[i].pszObjId, oid) == 0) return &attributes.rgAttr[i];
  }
  return nullptr;
}

// The token's one signer: SHA-256, its message digest that of `content`, and its signature made by
// a certificate the token carries. That certificate is then in `certificate`.
bool TokenIsSigned(HCRYPTMSG token, HCERTSTORE store, const std::string& content, Certificate& certificate) {
  std::string signerBytes;
  std::string certificateInfo;
  if (!MessageParam(token, CMSG_SIGNER_INFO_PARAM, 0, signerBytes) ||
      !MessageParam(token, CMSG_SIGNER_CERT_INFO_PARAM, 0, certificateInfo)) {
    return false;
  }
  const auto& signer = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerBytes.data());
  const CRYPT_ATTRIBUTE* digestAttribute = FindAttribute(signer.AuthAttrs, kMessageDigestAttribute);
  std::string digest;
  std::string expected;
  if (std::strcmp(signer.HashAlgorithm.pszObjId, kSha256Oid) != 0 || !digestAttribute || digestAttribute->cValue != 1 ||
      !ReadWholeDerElement(std::string(reinterpret_cast<const char*>(digestAttribute->rgValue[0].pbData),
                                       digestAttribute->rgValue[0].cbData),
                           kDerOctetString, digest) ||
      !Sha256Of(reinterpret_cast<const BYTE*>(content.data()), static_cast<DWORD>(content.size()), expected) ||
      digest != expected) {
    return false;
  }
  certificate.Reset(
      Crypto().storeCertificate(store, kMessageEncoding, reinterpret_cast<CERT_INFO*>(&certificateInfo[0])));
  if (!certificate) return false;
  CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify = {};
  verify.cbSize = sizeof verify;
  verify.dwSignerIndex = 0;
  verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
  verify.pvSigner = const_cast<CERT_CONTEXT*>(certificate.Get());
  return Crypto().messageControl(token, 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify) != FALSE;
}

bool TokenChainIsSound(const Certificate& certificate, HCERTSTORE store, uint64_t at) {
  FILETIME when = {};
  when.dwLowDateTime = static_cast<DWORD>(at);
  when.dwHighDateTime = static_cast<DWORD>(at >> 32);
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  CertChain chain;
  return Crypto().getChain(nullptr, certificate.Get(), &when, store, &para, 0, nullptr, chain.Put()) &&
         ChainIsSound(*chain.Get(), kTimeStampingUsage, at);
}

bool CheckToken(const CRYPT_ATTR_BLOB& encoded, const CMSG_SIGNER_INFO& stamped, uint64_t& time) {
  CryptMessage token(Crypto().openMessage(kMessageEncoding, 0, 0, 0, nullptr, nullptr));
  std::string type;
  std::string content;
  if (!token || !Crypto().updateMessage(token.Get(), encoded.pbData, encoded.cbData, TRUE) ||
      !MessageParam(token.Get(), CMSG_INNER_CONTENT_TYPE_PARAM, 0, type) ||
      std::strcmp(type.c_str(), kTimeStampContent) != 0 || !MessageParam(token.Get(), CMSG_CONTENT_PARAM, 0, content)) {
    return false;
  }
  DWORD signers = 0;
  DWORD size = sizeof signers;
  if (!Crypto().messageParam(token.Get(), CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) || signers != 1) return false;
  // The content is TSTInfo; a system may hand it over still wrapped in its OCTET STRING.
  std::string unwrapped;
  if (ReadWholeDerElement(content, kDerOctetString, unwrapped)) content = unwrapped;
  CertStore store(Crypto().openStore(CERT_STORE_PROV_MSG, kMessageEncoding, 0, 0, token.Get()));
  Certificate certificate;
  TimeStampInfo info;
  std::string imprint;
  if (!store || !TokenIsSigned(token.Get(), store.Get(), content, certificate) || !ReadTimeStampInfo(content, info) ||
      info.imprintAlgorithm != kSha256OidContents ||
      !Sha256Of(stamped.EncryptedHash.pbData, stamped.EncryptedHash.cbData, imprint) || imprint != info.imprint ||
      !TokenChainIsSound(certificate, store.Get(), info.time)) {
    return false;
  }
  time = info.time;
  return true;
}

}  // namespace

TimeStamp VerifyTimeStamp(const CMSG_SIGNER_INFO& signer, uint64_t& time) {
  // The older form of counter-signature is not read: a signature that carries only that one is
  // judged as if it were not time-stamped.
  const CRYPT_ATTRIBUTE* stamp = FindAttribute(signer.UnauthAttrs, kTimeStampAttribute);
  if (!stamp) return TimeStamp::Absent;
  if (stamp->cValue != 1) return TimeStamp::Invalid;
  return CheckToken(stamp->rgValue[0], signer, time) ? TimeStamp::Valid : TimeStamp::Invalid;
}
