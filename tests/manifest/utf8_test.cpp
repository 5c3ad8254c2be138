#include <string>
#include <vector>

#include "exact_body.h"
#include "manifest/utf8.h"
#include "support/check.h"

namespace {

std::wstring ToUnits(unsigned value) {
  if (value < 0x10000) return Units({value});
  value -= 0x10000;
  return Units({0xD800 + (value >> 10), 0xDC00 + (value & 0x3FF)});
}

struct DecodeCase {
  const char* label;
  std::string bytes;
  std::wstring units;
};

TEST_CASE(DecoderMapsWellFormedInputExactly) {
  const std::vector<DecodeCase> cases = {
      {"empty", "", L""},
      {"ascii longer than a block", "hello, world, again", L"hello, world, again"},
      {"two bytes", "\xC3\xA9", Units({0xE9})},
      {"three bytes", "\xE2\x82\xAC", Units({0x20AC})},
      {"last before surrogates", "\xED\x9F\xBF", Units({0xD7FF})},
      {"first after surrogates", "\xEE\x80\x80", Units({0xE000})},
      {"largest in the plane", "\xEF\xBF\xBF", Units({0xFFFF})},
      {"first beyond the plane", "\xF0\x90\x80\x80", Units({0xD800, 0xDC00})},
      {"largest code point", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
      {"non-ascii after a block", "abcdefgh\xC3\xA9z", Units({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xE9, 'z'})},
      {"zero byte", std::string("a\0b", 3), Units({'a', 0, 'b'})},
  };
  for (const DecodeCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.bytes);
    CHECK_EQ(DecodeUtf8(body.bytes.get(), body.size), c.units);
    CHECK_EQ(Utf8ToWide(body.bytes.get(), body.size), c.units);
  }
}

TEST_CASE(DecoderReplacesEachMalformedSubpart) {
  const wchar_t R = 0xFFFD;
  const std::vector<DecodeCase> cases = {
      {"lone continuation", "\x80", Units({R})},
      {"overlong two bytes", "\xC0\x80", Units({R, R})},
      {"overlong C1", "\xC1\xBF", Units({R, R})},
      {"overlong three bytes", "\xE0\x80\x80", Units({R, R, R})},
      {"encoded surrogate", "\xED\xA0\x80", Units({R, R, R})},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", Units({R, R, R, R})},
      {"F5 lead", "\xF5\x80\x80\x80", Units({R, R, R, R})},
      {"FF byte",
       "a\xFF"
       "b",
       Units({'a', R, 'b'})},
      {"truncated at the end", "a\xE2\x82", Units({'a', R})},
      {"truncated before ascii",
       "\xE2\x82"
       "a",
       Units({R, 'a'})},
      {"truncated four bytes", "\xF0\x9F\x98x", Units({R, 'x'})},
      {"lead before a well-formed character", "\xC3\xC3\xA9", Units({R, 0xE9})},
  };
  for (const DecodeCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.bytes);
    CHECK_EQ(DecodeUtf8(body.bytes.get(), body.size), c.units);
  }
}

// The system converter on Windows may count replacements differently; it must still keep every
// well-formed character and replace the rest.
TEST_CASE(ConverterNeverDropsWellFormedCharacters) {
  const std::vector<std::string> inputs = {
      "a\xFF"
      "b",
      "\xED\xA0\x80x",
      "\xC0\x80y",
      "z\xE2\x82",
      "\xF0\x9F\x98"
      "q",
      "\x80\x80"
      "c\xC3\xA9"};
  for (const std::string& input : inputs) {
    check::Scope scope(check::Show(input));
    const std::wstring out = Utf8ToWide(input.data(), input.size());
    std::wstring kept;
    for (wchar_t unit : out) {
      if (unit != 0xFFFD) kept += unit;
    }
    std::wstring expected;
    for (unsigned char byte : input) {
      if (byte < 0x80) expected += static_cast<wchar_t>(byte);
    }
    if (input ==
        "\x80\x80"
        "c\xC3\xA9")
      expected += static_cast<wchar_t>(0xE9);
    CHECK_EQ(kept, expected);
    CHECK(out.size() > kept.size());
  }
}

// Every scalar value, in one text made by our encoder, converts the same way through Utf8ToWide (the
// system's converter on Windows) and through our decoder.
TEST_CASE(ConverterAndDecoderAgreeOnEveryCharacter) {
  std::string bytes;
  std::wstring expected;
  for (unsigned value = 0; value <= 0x10FFFF; ++value) {
    if (value >= 0xD800 && value <= 0xDFFF) continue;
    AppendUtf8(bytes, value);
    expected += ToUnits(value);
  }
  const std::wstring ours = DecodeUtf8(bytes.data(), bytes.size());
  const std::wstring system = Utf8ToWide(bytes.data(), bytes.size());
  CHECK(ours == expected);
  CHECK(system == expected);
  CHECK_EQ(system.size(), expected.size());
}

}  // namespace
