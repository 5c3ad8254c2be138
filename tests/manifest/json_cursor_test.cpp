#include <cstdint>
#include <string>
#include <vector>

#include "exact_body.h"
#include "manifest/json_cursor.h"
#include "support/check.h"

namespace {

struct StringCase {
  const char* label;
  std::string input;
  bool ok;
  std::wstring text;
  std::string rest;
};

TEST_CASE(ReadStringDecodesEscapesAndRawBytes) {
  const std::vector<StringCase> cases = {
      {"plain", "\"abc\"", true, L"abc", ""},
      {"leading whitespace", " \t\r\n\"x\" ,", true, L"x", " ,"},
      {"empty", "\"\"", true, L"", ""},
      {"escape of e-acute", "\"\\u00e9\"", true, Units({0xE9}), ""},
      {"raw e-acute", "\"\xC3\xA9\"", true, Units({0xE9}), ""},
      {"upper-case hex", "\"\\u00E9\\u20AC\"", true, Units({0xE9, 0x20AC}), ""},
      {"two-byte form", "\"\\u07ff\"", true, Units({0x7FF}), ""},
      {"largest escape", "\"\\uffff\"", true, Units({0xFFFF}), ""},
      {"raw four-byte character", "\"\xF0\x9F\x98\x80\"", true, Units({0xD83D, 0xDE00}), ""},
      {"simple escapes", "\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"", true, L"\"/\\\b\f\n\r\t", ""},
      {"escaped zero counts", "\"a\\u0000b\"", true, Units({'a', 0, 'b'}), ""},
      {"raw zero byte", std::string("\"a\0b\"", 5), true, Units({'a', 0, 'b'}), ""},
      {"raw line feed and tab", "\"a\nb\tc\"", true, L"a\nb\tc", ""},
      {"raw control byte", "\"\x01\"", true, Units({1}), ""},
      {"stops after closing quote", "\"ab\"cd", true, L"ab", "cd"},
      {"escape then raw bytes", "\"\\n\xC3\xA9z\"", true, Units({'\n', 0xE9, 'z'}), ""},
      {"malformed raw byte",
       "\"a\xFF"
       "b\"",
       true, Units({'a', 0xFFFD, 'b'}), ""},
      {"unknown escape letter", "\"\\x\"", false, L"", ""},
      {"backslash as last byte", "\"abc\\", false, L"", ""},
      {"non-hex digit in u escape", "\"\\u00g0\"", false, L"", ""},
      {"u escape cut by the end", "\"\\u00e", false, L"", ""},
      {"u escape too short before quote", "\"\\u0e\"", false, L"", ""},
      {"unterminated", "\"abc", false, L"", ""},
      {"unterminated after escape", "\"a\\n", false, L"", ""},
      {"not a string", "abc", false, L"", ""},
      {"empty body", "", false, L"", ""},
      {"only whitespace", "   ", false, L"", ""},
      {"form feed is not whitespace", "\f\"a\"", false, L"", ""},
      {"vertical tab is not whitespace", "\v\"a\"", false, L"", ""},
      {"no-break space is not whitespace", "\xC2\xA0\"a\"", false, L"", ""},
  };
  for (const StringCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.input);
    JsonCursor cursor = body.Cursor();
    std::wstring out = L"left over";
    CHECK_EQ(ReadString(cursor, out), c.ok);
    CHECK_EQ(out, c.text);
    if (c.ok) CHECK_EQ(body.Rest(cursor), c.rest);
    CHECK(cursor.position <= cursor.end);
  }
}

TEST_CASE(EscapedSurrogatePairIsNotCombined) {
  const ExactBody body("\"\\ud83d\\ude00\"");
  JsonCursor cursor = body.Cursor();
  std::wstring out;
  REQUIRE(ReadString(cursor, out));
  REQUIRE(!out.empty());
  for (wchar_t unit : out) CHECK_EQ(static_cast<unsigned>(unit), 0xFFFDu);
}

struct IntegerCase {
  const char* label;
  std::string input;
  bool ok;
  int64_t value;
  std::string rest;
};

TEST_CASE(ReadIntegerTakesTheIntegerPart) {
  const int64_t kMin = INT64_MIN;
  const std::vector<IntegerCase> cases = {
      {"zero", "0", true, 0, ""},
      {"negative zero", "-0", true, 0, ""},
      {"leading zeros", "007", true, 7, ""},
      {"plus sign", "+5", true, 5, ""},
      {"minus one", "-1", true, -1, ""},
      {"whitespace first", " \n42,", true, 42, ","},
      {"fraction dropped", "1.9", true, 1, ""},
      {"exponent dropped", "2e3", true, 2, ""},
      {"lone point", "3.", true, 3, ""},
      {"lone e", "4e", true, 4, ""},
      {"signed empty exponent", "5E+}", true, 5, "}"},
      {"fraction and exponent", "6.25e-3x", true, 6, "x"},
      {"second point not taken", "7.1.2", true, 7, ".2"},
      {"largest", "9223372036854775807", true, INT64_MAX, ""},
      {"2^63 wraps to the most negative", "9223372036854775808", true, kMin, ""},
      {"most negative", "-9223372036854775808", true, kMin, ""},
      {"2^64 wraps to zero", "18446744073709551616", true, 0, ""},
      {"twenty digits wrap", "12345678901234567890", true, -6101065172474983726LL, ""},
      {"lone minus", "-", false, 77, ""},
      {"lone plus", "+", false, 77, ""},
      {"sign then space", "- 1", false, 77, ""},
      {"two signs", "+-1", false, 77, ""},
      {"starts with a point", ".5", false, 77, ""},
      {"minus then point", "-.5", false, 77, ""},
      {"starts with e", "e5", false, 77, ""},
      {"a string", "\"5\"", false, 77, ""},
      {"empty body", "", false, 77, ""},
      {"form feed first", "\f1", false, 77, ""},
  };
  for (const IntegerCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.input);
    JsonCursor cursor = body.Cursor();
    int64_t out = 77;
    CHECK_EQ(ReadInteger(cursor, out), c.ok);
    CHECK_EQ(out, c.value);
    if (c.ok) CHECK_EQ(body.Rest(cursor), c.rest);
  }
}

struct SkipCase {
  const char* label;
  std::string input;
  bool ok;
  std::string rest;
};

TEST_CASE(SkipValueReadsPastAnyValue) {
  const std::vector<SkipCase> cases = {
      {"true", "true", true, ""},
      {"false", "false,", true, ","},
      {"null", " null}", true, "}"},
      {"nul", "nul", true, ""},
      {"tru", "tru", true, ""},
      {"nope", "nope", true, ""},
      {"lone t", "t", true, ""},
      {"word stops at a non-letter", "truex1", true, "1"},
      {"True fails", "True", false, ""},
      {"NULL fails", "NULL", false, ""},
      {"yes fails", "yes", false, ""},
      {"string", "\"s\\n\" x", true, " x"},
      {"bad string", "\"\\q\"", false, ""},
      {"number", "-12.5e3,", true, ","},
      {"empty object", "{ }", true, ""},
      {"empty array", "[ ]", true, ""},
      {"nested", "[[],{},[{}],{\"a\":[1,{\"b\":null}],\"c\":\"x\"}]", true, ""},
      {"object with every kind", "{\"a\":1,\"b\":\"s\",\"c\":true,\"d\":[],\"e\":{}}", true, ""},
      {"trailing comma in array", "[1,]", false, ""},
      {"trailing comma in object", "{\"a\":1,}", false, ""},
      {"comma only", "[,]", false, ""},
      {"missing comma", "[1 2]", false, ""},
      {"missing colon", "{\"a\" 1}", false, ""},
      {"key not a string", "{1:2}", false, ""},
      {"unterminated array", "[1", false, ""},
      {"unterminated object", "{\"a\":1", false, ""},
      {"lone bracket", "[", false, ""},
      {"lone brace", "{", false, ""},
      {"closing first", "]", false, ""},
      {"lone minus", "-", false, ""},
      {"empty body", "", false, ""},
      {"vertical tab before value", "\v1", false, ""},
      {"form feed inside array", "[1\f]", false, ""},
      {"no-break space inside array",
       "[1,\xC2\xA0"
       "2]",
       false, ""},
  };
  for (const SkipCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.input);
    JsonCursor cursor = body.Cursor();
    CHECK_EQ(SkipValue(cursor), c.ok);
    if (c.ok) CHECK_EQ(body.Rest(cursor), c.rest);
  }
}

TEST_CASE(SkipObjectAndSkipArrayTakeOnlyTheirKind) {
  {
    const ExactBody body("{\"a\":[1]} ");
    JsonCursor cursor = body.Cursor();
    CHECK(SkipObject(cursor));
    CHECK_EQ(body.Rest(cursor), std::string(" "));
  }
  {
    const ExactBody body(" [1,[2]]x");
    JsonCursor cursor = body.Cursor();
    CHECK(SkipArray(cursor));
    CHECK_EQ(body.Rest(cursor), std::string("x"));
  }
  {
    const ExactBody body("[]");
    JsonCursor cursor = body.Cursor();
    CHECK(!SkipObject(cursor));
  }
  {
    const ExactBody body("{}");
    JsonCursor cursor = body.Cursor();
    CHECK(!SkipArray(cursor));
  }
}

std::string Nested(int depth, const char* open, const char* close, const char* inner) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST_CASE(NestingIsBounded) {
  struct DepthCase {
    const char* label;
    std::string input;
    bool ok;
  };
  const std::vector<DepthCase> cases = {
      {"arrays at the bound", Nested(kMaxSkipDepth, "[", "]", "1"), true},
      {"arrays past the bound", Nested(kMaxSkipDepth + 1, "[", "]", "1"), false},
      {"objects at the bound", Nested(kMaxSkipDepth, "{\"k\":", "}", "{}"), false},
      {"objects below the bound", Nested(kMaxSkipDepth - 1, "{\"k\":", "}", "{}"), true},
      {"mixed past the bound", Nested(kMaxSkipDepth, "[{\"k\":", "}]", "1"), false},
      {"far too deep and unterminated", std::string(200000, '['), false},
  };
  for (const DepthCase& c : cases) {
    check::Scope scope(c.label);
    const ExactBody body(c.input);
    JsonCursor cursor = body.Cursor();
    CHECK_EQ(SkipValue(cursor), c.ok);
  }
}

}  // namespace
