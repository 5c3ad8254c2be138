#include "trust/file_name.h"

#include <cwchar>
#include <cwctype>

#include "common/ascii_names.h"

namespace {

// The names Windows gives to devices in every folder; the digits of COM and LPT come after.
const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};
const wchar_t* const kNumberedDeviceNames[] = {L"COM", L"LPT"};

bool IsDeviceDigit(wchar_t unit) {
  return (unit >= L'1' && unit <= L'9') || unit == L'\x00B9' || unit == L'\x00B2' || unit == L'\x00B3';
}

// Reads count decimal digits at text[at]; false at anything else.
bool ReadDigits(const std::wstring& text, size_t at, size_t count, unsigned& value) {
  if (text.size() < at + count) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - L'0');
  }
  return true;
}

}  // namespace

std::wstring FormatDownloadFolderName(const StampTime& time, uint32_t random) {
  wchar_t buffer[64] = {};
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%04u%02u%02u_%02u%02u%02u-%08x", time.year, time.month,
                time.day, time.hour, time.minute, time.second, static_cast<unsigned>(random));
  return buffer;
}

bool ParseDownloadStamp(const std::wstring& name, StampTime& time) {
  StampTime read;
  if (!ReadDigits(name, 0, 4, read.year) || !ReadDigits(name, 4, 2, read.month) || !ReadDigits(name, 6, 2, read.day) ||
      name.size() < 9 || name[8] != L'_' || !ReadDigits(name, 9, 2, read.hour) ||
      !ReadDigits(name, 11, 2, read.minute) || !ReadDigits(name, 13, 2, read.second)) {
    return false;
  }
  if (read.year < 1601 || read.month < 1 || read.month > 12 || read.day < 1 || read.day > 31 || read.hour > 23 ||
      read.minute > 59 || read.second > 59) {
    return false;
  }
  time = read;
  return true;
}

std::wstring SanitizeFileName(const std::wstring& name) {
  std::wstring safe = name;
  for (wchar_t& unit : safe) {
    switch (unit) {
      case L'"':
      case L'*':
      case L'/':
      case L':':
      case L'<':
      case L'>':
      case L'?':
      case L'\\':
      case L'|':
      // An embedded NUL would silently cut the path, saving the file under another name and type.
      case L'\0': unit = L'_'; break;
      default: break;
    }
  }
  return safe;
}

std::wstring SavedFileName(const std::wstring& name) {
  std::wstring saved = SanitizeFileName(name);
  const size_t last = saved.find_last_not_of(L". ");
  saved.erase(last == std::wstring::npos ? 0 : last + 1);
  return saved;
}

bool IsReservedFileName(const std::wstring& savedName) {
  if (savedName.empty()) return true;
  // Windows goes by what comes before the first dot, without the spaces that end it.
  std::wstring stem = savedName.substr(0, savedName.find(L'.'));
  stem.erase(stem.find_last_not_of(L' ') + 1);
  for (const wchar_t* device : kDeviceNames) {
    if (EqualsIgnoringAsciiCase(stem, device)) return true;
  }
  if (stem.size() != 4 || !IsDeviceDigit(stem[3])) return false;
  for (const wchar_t* device : kNumberedDeviceNames) {
    if (EqualsIgnoringAsciiCase(stem.substr(0, 3), device)) return true;
  }
  return false;
}

std::wstring FileExtension(const std::wstring& fileName) {
  const size_t dot = fileName.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : fileName.substr(dot);
}

bool IsHidingCharacter(wchar_t unit) {
  const uint32_t value = static_cast<uint32_t>(unit);
  return value <= 0x1F || (value >= 0x7F && value <= 0x9F) || value == 0x061C || (value >= 0x200B && value <= 0x200F) ||
         (value >= 0x202A && value <= 0x202E) || (value >= 0x2060 && value <= 0x2064) ||
         (value >= 0x2066 && value <= 0x2069) || value == 0xFEFF;
}

bool HidesCharacters(const std::wstring& name) {
  for (wchar_t unit : name) {
    if (IsHidingCharacter(unit)) return true;
  }
  return false;
}

std::wstring DisplayFileName(const std::wstring& name) {
  std::wstring shown = name;
  for (wchar_t& unit : shown) {
    if (IsHidingCharacter(unit)) unit = L'\xFFFD';
  }
  return shown;
}

std::wstring FormatType(const std::wstring& name) {
  const std::wstring saved = SavedFileName(name);
  const std::wstring extension = FileExtension(saved);
  if (extension.empty()) return extension;
  // The saved name keeps every unit of the name in its place up to its end, so the extension's
  // units stand where they stood in the name; those the name hid are shown as the File cell shows them.
  const size_t start = saved.size() - extension.size() + 1;
  std::wstring upper = extension.substr(1);
  for (size_t i = 0; i < upper.size(); ++i) {
    wchar_t& unit = upper[i];
    unit = IsHidingCharacter(name[start + i]) ? L'\xFFFD'
                                              : static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(unit)));
  }
  return upper;
}
