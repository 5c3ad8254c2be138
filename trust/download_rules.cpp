#include "trust/download_rules.h"

#include "common/ascii_names.h"
#include "trust/file_name.h"

namespace {

// Opened through the shell, each of these runs scripts, commands or programs, or changes the
// system, and none can carry a signature: the launcher refuses to start them at all.
const wchar_t* const kUncheckedCodeTypes[] = {
    L".bat",
    L".cmd",
    L".com",
    L".pif",
    L".scr",
    L".cpl",
    L".msc",
    L".hta",
    L".js",
    L".jse",
    L".vbs",
    L".vbe",
    L".wsf",
    L".wsh",
    L".wsc",
    L".ws",
    L".ps1",
    L".ps1xml",
    L".ps2",
    L".ps2xml",
    L".psc1",
    L".psc2",
    L".psd1",
    L".psm1",
    L".lnk",
    L".url",
    L".scf",
    L".reg",
    L".inf",
    L".ins",
    L".isp",
    L".jar",
    L".chm",
    L".application",
    L".appref-ms",
    L".gadget",
    L".settingcontent-ms",
    L".library-ms",
    L".search-ms",
    L".searchconnector-ms",
    L".xbap",
    L".msh",
    L".msh1",
    L".msh2",
    L".mshxml",
    L".msh1xml",
    L".msh2xml",
    L".vb",
    L".shb",
    L".shs",
    L".mde",
    L".mda",
    L".mdb",
    L".mdz",
    L".diagcab",
};

int HexValue(wchar_t unit) {
  if (unit >= L'0' && unit <= L'9') return unit - L'0';
  if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
  if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
  return -1;
}

}  // namespace

bool IsSha256Hex(const std::wstring& text) {
  if (text.size() != 2 * kSha256Bytes) return false;
  for (wchar_t unit : text) {
    if (HexValue(unit) < 0) return false;
  }
  return true;
}

bool IsPlainHttpUrl(const std::wstring& url) {
  static const wchar_t kScheme[] = L"http://";
  if (url.size() < 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    wchar_t unit = url[i];
    if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    if (unit != kScheme[i]) return false;
  }
  return true;
}

bool IsUncheckedCodeType(const std::wstring& extension) {
  for (const wchar_t* type : kUncheckedCodeTypes) {
    if (EqualsIgnoringAsciiCase(extension, type)) return true;
  }
  return false;
}

bool CheckDownloadName(const std::wstring& name, std::wstring& error) {
  if (HidesCharacters(name)) {
    error = kHidingNameText;
    return false;
  }
  const std::wstring saved = SavedFileName(name);
  if (IsReservedFileName(saved)) {
    error = kReservedNameText;
    return false;
  }
  if (IsUncheckedCodeType(FileExtension(saved))) {
    error = kUncheckedCodeTypeText;
    return false;
  }
  return true;
}

bool ExtDiffersFromName(const std::wstring& ext, const std::wstring& name) {
  if (ext.empty()) return false;
  const std::wstring extension = FileExtension(SavedFileName(name));
  const std::wstring bare = extension.empty() ? extension : extension.substr(1);
  return !EqualsIgnoringAsciiCase(ext[0] == L'.' ? ext.substr(1) : ext, bare);
}

bool CheckDownloadRequest(const std::wstring& url, const std::wstring& sha256, std::wstring& error) {
  if (!sha256.empty() && !IsSha256Hex(sha256)) {
    error = kMalformedChecksumText;
    return false;
  }
  // A checksum that came with the manifest over TLS protects a clear-text body; nothing else does.
  if (sha256.empty() && IsPlainHttpUrl(url)) {
    error = kPlainHttpWithoutChecksumText;
    return false;
  }
  return true;
}

bool Sha256HexMatches(const std::wstring& hex, const unsigned char (&digest)[kSha256Bytes]) {
  if (!IsSha256Hex(hex)) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    if (HexValue(hex[2 * i]) != digest[i] >> 4 || HexValue(hex[2 * i + 1]) != (digest[i] & 0xF)) return false;
  }
  return true;
}
