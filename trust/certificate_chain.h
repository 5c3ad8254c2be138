#pragma once
// A certificate chain the system built, read into the launcher's own records (trust/chain_rules.h)
// from the certificates' decoded extensions, not from the engine's flags alone.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

// The chain (one simple chain, the signer's certificate first) passes ChainIsAcceptable for `usage`
// at the time `at`. False too when it has more than one simple chain, or an extension it reads does
// not decode.
bool ChainIsSound(const CERT_CHAIN_CONTEXT& context, const char* usage, uint64_t at);
// A FILETIME as the one number the rules compare.
uint64_t FileTimeTicks(const FILETIME& time);
