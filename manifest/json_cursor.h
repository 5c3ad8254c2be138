#pragma once
// A forward-only reader over the UTF-8 bytes of a JSON body: the caller handles the structural bytes
// and reads the values it wants; everything else is read past.
#include <cstdint>
#include <string>

// Deepest nesting of objects and arrays that SkipValue reads past; deeper input fails the read
// instead of exhausting the stack.
constexpr int kMaxSkipDepth = 256;

struct JsonCursor {
  const char* position = nullptr;  // next byte to read
  const char* end = nullptr;       // one past the last byte of the body
};

inline JsonCursor MakeJsonCursor(const std::string& body) { return JsonCursor{body.data(), body.data() + body.size()}; }

void SkipWhitespace(JsonCursor& cursor);
bool ReadString(JsonCursor& cursor, std::wstring& out);
bool ReadInteger(JsonCursor& cursor, int64_t& out);
bool SkipValue(JsonCursor& cursor);
// The same, decoding the strings it reads past into scratch so a caller can reuse one buffer.
bool SkipValue(JsonCursor& cursor, std::wstring& scratch);
bool SkipObject(JsonCursor& cursor);
bool SkipArray(JsonCursor& cursor);
