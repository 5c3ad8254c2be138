#pragma once
// What a package's signature digests: the compound file's streams, in a fixed order, and with the
// extended signature the entries' names, sizes and times as well. Portable: no system call;
// package_digest.cpp reads the storage.
#include <cstdint>
#include <string>

// The root streams that hold the signature and the extended signature's digest of the entries;
// neither is digested.
extern const wchar_t kPackageSignatureStream[];
extern const wchar_t kPackageSignatureExStream[];

// The order in which a storage's elements are digested: their names compared as their
// little-endian UTF-16 bytes, terminator included.
bool DigestedBefore(const std::wstring& a, const std::wstring& b);

// One entry of a package's storage, as the extended signature's digest reads it.
struct PackageEntry {
  enum class Kind { Root, Storage, Stream };
  Kind kind = Kind::Stream;
  std::wstring name;
  unsigned char classId[16] = {};
  uint64_t size = 0;
  uint32_t stateBits = 0;
  uint64_t created = 0;  // FILETIME values
  uint64_t modified = 0;
};

// The bytes the extended digest takes for one entry: its name (not the root's), its class (a
// storage's) or the low 32 bits of its size (a stream's), its state bits and its two times (not the
// root's), each little-endian.
std::string PackageEntryMetadata(const PackageEntry& entry);
