#pragma once
// The download manifest as the launcher holds it: records filled by ParseManifest.
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
};

constexpr const wchar_t* kManifestSchema = L"quorvel.download.v1";

// Parses a reply body (UTF-8 bytes, no terminating NUL needed) into an empty manifest and puts the
// entries newest first. On failure, error holds the one text the user sees.
bool ParseManifest(const std::string& body, Manifest& manifest, std::wstring& error);

struct JsonCursor;
// Reads one file entry object at the cursor into entry, which holds the defaults; no message.
bool ReadManifestEntry(JsonCursor& cursor, ManifestEntry& entry);

// Puts entries newest first: a stable sort by modified_at, largest first, comparing UTF-16 code units
// as unsigned 16-bit numbers.
void SortManifestEntries(std::vector<ManifestEntry>& files);
