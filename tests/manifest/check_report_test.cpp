#include <string>
#include <vector>

#include "check/check.h"
#include "exact_body.h"
#include "tools/manifest_check/check_report.h"

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
  const std::string body =
      "{\"schema\":\"quorvel.download.v1\",\"files\":[{\"name\":\"a.msi\",\"url\":\"u\",\"size\":1536,"
      "\"modified_at\":\"2026-05-25T10:14:01Z\",\"ext\":\"msi\"},{\"name\":\"b\",\"modified_at\":\"2027\",\"size\":-2}]}";
  const CheckReport accepted = CheckManifestBody(body, true);
  CHECK_EQ(accepted.exitCode, 0);
  CHECK_EQ(accepted.output,
           std::string("{\"ok\":true,\"status\":\"2 file(s) available \\u2014 double-click any row to install.\","
                       "\"schema\":\"quorvel.download.v1\",\"files\":["
                       "{\"name\":\"b\",\"url\":\"\",\"size\":-2,\"modified_at\":\"2027\",\"ext\":\"\","
                       "\"cells\":[\"b\",\"2027\",\"\\u2014\",\"\"]},"
                       "{\"name\":\"a.msi\",\"url\":\"u\",\"size\":1536,\"modified_at\":\"2026-05-25T10:14:01Z\","
                       "\"ext\":\"msi\",\"cells\":[\"a.msi\",\"2026-05-25\",\"1.50 KB\",\"MSI\"]}]}\n"));
  const CheckReport empty = CheckManifestBody("{\"schema\":\"quorvel.download.v1\"}", true);
  CHECK_EQ(empty.output, std::string("{\"ok\":true,\"status\":\"No files available in /download/latest/.\","
                                     "\"schema\":\"quorvel.download.v1\",\"files\":[]}\n"));
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
  CHECK_EQ(table.output, std::string("File  Date  Size  Type  URL\n\nNo files available in /download/latest/.\n"));
}

}  // namespace
