#pragma once
// List keys as files hold them: what a PEM file holds, its DER, and a public key's id.
#include <string>

#include "trust/signed_list.h"

// A P-256 public key as the format names it.
struct ListPublicKey {
  std::string keyId;  // 16 lower-case hex digits
  unsigned char xy[kListPublicKeyBytes] = {};
  std::string source;  // the file it came from, for messages (UTF-8)
};

// The label of the first PEM block in text ("PUBLIC KEY", "ENCRYPTED PRIVATE KEY", ...); empty when
// it holds none.
std::string PemLabel(const std::string& text);
// The DER bytes of the first PEM block, which must carry label; false when there is none or its
// base64 is not well-formed.
bool PemBlock(const std::string& text, const std::string& label, std::string& der);
// Why a file with this first PEM label cannot serve where a wantLabel block is needed.
std::string WrongKeyText(const std::string& source, const std::string& label, const std::string& wantLabel);

// The record of a DER SubjectPublicKeyInfo, its id from its SHA-256; false unless it is an
// uncompressed P-256 key.
bool ListPublicKeyFromSpki(const std::string& der, const std::string& source, ListPublicKey& key, std::string& error);
