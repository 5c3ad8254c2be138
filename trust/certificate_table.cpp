#include "trust/certificate_table.h"

#include <vector>

#include "trust/certificate_table_rules.h"
#include "trust/file_bytes.h"

CertificateTable ReadCertificateTable(HANDLE file, std::string& pkcs7) {
  uint64_t fileSize = 0;
  unsigned char dos[kDosHeaderBytes] = {};
  uint32_t ntOffset = 0;
  if (!FileSizeOf(file, fileSize) || !ReadFileAt(file, 0, dos, sizeof dos) ||
      !NtHeadersOffset(dos, sizeof dos, ntOffset) || ntOffset >= fileSize) {
    return CertificateTable::Malformed;
  }
  unsigned char nt[kNtHeadersBytes] = {};
  const uint64_t available = fileSize - ntOffset;
  const DWORD ntSize = static_cast<DWORD>(available < sizeof nt ? available : sizeof nt);
  CertificateTableLocation table;
  if (!ReadFileAt(file, ntOffset, nt, ntSize) || !CertificateTableFromHeaders(nt, ntSize, table)) {
    return CertificateTable::Malformed;
  }
  if (table.offset == 0 && table.size == 0) return CertificateTable::Absent;
  if (!CertificateTableEndsFile(table, fileSize)) return CertificateTable::Malformed;
  std::vector<unsigned char> bytes(table.size);
  if (!ReadFileAt(file, table.offset, bytes.data(), table.size) ||
      !TableHoldsOneSignature(bytes.data(), bytes.size(), pkcs7)) {
    return CertificateTable::Malformed;
  }
  return CertificateTable::OneSignature;
}
