#include <algorithm>
#include <cstdint>

#include "manifest/json_cursor.h"
#include "manifest/manifest.h"

namespace {

bool Consume(JsonCursor& cursor, char byte) {
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end || *cursor.position != byte) return false;
  ++cursor.position;
  return true;
}

// Exact, case-sensitive comparison; the length test first keeps the common miss cheap.
template <size_t N>
bool KeyIs(const std::wstring& key, const wchar_t (&name)[N]) {
  return key.size() == N - 1 && key.compare(0, N - 1, name, N - 1) == 0;
}

// Reads the "files" array after its key's colon, appending to files.
bool ReadFilesArray(JsonCursor& cursor, std::vector<ManifestEntry>& files, std::wstring& error) {
  if (!Consume(cursor, '[')) {
    error = L"'files' is not an array.";
    return false;
  }
  if (Consume(cursor, ']')) return true;
  for (;;) {
    ManifestEntry entry;
    if (!ReadManifestEntry(cursor, entry)) {
      error = L"Bad file entry.";
      return false;
    }
    files.push_back(std::move(entry));
    SkipWhitespace(cursor);
    const char next = cursor.position == cursor.end ? '\0' : *cursor.position;
    if (cursor.position != cursor.end && (next == ',' || next == ']')) {
      ++cursor.position;
      if (next == ']') return true;
      continue;
    }
    error = L"Bad 'files' array.";
    return false;
  }
}

}  // namespace

bool ReadManifestEntry(JsonCursor& cursor, ManifestEntry& entry) {
  if (!Consume(cursor, '{')) return false;
  if (Consume(cursor, '}')) return true;
  std::wstring key;  // also takes the strings read past
  for (;;) {
    if (!ReadString(cursor, key)) return false;
    if (!Consume(cursor, ':')) return false;
    bool read;
    if (KeyIs(key, L"name")) read = ReadString(cursor, entry.name);
    else if (KeyIs(key, L"url")) read = ReadString(cursor, entry.url);
    else if (KeyIs(key, L"size")) read = ReadInteger(cursor, entry.size);
    else if (KeyIs(key, L"modified_at")) read = ReadString(cursor, entry.modified_at);
    else if (KeyIs(key, L"ext")) read = ReadString(cursor, entry.ext);
    else if (KeyIs(key, L"sha256")) read = ReadString(cursor, entry.sha256);
    else read = SkipValue(cursor, key);
    if (!read) return false;
    SkipWhitespace(cursor);
    if (cursor.position == cursor.end) return false;
    const char next = *cursor.position++;
    if (next == '}') return true;
    if (next != ',') return false;
  }
}

void SortManifestEntries(std::vector<ManifestEntry>& files) {
  // The keys are gathered into one contiguous block and the sort runs over small records, so the
  // comparisons stay in cache instead of chasing each entry's string; the entries are then moved
  // into place once. wchar_t is 32 bits outside Windows but holds UTF-16 units there too, hence the
  // 16-bit keys.
  struct SortKey {
    uint64_t prefix[2];  // first eight units, most significant first, padded with zero units
    size_t offset;
    size_t length;
    size_t index;
  };
  const size_t count = files.size();
  if (count < 2) return;
  size_t total = 0;
  for (const ManifestEntry& entry : files) total += entry.modified_at.size();
  std::vector<uint16_t> units;
  units.reserve(total);
  std::vector<SortKey> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const std::wstring& text = files[i].modified_at;
    SortKey& key = keys[i];
    for (size_t half = 0; half < 2; ++half) {
      key.prefix[half] = 0;
      for (size_t u = half * 4; u < half * 4 + 4; ++u)
        key.prefix[half] = (key.prefix[half] << 16) | (u < text.size() ? static_cast<uint16_t>(text[u]) : 0u);
    }
    key.offset = units.size();
    key.length = text.size();
    key.index = i;
    for (wchar_t unit : text) units.push_back(static_cast<uint16_t>(unit));
  }
  const uint16_t* base = units.data();
  // Padding with the smallest unit keeps prefix order consistent with the full comparison; equal
  // prefixes fall back to it.
  std::stable_sort(keys.begin(), keys.end(), [base](const SortKey& a, const SortKey& b) {
    if (a.prefix[0] != b.prefix[0]) return a.prefix[0] > b.prefix[0];
    if (a.prefix[1] != b.prefix[1]) return a.prefix[1] > b.prefix[1];
    return std::lexicographical_compare(base + b.offset, base + b.offset + b.length, base + a.offset,
                                        base + a.offset + a.length);
  });
  units = std::vector<uint16_t>();
  // Follow each cycle of the permutation, moving every entry once.
  std::vector<bool> placed(count, false);
  for (size_t start = 0; start < count; ++start) {
    if (placed[start] || keys[start].index == start) {
      placed[start] = true;
      continue;
    }
    ManifestEntry held = std::move(files[start]);
    size_t at = start;
    for (;;) {
      placed[at] = true;
      const size_t from = keys[at].index;
      if (from == start) {
        files[at] = std::move(held);
        break;
      }
      files[at] = std::move(files[from]);
      at = from;
    }
  }
}

bool ParseManifest(const std::string& body, Manifest& manifest, std::wstring& error) {
  JsonCursor cursor = MakeJsonCursor(body);
  if (!Consume(cursor, '{')) {
    error = L"JSON root is not an object.";
    return false;
  }
  std::wstring key;
  for (;;) {
    if (!ReadString(cursor, key)) {
      error = L"Bad JSON key.";
      return false;
    }
    if (!Consume(cursor, ':')) {
      error = L"Missing ':' after key.";
      return false;
    }
    if (KeyIs(key, L"schema")) {
      if (!ReadString(cursor, manifest.schema)) {
        error = L"Bad 'schema' value.";
        return false;
      }
    } else if (KeyIs(key, L"files")) {
      if (!ReadFilesArray(cursor, manifest.files, error)) return false;
    } else if (!SkipValue(cursor, key)) {
      error = L"Bad JSON value.";
      return false;
    }
    SkipWhitespace(cursor);
    const char next = cursor.position == cursor.end ? '\0' : *cursor.position;
    if (cursor.position == cursor.end || (next != ',' && next != '}')) {
      error = L"Bad JSON object body.";
      return false;
    }
    ++cursor.position;
    if (next == '}') break;
  }
  // Judged only once the whole root object has been read, so structural faults win.
  if (manifest.schema != kManifestSchema) {
    error = L"Unexpected manifest schema: '" + manifest.schema + L"'.";
    return false;
  }
  SortManifestEntries(manifest.files);
  return true;
}
