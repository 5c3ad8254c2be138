#pragma once
// Test input in a heap block of exactly its size, so the sanitizer reports any read at or past
// the end (a std::string would hide it behind its terminating NUL).
#include <cstring>
#include <memory>
#include <string>

#include "manifest/json_cursor.h"

struct ExactBody {
  explicit ExactBody(const std::string& text) : size(text.size()), bytes(new char[text.size()]) {
    if (size) std::memcpy(bytes.get(), text.data(), size);
  }
  JsonCursor Cursor() const { return JsonCursor{bytes.get(), bytes.get() + size}; }
  std::string Rest(const JsonCursor& cursor) const {
    return std::string(cursor.position, static_cast<size_t>(cursor.end - cursor.position));
  }
  size_t size;
  std::unique_ptr<char[]> bytes;
};

// Builds a wide text from UTF-16 code units.
inline std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring text;
  for (unsigned unit : units) text.push_back(static_cast<wchar_t>(unit));
  return text;
}
