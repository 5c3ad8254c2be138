#include "trust/package_digest_rules.h"

#include <algorithm>

const wchar_t kPackageSignatureStream[] =
    L"\x0005"
    L"DigitalSignature";
const wchar_t kPackageSignatureExStream[] =
    L"\x0005"
    L"MsiDigitalSignatureEx";

namespace {

void AppendLittleEndian(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool DigestedBefore(const std::wstring& a, const std::wstring& b) {
  const size_t units = std::min(a.size(), b.size()) + 1;  // the shorter one's terminator included
  for (size_t i = 0; i < units; ++i) {
    const unsigned unitA = i < a.size() ? static_cast<unsigned>(a[i]) & 0xFFFF : 0;
    const unsigned unitB = i < b.size() ? static_cast<unsigned>(b[i]) & 0xFFFF : 0;
    if ((unitA & 0xFF) != (unitB & 0xFF)) return (unitA & 0xFF) < (unitB & 0xFF);
    if ((unitA >> 8) != (unitB >> 8)) return (unitA >> 8) < (unitB >> 8);
  }
  return false;  // the same name
}

std::string PackageEntryMetadata(const PackageEntry& entry) {
  std::string out;
  const bool root = entry.kind == PackageEntry::Kind::Root;
  if (!root) {
    for (wchar_t unit : entry.name) AppendLittleEndian(out, static_cast<unsigned>(unit) & 0xFFFF, 2);
  }
  if (entry.kind == PackageEntry::Kind::Stream) {
    AppendLittleEndian(out, entry.size, 4);
  } else {
    out.append(reinterpret_cast<const char*>(entry.classId), sizeof entry.classId);
  }
  AppendLittleEndian(out, entry.stateBits, 4);
  if (!root) {
    AppendLittleEndian(out, entry.created, 8);
    AppendLittleEndian(out, entry.modified, 8);
  }
  return out;
}
