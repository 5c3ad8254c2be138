#include <algorithm>
#include <utility>

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

// Makes room for the entries the rest of the body is likely to hold, judged by the bytes the
// entries read so far took, instead of doubling: a doubled block leaves up to half its records
// unused, and while it is moved the old and the new block are both held.
void ReserveForRest(const JsonCursor& cursor, const char* arrayStart, size_t readHere,
                    std::vector<ManifestEntry>& files) {
  const size_t size = files.size();
  size_t wanted = size + size / 2 + 1;
  if (readHere > 0) {
    const size_t perEntry = static_cast<size_t>(cursor.position - arrayStart) / readHere + 1;
    const size_t rest = static_cast<size_t>(cursor.end - cursor.position) / perEntry;
    wanted = std::max(size + rest + rest / 8 + 16, wanted);
  }
  files.reserve(std::min(wanted, kMaxManifestEntries));
}

// Reads the "files" array after its key's colon, appending to files.
bool ReadFilesArray(JsonCursor& cursor, std::vector<ManifestEntry>& files, std::wstring& error) {
  if (!Consume(cursor, '[')) {
    error = L"'files' is not an array.";
    return false;
  }
  if (Consume(cursor, ']')) return true;
  const char* const arrayStart = cursor.position;
  for (size_t readHere = 0;; ++readHere) {
    // Counted over every "files" member, since a repeated one appends.
    if (files.size() >= kMaxManifestEntries) {
      error = kTooManyEntriesText;
      return false;
    }
    if (files.size() == files.capacity()) ReserveForRest(cursor, arrayStart, readHere, files);
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
    if (KeyIs(key, L"name"))
      read = ReadString(cursor, entry.name);
    else if (KeyIs(key, L"url"))
      read = ReadString(cursor, entry.url);
    else if (KeyIs(key, L"size"))
      read = ReadInteger(cursor, entry.size);
    else if (KeyIs(key, L"modified_at"))
      read = ReadString(cursor, entry.modified_at);
    else if (KeyIs(key, L"ext"))
      read = ReadString(cursor, entry.ext);
    else if (KeyIs(key, L"sha256"))
      read = ReadString(cursor, entry.sha256);
    else
      read = SkipValue(cursor, key);
    if (!read) return false;
    SkipWhitespace(cursor);
    if (cursor.position == cursor.end) return false;
    const char next = *cursor.position++;
    if (next == '}') return true;
    if (next != ',') return false;
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
