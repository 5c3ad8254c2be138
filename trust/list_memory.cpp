#include "trust/list_memory.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/scoped.h"

namespace {

constexpr wchar_t kKeyPath[] = L"Software\\Quorvel\\Launcher";
constexpr wchar_t kSerialValue[] = L"ListSerial";
constexpr wchar_t kDigestValue[] = L"ListDigest";
constexpr wchar_t kRevokedValue[] = L"RevokedKeys";

// Reads one value of exactly this type; `size` is the buffer's size in bytes, then what was read.
bool QueryValue(HKEY key, const wchar_t* name, DWORD type, void* buffer, DWORD& size) {
  DWORD found = REG_NONE;
  return RegQueryValueExW(key, name, nullptr, &found, static_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
         found == type;
}

std::vector<std::string> ReadRevokedKeys(HKEY key) {
  std::vector<std::string> keyIds;
  DWORD size = 0;
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key, kRevokedValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ ||
      size == 0) {
    return keyIds;
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');  // room for the terminators it may lack
  if (!QueryValue(key, kRevokedValue, REG_MULTI_SZ, text.data(), size)) return keyIds;
  for (const wchar_t* item = text.data(); *item; item += wcslen(item) + 1) {
    std::string keyId;
    for (const wchar_t* unit = item; *unit; ++unit) keyId += *unit < 0x80 ? static_cast<char>(*unit) : '?';
    if (IsListKeyId(keyId) && std::find(keyIds.begin(), keyIds.end(), keyId) == keyIds.end()) keyIds.push_back(keyId);
  }
  return keyIds;
}

void WriteRevokedKeys(HKEY key, const std::vector<std::string>& keyIds) {
  std::wstring text;
  for (const std::string& keyId : keyIds) {
    text.append(keyId.begin(), keyId.end());
    text += L'\0';
  }
  text += L'\0';
  RegSetValueExW(key, kRevokedValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text.data()),
                 static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

}  // namespace

ListMemory ReadListMemory() {
  ListMemory memory;
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return memory;
  uint64_t serial = 0;
  DWORD size = sizeof serial;
  if (QueryValue(key.Get(), kSerialValue, REG_QWORD, &serial, size) && size == sizeof serial) memory.serial = serial;
  size = sizeof memory.digest;
  memory.hasDigest = QueryValue(key.Get(), kDigestValue, REG_BINARY, memory.digest, size) && size == kListDigestBytes;
  if (!memory.hasDigest) std::memset(memory.digest, 0, sizeof memory.digest);
  memory.revokedKeys = ReadRevokedKeys(key.Get());
  return memory;
}

void StoreListMemory(const ListMemory& seen, const ListMemory& next) {
  const bool revokedChanged = seen.revokedKeys != next.revokedKeys;
  const bool digestChanged =
      next.hasDigest && (!seen.hasDigest || std::memcmp(seen.digest, next.digest, kListDigestBytes) != 0);
  const bool serialChanged = seen.serial != next.serial;
  if (!revokedChanged && !digestChanged && !serialChanged) return;
  RegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      key.Put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (revokedChanged) WriteRevokedKeys(key.Get(), next.revokedKeys);
  if (digestChanged) RegSetValueExW(key.Get(), kDigestValue, 0, REG_BINARY, next.digest, kListDigestBytes);
  if (serialChanged) {
    const uint64_t serial = next.serial;
    RegSetValueExW(key.Get(), kSerialValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial), sizeof serial);
  }
}
