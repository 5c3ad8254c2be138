#pragma once
// Making a signed list: the root members a signed list carries, a list renewed for re-signing with
// every other byte kept, and the signature lines.
#include <cstdint>
#include <string>
#include <vector>

#include "checker/list_crypto.h"

// A key the tool signs with and its public half.
struct ListSigner {
  ListSigningKeyOwner key;
  ListPublicKey publicKey;
};

// ,"serial":N,"expires":"YYYY-MM-DDTHH:MM:SSZ" and, when revoke names keys, ,"revoke":[...]: the
// members a new list's root carries between "schema" and "files".
std::string ListClaimsMembers(uint64_t serial, int64_t expiresUnix, const std::vector<std::string>& revoke);

// signedPart (a list whose "serial" and "expires" are well-formed) with those two values replaced
// and the key ids of addRevoke added to its "revoke" (which is made when absent); every other byte
// stays as it was.
bool RenewSignedPart(const std::string& signedPart, uint64_t serial, int64_t expiresUnix,
                     const std::vector<std::string>& addRevoke, std::string& renewed, std::string& error);

// signedPart followed by one signature line per signer, in the order given; each signature is
// verified before it is written.
bool SignListBody(const std::string& signedPart, std::vector<ListSigner>& signers, std::string& body,
                  std::string& error);
