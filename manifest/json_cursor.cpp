#include "manifest/json_cursor.h"

#include <cstring>

#include "manifest/utf8.h"

namespace {

// The first quote or backslash at or after p, or end; eight bytes at a time while eight remain.
const char* FindQuoteOrBackslash(const char* p, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  while (end - p >= 8) {
    uint64_t block;
    std::memcpy(&block, p, 8);
    const uint64_t quotes = block ^ (kOnes * '"');
    const uint64_t backslashes = block ^ (kOnes * '\\');
    // A zero byte in either marks a match (the classic has-zero-byte test).
    if ((((quotes - kOnes) & ~quotes) | ((backslashes - kOnes) & ~backslashes)) & kHighs) break;
    p += 8;
  }
  while (p != end && *p != '"' && *p != '\\') ++p;
  return p;
}

bool IsWhitespace(char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }
bool IsAsciiLetter(char byte) { return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z'); }

int HexValue(char byte) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

// Reads the rest of a string after a backslash has been met: the bytes before it are in buffer.
bool ReadEscapedRest(JsonCursor& cursor, std::string& buffer, std::wstring& out) {
  const char* p = cursor.position;
  const char* const end = cursor.end;
  for (;;) {
    const char* run = p;
    p = FindQuoteOrBackslash(p, end);
    buffer.append(run, p);
    if (p == end) break;
    if (*p == '"') {
      cursor.position = p + 1;
      Utf8ToWideInto(buffer.data(), buffer.size(), out);
      return true;
    }
    ++p;  // the backslash
    if (p == end) break;
    const char letter = *p++;
    switch (letter) {
      case '"': buffer.push_back('"'); break;
      case '/': buffer.push_back('/'); break;
      case '\\': buffer.push_back('\\'); break;
      case 'b': buffer.push_back('\b'); break;
      case 'f': buffer.push_back('\f'); break;
      case 'n': buffer.push_back('\n'); break;
      case 'r': buffer.push_back('\r'); break;
      case 't': buffer.push_back('\t'); break;
      case 'u': {
        if (end - p < 4) {
          cursor.position = p;
          return false;
        }
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
          const int digit = HexValue(p[i]);
          if (digit < 0) {
            cursor.position = p + i;
            return false;
          }
          value = (value << 4) | static_cast<unsigned>(digit);
        }
        p += 4;
        // Each escape is encoded by itself, so the halves of a surrogate pair stay apart (and
        // become U+FFFD in the conversion).
        AppendUtf8(buffer, value);
        break;
      }
      default: cursor.position = p - 1; return false;
    }
  }
  cursor.position = p;
  return false;
}

// scratch receives the skipped strings (keys included), so one skip reuses one buffer.
bool SkipValueAt(JsonCursor& cursor, int depth, std::wstring& scratch);

// Objects and arrays share one shape; depth counts the containers already open around this one.
bool SkipContainerAt(JsonCursor& cursor, int depth, char open, char close, std::wstring& scratch) {
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end || *cursor.position != open) return false;
  if (depth >= kMaxSkipDepth) return false;
  ++cursor.position;
  SkipWhitespace(cursor);
  if (cursor.position != cursor.end && *cursor.position == close) {
    ++cursor.position;
    return true;
  }
  for (;;) {
    if (open == '{') {
      if (!ReadString(cursor, scratch)) return false;
      SkipWhitespace(cursor);
      if (cursor.position == cursor.end || *cursor.position != ':') return false;
      ++cursor.position;
    }
    if (!SkipValueAt(cursor, depth + 1, scratch)) return false;
    SkipWhitespace(cursor);
    if (cursor.position == cursor.end) return false;
    const char next = *cursor.position++;
    if (next == close) return true;
    if (next != ',') return false;
  }
}

bool SkipValueAt(JsonCursor& cursor, int depth, std::wstring& scratch) {
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end) return false;
  switch (*cursor.position) {
    case '"': return ReadString(cursor, scratch);
    case '{': return SkipContainerAt(cursor, depth, '{', '}', scratch);
    case '[': return SkipContainerAt(cursor, depth, '[', ']', scratch);
    case 'f':
    case 'n':
    case 't':
      // Any word with one of these initials passes as a literal.
      while (cursor.position != cursor.end && IsAsciiLetter(*cursor.position)) ++cursor.position;
      return true;
    default: {
      int64_t scratch = 0;
      return ReadInteger(cursor, scratch);
    }
  }
}

}  // namespace

void SkipWhitespace(JsonCursor& cursor) {
  while (cursor.position != cursor.end && IsWhitespace(*cursor.position)) ++cursor.position;
}

bool ReadString(JsonCursor& cursor, std::wstring& out) {
  out.clear();
  SkipWhitespace(cursor);
  if (cursor.position == cursor.end || *cursor.position != '"') return false;
  const char* const run = ++cursor.position;
  const char* const end = cursor.end;
  const char* p = FindQuoteOrBackslash(run, end);
  if (p == end) {
    cursor.position = p;
    return false;
  }
  if (*p == '"') {
    // Nothing to unescape: convert straight from the body, no byte buffer needed.
    cursor.position = p + 1;
    Utf8ToWideInto(run, static_cast<size_t>(p - run), out);
    return true;
  }
  std::string buffer;
  buffer.reserve(64);
  buffer.append(run, p);
  cursor.position = p;
  if (ReadEscapedRest(cursor, buffer, out)) return true;
  out.clear();
  return false;
}

bool ReadInteger(JsonCursor& cursor, int64_t& out) {
  SkipWhitespace(cursor);
  const char*& p = cursor.position;
  const char* const end = cursor.end;
  if (p == end) return false;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
    if (p == end) return false;
  }
  if (!IsDigit(*p)) return false;
  // Unsigned arithmetic wraps around by definition; more than 19 digits simply wrap.
  uint64_t value = 0;
  while (p != end && IsDigit(*p)) value = value * 10 + static_cast<uint64_t>(*p++ - '0');
  if (p != end && *p == '.') {
    ++p;
    while (p != end && IsDigit(*p)) ++p;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    while (p != end && IsDigit(*p)) ++p;
  }
  if (negative) value = 0 - value;
  out = static_cast<int64_t>(value);
  return true;
}

bool SkipValue(JsonCursor& cursor, std::wstring& scratch) { return SkipValueAt(cursor, 0, scratch); }

bool SkipValue(JsonCursor& cursor) {
  std::wstring scratch;
  return SkipValue(cursor, scratch);
}

bool SkipObject(JsonCursor& cursor) {
  std::wstring scratch;
  return SkipContainerAt(cursor, 0, '{', '}', scratch);
}

bool SkipArray(JsonCursor& cursor) {
  std::wstring scratch;
  return SkipContainerAt(cursor, 0, '[', ']', scratch);
}
