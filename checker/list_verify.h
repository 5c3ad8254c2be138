#pragma once
// --verify: whether a body is a list signed by one of the given keys, what it claims, and with
// --strict what will trouble it soon.
#include <cstdint>
#include <string>
#include <vector>

#include "checker/list_keys.h"
#include "checker/tool_files.h"

// A signed list expiring sooner than this (days) is a problem with --strict.
constexpr int64_t kStrictDaysLeft = 14;

struct ListVerdict {
  int exitCode = 0;    // 0 signed and accepted, 1 refused, 3 accepted with problems under --strict
  std::string output;  // UTF-8 for standard output
};

// Verifies body at the time now (seconds since 1970) with keys. folder, when not null, is where the
// listed files are, so --strict can compare each entry's size with its file's.
ListVerdict VerifyListBody(const std::string& body, const std::vector<ListPublicKey>& keys, int64_t now, bool strict,
                           const ToolPath* folder);
