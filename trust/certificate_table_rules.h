#pragma once
// A program's certificate table, read from its bytes: where the headers say it lies, and whether
// it holds exactly one signature and nothing else. The signature's digest covers every byte of the
// file but this table, so whatever else the table held would travel unsigned beside a valid
// signature. Portable: no system call.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kDosHeaderBytes = 64;
// The PE signature, the file header and the larger (64-bit) optional header with its directories.
constexpr size_t kNtHeadersBytes = 4 + 20 + 240;
// Far more than any real signature with its chain and time stamp needs.
constexpr uint32_t kMaxCertificateTableBytes = 1 << 20;

// Where the security directory puts the table: a file offset and a size in bytes.
struct CertificateTableLocation {
  uint32_t offset = 0;
  uint32_t size = 0;
};

// The file offset of the NT headers, read from the DOS header ("MZ"). False when it is not one.
bool NtHeadersOffset(const unsigned char* dos, size_t size, uint32_t& offset);
// The security directory, read from the NT headers ("PE\0\0", a 32- or 64-bit optional header). False
// when they are not a PE image's; an empty location when the image names no certificate table.
bool CertificateTableFromHeaders(const unsigned char* nt, size_t size, CertificateTableLocation& table);
// The table lies within a file of `fileSize` bytes, ends it and is no larger than the limit above.
bool CertificateTableEndsFile(const CertificateTableLocation& table, uint64_t fileSize);
// The table (read whole) holds one WIN_CERTIFICATE entry of revision 2.0 and type PKCS#7 signed data,
// whose length covers its DER blob and at most seven more bytes, and after the blob nothing but the
// zeros that pad it to eight bytes: no second entry, no grown length. The blob is then in `pkcs7`.
bool TableHoldsOneSignature(const unsigned char* table, size_t size, std::string& pkcs7);
