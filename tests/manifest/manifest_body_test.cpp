#include <string>
#include <vector>

#include "net/manifest_body.h"
#include "support/check.h"

namespace {

TEST_CASE(HtmlTestComesBeforeTheParse) {
  struct BodyCase {
    const char* label;
    std::string body;
    bool html;
  };
  const std::vector<BodyCase> cases = {
      {"page", "<!DOCTYPE html><html></html>", true},
      {"after whitespace", " \r\n\t<html>", true},
      {"json", "{\"schema\":1}", false},
      {"empty", "", false},
      {"form feed is no whitespace here", "\f<html>", false},
      {"byte-order mark first", "\xEF\xBB\xBF<html>", false},
  };
  for (const BodyCase& c : cases) {
    check::Scope scope(c.label);
    CHECK_EQ(IsHtmlReply(c.body), c.html);
    Manifest manifest;
    std::wstring error;
    CHECK(!ReadManifestBody(c.body, manifest, error));
    if (c.html)
      CHECK_EQ(error, std::wstring(kHtmlReplyText));
    else
      CHECK(error != kHtmlReplyText);
  }
}

}  // namespace
