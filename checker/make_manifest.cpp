#include "checker/make_manifest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "checker/check_report.h"
#include "checker/list_crypto.h"
#include "manifest/manifest.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#endif

namespace {

constexpr const char* kScriptName = "filelist.json.php";

// The script's JSON string form: slashes and non-ASCII as they are, controls escaped, and the two
// line terminators that some JavaScript readers choke on escaped too.
std::string JsonText(const std::string& utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(utf8[i]);
    switch (byte) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\b': out += "\\b"; continue;
      case '\f': out += "\\f"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else if (byte == 0xE2 && i + 2 < utf8.size() && utf8[i + 1] == '\x80' &&
               (utf8[i + 2] == '\xA8' || utf8[i + 2] == '\xA9')) {
      out += utf8[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out + "\"";
}

std::string PercentEncoded(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char byte : name) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' ||
        byte == '_' || byte == '.' || byte == '~') {
      out += static_cast<char>(byte);
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string Extension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

// "YYYY-MM-DDTHH:MM:SSZ" in UTC, by the proleptic Gregorian calendar.
std::string UtcStamp(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year < 0 ? "-" : "",
                static_cast<long long>(year < 0 ? -year : year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return buffer;
}

#ifndef _WIN32
// Well-formed UTF-8 as the server script demands it: no overlong forms, surrogates or values past
// U+10FFFF.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t value;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, value = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
      return false;
    i += length;
  }
  return true;
}
#endif

#ifdef _WIN32
bool HasLoneSurrogate(const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned unit = static_cast<unsigned>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}
#endif

bool DigestOf(const ToolPath& path, std::string& hex) {
  unsigned char digest[kSha256Bytes];
  std::string error;
  if (!Sha256OfFile(path, digest, error)) return false;
  static const char kHex[] = "0123456789abcdef";
  hex.clear();
  for (unsigned char byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0xF];
  }
  return true;
}

// The script's rules for a file it may list, after its type: the name and the time. False with a
// note when the vendor should hear why it is left out.
bool NameAndTimeListed(const std::string& name, bool utf8, int64_t mtime, int64_t now,
                       std::vector<std::string>& notes) {
  if (!utf8) {
    notes.push_back("left out a file whose name is not valid UTF-8: " + PercentEncoded(name));
    return false;
  }
  if (mtime > now - kSettleSeconds) {
    notes.push_back("left out a file modified less than " + std::to_string(kSettleSeconds) +
                    " seconds ago or dated in the future (it may still be arriving): " + name);
    return false;
  }
  return true;
}

#ifndef _WIN32
// A link is offered only when it ends at a regular file inside the folder whose path has no hidden
// part and that is neither the script nor the signed list, so it cannot publish anything the folder
// itself would not.
bool LinkStaysInside(const std::string& path, const std::string& folder) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return false;
  const std::string target = resolved;
  if (target == folder + "/" + kScriptName || target == folder + "/" + kSignedListName ||
      target.compare(0, folder.size() + 1, folder + "/") != 0) {
    return false;
  }
  size_t start = folder.size() + 1;
  for (;;) {
    const size_t slash = target.find('/', start);
    const std::string part = target.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part[0] == '.') return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}
#endif

}  // namespace

bool ListPublishedFiles(const ToolPath& folder, int64_t now, std::vector<PublishedFile>& files,
                        std::vector<std::string>& notes, std::string& error) {
#ifdef _WIN32
  // Links are not followed here: only plain files are offered.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    error = "cannot read the folder " + WideToUtf8(folder);
    return false;
  }
  do {
    const std::wstring wide = found.cFileName;
    const std::string name = WideToUtf8(wide);
    if (wide.empty() || wide[0] == L'.' || name == kScriptName || name == kSignedListName) continue;
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
      continue;
    PublishedFile file;
    file.name = name;
    file.size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                               found.ftLastWriteTime.dwLowDateTime);
    const int64_t sinceEpoch = ticks - 116444736000000000LL;  // 100 ns units from 1601 to 1970
    file.mtime = sinceEpoch >= 0 ? sinceEpoch / 10000000 : -((-sinceEpoch + 9999999) / 10000000);
    if (!NameAndTimeListed(name, !HasLoneSurrogate(wide), file.mtime, now, notes)) continue;
    if (!DigestOf(folder + L"\\" + wide, file.sha256)) {
      notes.push_back("left out a file that cannot be read: " + name);
      continue;
    }
    files.push_back(file);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
#else
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) {
    error = "cannot read the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  const std::string real = resolved;
  std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(real.c_str()), closedir);
  if (!directory) {
    error = "cannot read the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent* entry = readdir(directory.get())) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name == kScriptName || name == kSignedListName) continue;
    const std::string path = real + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;  // removed while listing
    if (S_ISLNK(info.st_mode)) {
      if (!LinkStaysInside(path, real) || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    } else if (!S_ISREG(info.st_mode)) {
      continue;  // sub-folders, sockets, devices
    }
    PublishedFile file;
    file.name = name;
    file.size = static_cast<int64_t>(info.st_size);
    file.mtime = static_cast<int64_t>(info.st_mtime);
    if (!NameAndTimeListed(name, IsUtf8(name), file.mtime, now, notes)) continue;
    if (!DigestOf(path, file.sha256)) {
      notes.push_back("left out a file that cannot be read: " + name);
      continue;
    }
    files.push_back(file);
  }
  return true;
#endif
}

std::string ManifestDocument(std::vector<PublishedFile> files, const std::string& folderUrl,
                             const std::string& rootMembers) {
  std::sort(files.begin(), files.end(), [](const PublishedFile& a, const PublishedFile& b) {
    if (a.mtime != b.mtime) return a.mtime > b.mtime;
    return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  std::string out = "{\"schema\":" + JsonText(WideToUtf8(kManifestSchema)) + rootMembers + ",\"files\":[";
  for (size_t i = 0; i < files.size(); ++i) {
    const PublishedFile& file = files[i];
    if (i) out += ',';
    out += "{\"name\":" + JsonText(file.name) + ",\"url\":" + JsonText(folderUrl + PercentEncoded(file.name)) +
           ",\"size\":" + std::to_string(static_cast<long long>(file.size)) +
           ",\"modified_at\":" + JsonText(UtcStamp(file.mtime)) + ",\"ext\":" + JsonText(Extension(file.name)) +
           ",\"sha256\":" + JsonText(file.sha256) + "}";
  }
  return out + "]}";
}
