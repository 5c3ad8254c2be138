#include "trust/certificate_table_rules.h"

#include "trust/der_rules.h"

namespace {

constexpr size_t kCertificateHeaderBytes = 8;  // dwLength, wRevision, wCertificateType
constexpr uint16_t kRevision2 = 0x0200;
constexpr uint16_t kPkcsSignedData = 0x0002;
constexpr uint16_t kOptionalHeader32 = 0x10B;
constexpr uint16_t kOptionalHeader64 = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;

uint16_t Read16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t Read32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

bool NtHeadersOffset(const unsigned char* dos, size_t size, uint32_t& offset) {
  if (size < kDosHeaderBytes || dos[0] != 'M' || dos[1] != 'Z') return false;
  offset = Read32(dos + 0x3C);
  return offset >= kDosHeaderBytes;
}

bool CertificateTableFromHeaders(const unsigned char* nt, size_t size, CertificateTableLocation& table) {
  constexpr size_t kOptional = 4 + 20;
  if (size < kOptional + 2 || nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return false;
  const size_t optionalSize = Read16(nt + 4 + 16);
  const uint16_t magic = Read16(nt + kOptional);
  size_t directories = 0;  // offset of the data directories within the optional header
  if (magic == kOptionalHeader32) {
    directories = 96;
  } else if (magic == kOptionalHeader64) {
    directories = 112;
  } else {
    return false;
  }
  if (optionalSize < directories || size < kOptional + directories) return false;
  const uint32_t count = Read32(nt + kOptional + directories - 4);  // NumberOfRvaAndSizes
  const size_t entry = directories + kSecurityDirectory * 8;
  table = CertificateTableLocation();
  if (count <= kSecurityDirectory || optionalSize < entry + 8 || size < kOptional + entry + 8) return true;
  table.offset = Read32(nt + kOptional + entry);
  table.size = Read32(nt + kOptional + entry + 4);
  return true;
}

bool CertificateTableEndsFile(const CertificateTableLocation& table, uint64_t fileSize) {
  return table.size != 0 && table.size <= kMaxCertificateTableBytes && table.offset != 0 &&
         static_cast<uint64_t>(table.offset) + table.size == fileSize;
}

bool TableHoldsOneSignature(const unsigned char* table, size_t size, std::string& pkcs7) {
  if (size < kCertificateHeaderBytes) return false;
  const uint32_t length = Read32(table);
  if (Read16(table + 4) != kRevision2 || Read16(table + 6) != kPkcsSignedData) return false;
  if (length < kCertificateHeaderBytes || length > size) return false;
  DerElement blob;
  if (!ReadDerElement(table, length, kCertificateHeaderBytes, blob) || blob.tag != kDerSequence) return false;
  // The blob, then at most the padding to the next multiple of eight (which the entry's length may
  // or may not count), in zeros; the table ends there.
  if (size - blob.end > 7) return false;
  for (size_t i = blob.end; i < size; ++i) {
    if (table[i] != 0) return false;
  }
  pkcs7.assign(reinterpret_cast<const char*>(table + kCertificateHeaderBytes), blob.end - kCertificateHeaderBytes);
  return true;
}
