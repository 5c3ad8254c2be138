#pragma once
// SHA-256 in portable C++ for the vendor's tools, which also run where the system offers none.
#include <cstddef>
#include <cstdint>
#include <string>

struct Sha256State {
  uint32_t h[8];
  unsigned char block[64];
  size_t used = 0;     // bytes waiting in block
  uint64_t total = 0;  // bytes added so far
};

void Sha256Begin(Sha256State& state);
void Sha256Add(Sha256State& state, const void* data, size_t size);
// 64 lower-case hexadecimal digits of the digest of everything added.
std::string Sha256EndHex(Sha256State& state);
