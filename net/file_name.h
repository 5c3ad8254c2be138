#pragma once
// The file name part of a download's destination: a UTC time stamp and the entry's name made safe
// for the file system.
#include <string>

struct StampTime {
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
};

// "%04u%02u%02u_%02u%02u%02u_": 16 characters for any real date.
std::wstring FormatDownloadStamp(const StampTime& time);
// The name with each of "*/:<>?\| and U+0000 replaced by "_"; every other unit passes unchanged.
std::wstring SanitizeFileName(const std::wstring& name);
