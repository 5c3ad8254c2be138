#pragma once
// A realistic manifest of about the largest size the launcher accepts.
#include <cstddef>
#include <string>

// Entries with product names, versions, URLs (some with escaped slashes), ISO times in random
// order, non-ASCII names raw and escaped, and members the launcher ignores; under limit bytes and
// at most maxEntries entries.
std::string MakeSampleManifest(size_t limit, size_t maxEntries, size_t& entryCount);
