#pragma once
// An RFC 3161 time stamp's own statement (TSTInfo): what it stamped and when. Portable: no system
// call; time_stamp.cpp checks who signed it.
#include <cstdint>
#include <string>

// The DER contents of SHA-256's object identifier (2.16.840.1.101.3.4.2.1).
extern const std::string kSha256OidContents;

struct TimeStampInfo {
  std::string imprintAlgorithm;  // the DER contents of the imprint's hash algorithm identifier
  std::string imprint;           // that hash of what was stamped: the signature's encrypted digest
  uint64_t time = 0;             // genTime, in 100 ns units since 1601 (as FILETIME counts)
};

// TSTInfo ::= SEQUENCE { version 1, policy, messageImprint SEQUENCE { AlgorithmIdentifier, OCTET
// STRING }, serialNumber, genTime GeneralizedTime, ... }. False when `der` is not one.
bool ReadTimeStampInfo(const std::string& der, TimeStampInfo& info);
// "YYYYMMDDHHMMSSZ", with or without a fraction of a second (dropped) before the Z, as a time in
// 100 ns units since 1601. False for anything else, or a date that does not exist.
bool GeneralizedTimeTicks(const std::string& text, uint64_t& ticks);
