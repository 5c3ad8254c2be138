#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "exact_body.h"
#include "manifest/json_cursor.h"
#include "manifest/manifest.h"
#include "support/check.h"

namespace {

const std::string kSchema = "\"schema\":\"quorvel.download.v1\"";

std::string Doc(const std::string& members) { return "{" + members + "}"; }
std::string Files(const std::string& elements) { return Doc(kSchema + ",\"files\":[" + elements + "]"); }
std::string Entry(const std::string& name, const std::string& modifiedAt) {
  return "{\"name\":\"" + name + "\",\"modified_at\":\"" + modifiedAt + "\"}";
}

struct ErrorCase {
  const char* label;
  std::string body;
  std::wstring error;
};

TEST_CASE(EachFaultGivesItsOneText) {
  const std::wstring kRoot = L"JSON root is not an object.";
  const std::wstring kKey = L"Bad JSON key.";
  const std::wstring kColon = L"Missing ':' after key.";
  const std::wstring kSchemaValue = L"Bad 'schema' value.";
  const std::wstring kNotArray = L"'files' is not an array.";
  const std::wstring kEntry = L"Bad file entry.";
  const std::wstring kArray = L"Bad 'files' array.";
  const std::wstring kValue = L"Bad JSON value.";
  const std::wstring kBody = L"Bad JSON object body.";
  const std::string deep = std::string(kMaxSkipDepth + 1, '[') + std::string(kMaxSkipDepth + 1, ']');
  const std::vector<ErrorCase> cases = {
      {"empty body", "", kRoot},
      {"only whitespace", " \r\n\t", kRoot},
      {"byte-order mark", "\xEF\xBB\xBF" + Doc(kSchema), kRoot},
      {"array root", "[]", kRoot},
      {"zero byte first", std::string(1, '\0') + Doc(kSchema), kRoot},
      {"form feed first", "\f" + Doc(kSchema), kRoot},
      {"empty root object", "{}", kKey},
      {"trailing comma in root", Doc(kSchema + ","), kKey},
      {"unquoted key", "{schema:1}", kKey},
      {"body ends after brace", "{", kKey},
      {"key then end", "{\"schema\"", kColon},
      {"key then comma", "{\"schema\",", kColon},
      {"schema a number", Doc("\"schema\":1"), kSchemaValue},
      {"schema null", Doc("\"schema\":null"), kSchemaValue},
      {"schema unterminated", "{\"schema\":\"quorvel", kSchemaValue},
      {"files an object", Doc(kSchema + ",\"files\":{}"), kNotArray},
      {"files null", Doc(kSchema + ",\"files\":null"), kNotArray},
      {"body ends before files value", "{\"files\":", kNotArray},
      {"element a number", Files("1"), kEntry},
      {"element a string", Files("\"a\""), kEntry},
      {"element null", Files("null"), kEntry},
      {"comma before bracket", Files("{},"), kEntry},
      {"size as a string", Files("{\"size\":\"5\"}"), kEntry},
      {"size null", Files("{\"size\":null}"), kEntry},
      {"name a number", Files("{\"name\":1}"), kEntry},
      {"sha256 a number", Files("{\"sha256\":1}"), kEntry},
      {"sha256 null", Files("{\"sha256\":null}"), kEntry},
      {"trailing comma in entry", Files("{\"name\":\"a\",}"), kEntry},
      {"entry key without colon", Files("{\"name\" \"a\"}"), kEntry},
      {"entry unterminated", "{\"files\":[{\"name\":\"a\"", kEntry},
      {"too deep inside an entry", Files("{\"x\":" + deep + "}"), kEntry},
      {"missing comma between entries", Files("{} {}"), kArray},
      {"array ends after entry", "{\"files\":[{}", kArray},
      {"array closed by brace", "{\"files\":[{}}", kArray},
      {"bad other value", Doc(kSchema + ",\"x\":True"), kValue},
      {"other value a bare word", Doc("\"x\":yes"), kValue},
      {"too deep under a root key", Doc(kSchema + ",\"x\":" + deep), kValue},
      {"root unterminated", "{" + kSchema, kBody},
      {"root members without comma", "{" + kSchema + " \"x\":1}", kBody},
      {"wrong schema and broken files", Doc("\"schema\":\"other\",\"files\":[{} {}]"), kArray},
      {"no schema", Doc("\"files\":[{\"name\":\"a\"}]"), L"Unexpected manifest schema: ''."},
      {"schema in other case", Doc("\"schema\":\"Quorvel.Download.V1\""),
       L"Unexpected manifest schema: 'Quorvel.Download.V1'."},
      {"schema with a space", Doc("\"schema\":\" quorvel.download.v1\""),
       L"Unexpected manifest schema: ' quorvel.download.v1'."},
      {"schema decoded in the text", Doc("\"schema\":\"caf\\u00e9\""), L"Unexpected manifest schema: 'caf\u00e9'."},
      {"schema with a zero after it", Doc("\"schema\":\"quorvel.download.v1\\u0000\""),
       std::wstring(L"Unexpected manifest schema: 'quorvel.download.v1") + L'\0' + L"'."},
      {"last schema wins", Doc(kSchema + ",\"schema\":\"v2\""), L"Unexpected manifest schema: 'v2'."},
  };
  for (const ErrorCase& c : cases) {
    check::Scope scope(c.label);
    Manifest manifest;
    std::wstring error = L"previous";
    CHECK(!ParseManifest(c.body, manifest, error));
    CHECK_EQ(error, c.error);
  }
}

std::vector<std::wstring> Names(const Manifest& manifest) {
  std::vector<std::wstring> names;
  for (const ManifestEntry& entry : manifest.files) names.push_back(entry.name);
  return names;
}

std::string Show(const std::vector<std::wstring>& names) {
  std::string out;
  for (const std::wstring& name : names) out += check::Show(name) + " ";
  return out;
}

struct OrderCase {
  const char* label;
  std::string body;
  std::vector<std::wstring> names;
};

TEST_CASE(WellFormedManifestsParseInDisplayOrder) {
  const std::vector<OrderCase> cases = {
      {"schema only", Doc(kSchema), {}},
      {"empty files", Files(""), {}},
      {"whitespace inside empty files", Doc(kSchema + ",\"files\":[ \n\t ]"), {}},
      {"files before schema", Doc("\"files\":[{\"name\":\"a\"}]," + kSchema), {L"a"}},
      {"newest first",
       Files(Entry("old", "2025-01-01T00:00:00Z") + "," + Entry("new", "2026-05-25T10:14:01Z")),
       {L"new", L"old"}},
      {"equal times keep manifest order",
       Files(Entry("a", "2026") + "," + Entry("b", "2027") + "," + Entry("c", "2026") + "," + Entry("d", "2026")),
       {L"b", L"a", L"c", L"d"}},
      {"missing modified_at is last", Files("{\"name\":\"none\"}," + Entry("x", "2020")), {L"x", L"none"}},
      {"prefix sorts after the longer text",
       Files(Entry("short", "2026-05") + "," + Entry("long", "2026-05-25")),
       {L"long", L"short"}},
      {"units compare unsigned", Files(Entry("low", "\\u0041") + "," + Entry("high", "\\uffff")), {L"high", L"low"}},
      {"surrogate units sort below U+E000",
       Files(Entry("pair", "\xF0\x9F\x98\x80") + "," + Entry("pua", "\xEE\x80\x80")),
       {L"pua", L"pair"}},
      {"second files member appends and sorts together",
       Doc(kSchema + ",\"files\":[" + Entry("a", "1") + "],\"files\":[" + Entry("b", "3") + "," + Entry("c", "2") +
           "]"),
       {L"b", L"c", L"a"}},
      {"other members ignored",
       Doc("\"x\":{\"y\":[1,true,false,null,\"s\"]}," + kSchema +
           ",\"files\":[{\"o\":{},\"a\":[],\"t\":true,\"f\":false,\"n\":null,\"name\":\"kept\"}],\"z\":-1.5e3"),
       {L"kept"}},
      {"bytes after the root", Files("{\"name\":\"a\"}") + "} garbage \xFF", {L"a"}},
      {"a signed list, read by a launcher that knows no signatures",
       Doc(kSchema + ",\"serial\":1796957475,\"expires\":\"2027-01-10T02:51:15Z\",\"revoke\":[\"0123456789abcdef\"]," +
           "\"files\":[" + Entry("old", "2025") + "," + Entry("new", "2026") + "]") +
           "\n{\"quorvel-signature\":\"ecdsa-p256-sha256 9254df425a03577a " + std::string(86, 'A') + "==\"}\n" +
           "{\"quorvel-signature\":\"ecdsa-p256-sha256 0123456789abcdef " + std::string(86, '/') + "==\"}\n",
       {L"new", L"old"}},
      {"whitespace everywhere",
       " \r\n{ \"schema\" : \"quorvel.download.v1\" , \"files\" : [ { \"name\" : \"a\" } ] } ",
       {L"a"}},
      {"case-different key is another key", Files("{\"Name\":\"x\",\"name\":\"y\"}"), {L"y"}},
      {"escaped key matches", Files("{\"n\\u0061me\":\"z\"}"), {L"z"}},
  };
  for (const OrderCase& c : cases) {
    check::Scope scope(c.label);
    Manifest manifest;
    std::wstring error = L"untouched";
    CHECK(ParseManifest(c.body, manifest, error));
    CHECK_EQ(error, std::wstring(L"untouched"));
    CHECK_EQ(Show(Names(manifest)), Show(c.names));
  }
}

// That many empty entries, comma-separated.
std::string EmptyEntries(size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += i ? ",{}" : "{}";
  return out;
}

TEST_CASE(EntriesStopAtTheBound) {
  struct BoundCase {
    const char* label;
    std::string body;
    std::wstring error;  // empty for a success
  };
  const size_t kMax = kMaxManifestEntries;
  const std::vector<BoundCase> cases = {
      {"exactly the bound", Files(EmptyEntries(kMax)), L""},
      // The 10,001st element is not even an object: the bound must speak before it is read.
      {"one past the bound fails as it begins", Files(EmptyEntries(kMax) + ",1"), kTooManyEntriesText},
      {"a repeated files member counts on",
       Doc(kSchema + ",\"files\":[" + EmptyEntries(kMax / 2) + "],\"files\":[" + EmptyEntries(kMax / 2 + 1) + "]"),
       kTooManyEntriesText},
  };
  for (const BoundCase& c : cases) {
    check::Scope scope(c.label);
    Manifest manifest;
    std::wstring error;
    CHECK_EQ(ParseManifest(c.body, manifest, error), c.error.empty());
    CHECK_EQ(error, c.error);
    CHECK_EQ(manifest.files.size(), kMax);
  }
}

TEST_CASE(EntryFieldsTakeTheirValues) {
  const std::string body = Files(
      "{\"name\":\"Setup \\u00e9.msi\",\"url\":\"https://host/a\\/b\",\"size\":1048576,"
      "\"modified_at\":\"2026-05-25T10:14:01Z\",\"ext\":\"msi\",\"sha256\":\"AB01\",\"extra\":[1,{}]},"
      "{}");
  Manifest manifest;
  std::wstring error;
  REQUIRE(ParseManifest(body, manifest, error));
  CHECK_EQ(manifest.schema, std::wstring(kManifestSchema));
  REQUIRE(manifest.files.size() == 2);
  const ManifestEntry& first = manifest.files[0];
  CHECK_EQ(first.name, std::wstring(L"Setup \u00e9.msi"));
  CHECK_EQ(first.url, std::wstring(L"https://host/a/b"));
  CHECK_EQ(first.size, static_cast<int64_t>(1048576));
  CHECK_EQ(first.modified_at, std::wstring(L"2026-05-25T10:14:01Z"));
  CHECK_EQ(first.ext, std::wstring(L"msi"));
  CHECK_EQ(first.sha256, std::wstring(L"AB01"));  // judged by the download, not by the parse
  const ManifestEntry& empty = manifest.files[1];
  CHECK(empty.name.empty() && empty.url.empty() && empty.modified_at.empty() && empty.ext.empty() &&
        empty.sha256.empty());
  CHECK_EQ(empty.size, static_cast<int64_t>(0));
}

TEST_CASE(SizeReadsItsIntegerPart) {
  const std::vector<std::pair<std::string, int64_t>> cases = {
      {"1.9", 1}, {"2e3", 2}, {"-1", -1}, {"+5", 5}, {"0", 0}, {"9223372036854775808", INT64_MIN}};
  for (const auto& c : cases) {
    check::Scope scope(c.first);
    Manifest manifest;
    std::wstring error;
    REQUIRE(ParseManifest(Files("{\"size\":" + c.first + "}"), manifest, error));
    REQUIRE(manifest.files.size() == 1);
    CHECK_EQ(manifest.files[0].size, c.second);
  }
}

TEST_CASE(RepeatedKeysKeepTheLastValue) {
  Manifest manifest;
  std::wstring error;
  REQUIRE(ParseManifest(Files("{\"name\":\"first\",\"size\":1,\"sha256\":\"aa\",\"name\":\"second\","
                              "\"size\":2,\"sha256\":\"\"}"),
                        manifest, error));
  REQUIRE(manifest.files.size() == 1);
  CHECK_EQ(manifest.files[0].name, std::wstring(L"second"));
  CHECK_EQ(manifest.files[0].size, static_cast<int64_t>(2));
  CHECK(manifest.files[0].sha256.empty());
}

TEST_CASE(ReadManifestEntryStopsAfterTheObject) {
  const ExactBody body(" {\"name\":\"a\",\"size\":3} ,");
  JsonCursor cursor = body.Cursor();
  ManifestEntry entry;
  REQUIRE(ReadManifestEntry(cursor, entry));
  CHECK_EQ(entry.name, std::wstring(L"a"));
  CHECK_EQ(body.Rest(cursor), std::string(" ,"));
  for (const char* bad : {"", "{", "{\"name\"", "{\"name\":", "{\"name\":\"a\"", "[]"}) {
    check::Scope scope(bad);
    const ExactBody cut(bad);
    JsonCursor at = cut.Cursor();
    ManifestEntry ignored;
    CHECK(!ReadManifestEntry(at, ignored));
  }
}

}  // namespace

namespace {

bool ReferenceLess(const std::wstring& a, const std::wstring& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const unsigned x = static_cast<uint16_t>(a[i]), y = static_cast<uint16_t>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

// Texts built from a few units, zero and the largest among them, at many lengths, so prefixes,
// padding and ties all occur; the order must be the plain stable sort's.
TEST_CASE(SortMatchesAStableSortByUnits) {
  const wchar_t alphabet[] = {0, 1, L'2', 0xD800, 0xFFFF};
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 50; ++round) {
    check::Scope scope("round " + std::to_string(round));
    std::vector<ManifestEntry> files(1 + next() % 300);
    for (size_t i = 0; i < files.size(); ++i) {
      const size_t length = next() % 7;
      for (size_t u = 0; u < length; ++u) files[i].modified_at += alphabet[next() % 5];
      files[i].name = std::to_wstring(i);
    }
    std::vector<ManifestEntry> expected = files;
    std::stable_sort(expected.begin(), expected.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
      return ReferenceLess(b.modified_at, a.modified_at);
    });
    SortManifestEntries(files);
    bool same = files.size() == expected.size();
    for (size_t i = 0; same && i < files.size(); ++i) same = files[i].name == expected[i].name;
    CHECK(same);
  }
}

}  // namespace
