#pragma once
// A signature's RFC 3161 time stamp, checked by the launcher itself: the platform may report none
// (Wine does not read counter-signatures at all), and a signer's own signing-time attribute is the
// signer's word, not a witness's.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

enum class TimeStamp { Absent, Valid, Invalid };

// Absent when the signer carries no RFC 3161 time stamp (the older counter-signature is not read).
// Valid, with its time in `time` (FILETIME ticks), when the stamp's token has one signer, SHA-256,
// whose message digest is the token's content and whose certificate, carried in the token, signed
// it and has a chain sound for time stamping at that time, and the content stamps this signer's
// encrypted digest (SHA-256). Invalid for anything else.
TimeStamp VerifyTimeStamp(const CMSG_SIGNER_INFO& signer, uint64_t& time);
