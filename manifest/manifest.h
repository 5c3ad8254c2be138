#pragma once
// The download manifest as the launcher holds it: records filled by ParseManifest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ManifestEntry {
  std::wstring name;
  std::wstring url;
  int64_t size = 0;
  std::wstring modified_at;
  std::wstring ext;
  std::wstring sha256;  // expected SHA-256 of the file as hex text, empty when the entry names none
};

struct Manifest {
  std::wstring schema;
  std::vector<ManifestEntry> files;  // display order (newest first) after a successful parse
  // Accepted as a signed list under the keys the launcher pins: its publisher vouches for every
  // entry's digest and size. The parse leaves it false; only the list's verdict sets it.
  bool vouched = false;
};

constexpr const wchar_t* kManifestSchema = L"quorvel.download.v1";
// The most entries a manifest may list: far beyond any real catalogue, and it keeps the records and
// the list built from them small. The entry after the last allowed one fails the parse as it begins.
constexpr size_t kMaxManifestEntries = 10000;
constexpr const wchar_t* kTooManyEntriesText = L"Manifest lists more than 10,000 files; refusing.";

// Parses a reply body (UTF-8 bytes, no terminating NUL needed) into an empty manifest and puts the
// entries newest first. On failure, error holds the one text the user sees.
bool ParseManifest(const std::string& body, Manifest& manifest, std::wstring& error);

struct JsonCursor;
// Reads one file entry object at the cursor into entry, which holds the defaults; no message.
bool ReadManifestEntry(JsonCursor& cursor, ManifestEntry& entry);

// Puts entries newest first: a stable sort by modified_at, largest first, comparing UTF-16 code units
// as unsigned 16-bit numbers.
void SortManifestEntries(std::vector<ManifestEntry>& files);
