#include <string>
#include <vector>

#include "checker/check_report.h"
#include "exact_body.h"
#include "support/check.h"

namespace {

TEST_CASE(JsonQuoteEscapesEverythingOutsidePrintableAscii) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"", "\"\""},
      {L"plain ~ text", "\"plain ~ text\""},
      {L"\"\\/", "\"\\\"\\\\/\""},
      {Units({0, 0x1F, 0x7F, 0x80}), "\"\\u0000\\u001f\\u007f\\u0080\""},
      {Units({0xE9, 0x2014, 0xFFFF}), "\"\\u00e9\\u2014\\uffff\""},
      {Units({0xD83D, 0xDE00}), "\"\\ud83d\\ude00\""},
      {Units({0xDC00, 'a', 0xD800}), "\"\\udc00a\\ud800\""},
      {L"\n\t", "\"\\u000a\\u0009\""},
  };
  for (const auto& c : cases) {
    check::Scope scope(c.second);
    CHECK_EQ(JsonQuote(c.first), c.second);
  }
}

TEST_CASE(WideToUtf8JoinsPairsAndReplacesLoneSurrogates) {
  CHECK_EQ(WideToUtf8(Units({'a', 0xE9, 0x20AC})), std::string("a\xC3\xA9\xE2\x82\xAC"));
  CHECK_EQ(WideToUtf8(Units({0xD83D, 0xDE00})), std::string("\xF0\x9F\x98\x80"));
  CHECK_EQ(WideToUtf8(Units({0xD83D, 'x', 0xDE00})), std::string("\xEF\xBF\xBDx\xEF\xBF\xBD"));
}

TEST_CASE(ReportFollowsTheJsonContract) {
  const std::string good(64, 'A');
  const std::string body =
      "{\"schema\":\"quorvel.download.v1\",\"files\":[{\"name\":\"a.msi\",\"url\":\"u\",\"size\":1536,"
      "\"modified_at\":\"2026-05-25T10:14:01Z\",\"ext\":\"msi\",\"sha256\":\"" +
      good +
      "\"},"
      "{\"name\":\"b\",\"modified_at\":\"2027\",\"size\":-2},"
      "{\"name\":\"c\",\"url\":\"HTTP://h/c\",\"modified_at\":\"2028\",\"sha256\":\"x\"},"
      "{\"name\":\"d\",\"url\":\"http://h/d\",\"modified_at\":\"2029\",\"sha256\":\"\"},"
      "{\"name\":\"NUL.txt\",\"url\":\"https://h/n\",\"modified_at\":\"2025\"}]}";
  const CheckReport accepted = CheckManifestBody(body, true);
  CHECK_EQ(accepted.exitCode, 0);
  CHECK_EQ(accepted.problemCount, size_t{3});
  CHECK_EQ(accepted.output,
           std::string("{\"ok\":true,\"status\":\"5 file(s) available \\u2014 double-click any row to install.\","
                       "\"schema\":\"quorvel.download.v1\",\"files\":["
                       "{\"name\":\"d\",\"url\":\"http://h/d\",\"size\":0,\"modified_at\":\"2029\",\"ext\":\"\","
                       "\"sha256\":\"\",\"cells\":[\"d\",\"2029\",\"0 B\",\"\"]},"
                       "{\"name\":\"c\",\"url\":\"HTTP://h/c\",\"size\":0,\"modified_at\":\"2028\",\"ext\":\"\","
                       "\"sha256\":\"x\",\"cells\":[\"c\",\"2028\",\"0 B\",\"\"]},"
                       "{\"name\":\"b\",\"url\":\"\",\"size\":-2,\"modified_at\":\"2027\",\"ext\":\"\","
                       "\"sha256\":\"\",\"cells\":[\"b\",\"2027\",\"\\u2014\",\"\"]},"
                       "{\"name\":\"a.msi\",\"url\":\"u\",\"size\":1536,\"modified_at\":\"2026-05-25T10:14:01Z\","
                       "\"ext\":\"msi\",\"sha256\":\"") +
               good +
               "\",\"cells\":[\"a.msi\",\"2026-05-25\",\"1.50 KB\",\"MSI\"]},"
               "{\"name\":\"NUL.txt\",\"url\":\"https://h/n\",\"size\":0,\"modified_at\":\"2025\",\"ext\":\"\","
               "\"sha256\":\"\",\"cells\":[\"NUL.txt\",\"2025\",\"0 B\",\"TXT\"]}],"
               "\"problems\":[\"Entry 1 (d): http URL without sha256; the launcher will refuse it.\","
               "\"Entry 2 (c): malformed sha256.\","
               "\"Entry 5 (NUL.txt): Refusing a file name that Windows reserves.\"]}\n");
  const CheckReport table = CheckManifestBody(body, false);
  CHECK_EQ(table.problemCount, size_t{3});
  CHECK(table.output.find("Type  Checksum   URL\n") != std::string::npos);
  CHECK(table.output.find("  \xE2\x9C\x93" + std::string(10, ' ') + "u\n") != std::string::npos);  // a.msi
  CHECK(table.output.find("  malformed  HTTP://h/c\n") != std::string::npos);
  CHECK(table.output.find("  \xE2\x80\x94" + std::string(10, ' ') + "http://h/d\n") != std::string::npos);
  CHECK(table.output.find("install.\nEntry 1 (d): http URL without sha256; the launcher will refuse it.\n"
                          "Entry 2 (c): malformed sha256.\n") != std::string::npos);
  const CheckReport empty = CheckManifestBody("{\"schema\":\"quorvel.download.v1\"}", true);
  CHECK_EQ(empty.output, std::string("{\"ok\":true,\"status\":\"No files available in /download/latest/.\","
                                     "\"schema\":\"quorvel.download.v1\",\"files\":[],\"problems\":[]}\n"));
  CHECK_EQ(empty.problemCount, size_t{0});
  const std::vector<std::pair<std::string, std::string>> rejected = {
      {"{}", "Bad JSON key."},
      {" <html>", "Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ on the server."},
      {"{\"schema\":\"x\\u00e9\"}", "Unexpected manifest schema: 'x\\u00e9'."},
      {std::string(16777217, ' '), "Manifest is unreasonably large; refusing to read more."},
  };
  for (const auto& c : rejected) {
    check::Scope scope(c.second);
    const CheckReport report = CheckManifestBody(c.first, true);
    CHECK_EQ(report.exitCode, 1);
    CHECK_EQ(report.output, "{\"ok\":false,\"status\":\"" + c.second + "\"}\n");
  }
}

TEST_CASE(ReportAtTheSizeLimitIsStillRead) {
  std::string body = "{\"schema\":\"quorvel.download.v1\"}";
  body.resize(16777216, ' ');
  CHECK_EQ(CheckManifestBody(body, true).exitCode, 0);
  const CheckReport table = CheckManifestBody(body, false);
  CHECK_EQ(table.output,
           std::string("File  Date  Size  Type  Checksum  URL\n\nNo files available in /download/latest/.\n"));
}

}  // namespace
