#include "manifest/utf8.h"

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

void DecodeUtf8Into(const char* bytes, size_t length, std::wstring& out) {
  out.clear();
  if (length == 0) return;
  // No byte yields more than one UTF-16 unit, so the length bounds the result.
  out.resize(length);
  wchar_t* write = &out[0];
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  const unsigned char* const end = p + length;
  while (p < end) {
    // Runs of ASCII are the common case in manifests: copy eight at a time.
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (block & 0x8080808080808080ull) break;
      for (int i = 0; i < 8; ++i) write[i] = static_cast<wchar_t>(p[i]);
      write += 8;
      p += 8;
    }
    if (p == end) break;
    const unsigned char lead = *p;
    if (lead < 0x80) {
      *write++ = static_cast<wchar_t>(lead);
      ++p;
      continue;
    }
    // Bounds of the second byte narrow by lead so overlong forms, surrogates and values past
    // U+10FFFF are ill-formed; later bytes are plain continuations.
    int need;
    unsigned char low = 0x80, high = 0xBF;
    uint32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      value = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      value = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      *write++ = kReplacement;
      ++p;
      continue;
    }
    const unsigned char* q = p + 1;
    bool complete = true;
    for (int i = 0; i < need; ++i, ++q) {
      if (q == end) {
        complete = false;
        break;
      }
      const unsigned char byte = *q;
      const bool fits = i == 0 ? (byte >= low && byte <= high) : IsContinuation(byte);
      if (!fits) {
        complete = false;
        break;
      }
      value = (value << 6) | (byte & 0x3F);
    }
    if (!complete) {
      // One replacement for the maximal subpart read so far; decoding resumes at the offending byte.
      *write++ = kReplacement;
      p = q;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      *write++ = static_cast<wchar_t>(0xD800 + (value >> 10));
      *write++ = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    } else {
      *write++ = static_cast<wchar_t>(value);
    }
    p = q;
  }
  out.resize(static_cast<size_t>(write - out.data()));
}

void AppendUtf8(std::string& out, uint32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

std::wstring DecodeUtf8(const char* bytes, size_t length) {
  std::wstring out;
  DecodeUtf8Into(bytes, length, out);
  return out;
}

#ifdef _WIN32
void Utf8ToWideInto(const char* bytes, size_t length, std::wstring& out) {
  out.clear();
  if (length == 0 || length > 0x7FFFFFFF) return;
  const int byteCount = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_UTF8, 0, bytes, byteCount, nullptr, 0);
  if (units <= 0) return;
  out.resize(static_cast<size_t>(units));
  if (MultiByteToWideChar(CP_UTF8, 0, bytes, byteCount, &out[0], units) != units) out.clear();
}
#else
void Utf8ToWideInto(const char* bytes, size_t length, std::wstring& out) { DecodeUtf8Into(bytes, length, out); }
#endif

std::wstring Utf8ToWide(const char* bytes, size_t length) {
  std::wstring out;
  Utf8ToWideInto(bytes, length, out);
  return out;
}
