#pragma once
// The names of a download on disk: its own folder's name, the file name made safe for the file
// system, the extension the system goes by, and the name and type as the list shows them.
#include <cstdint>
#include <string>

struct StampTime {
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
};

// "%04u%02u%02u_%02u%02u%02u-%08x": the UTC time and a random number; 24 characters for any real date.
std::wstring FormatDownloadFolderName(const StampTime& time, uint32_t random);
// Reads the leading "YYYYMMDD_HHMMSS" of a download folder's name (or of a file of the older flat
// layout, which followed it with "_"). False when the name does not start with a plausible stamp.
bool ParseDownloadStamp(const std::wstring& name, StampTime& time);
// The name with each of "*/:<>?\| and U+0000 replaced by "_"; every other unit passes unchanged.
std::wstring SanitizeFileName(const std::wstring& name);
// The name the file is saved under: sanitised, then without the trailing dots and spaces that
// Windows drops, so the name that is checked is the name on disk.
std::wstring SavedFileName(const std::wstring& name);
// A saved name no file can have: empty, or a device's (CON, PRN, AUX, NUL, COM1-9, LPT1-9 and the
// COM and LPT with a superscript 1, 2 or 3, ASCII letters in any case), with or without an
// extension and spaces before it. A file "saved" as NUL.txt would go to the device.
bool IsReservedFileName(const std::wstring& savedName);
// The extension the system goes by: from the name's last "." on, dot included; empty without one.
std::wstring FileExtension(const std::wstring& fileName);
// A control character, or one that turns the direction of text or is invisible: a name holding one
// can read as another name (and type) than the one that is saved.
bool IsHidingCharacter(wchar_t unit);
bool HidesCharacters(const std::wstring& name);
// The name as it is shown: each hiding character replaced by U+FFFD.
std::wstring DisplayFileName(const std::wstring& name);
// The type the list shows: the saved name's extension upper-cased, without the dot, each hiding
// character of the name's own extension (NUL included) shown as U+FFFD, as the name is.
std::wstring FormatType(const std::wstring& name);
