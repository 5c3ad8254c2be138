#include "manifest_sample.h"

#include <cstdint>
#include <cstdio>

namespace {

struct Random {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
};

const char* const kProducts[] = {"QuorvelSetup", "QuorvelStudio",   "Quorvel Tools",   "quorvel-cli",
                                 "QuorvelSDK",   "Quorvel Runtime", "QuorvelLauncher", "Quorvel Plug-in Pack"};
const char* const kVariants[] = {"x64", "arm64", "x86", "portable", "full", "lite"};
const char* const kExts[] = {"msi", "exe", "zip", "msix", "7z"};
// Localised editions: raw UTF-8 and the same kinds of text as escapes.
const char* const kEditions[] = {"",
                                 "",
                                 "",
                                 "",
                                 " (Fran\xC3\xA7"
                                 "ais)",
                                 " (\\u65e5\\u672c\\u8a9e)",
                                 " \xF0\x9F\x9A\x80 beta",
                                 " \\\"nightly\\\"",
                                 " (\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9)"};

}  // namespace

std::string MakeSampleManifest(size_t limit, size_t maxEntries, size_t& entryCount) {
  Random random;
  std::string body =
      "{\n  \"schema\": \"quorvel.download.v1\",\n  \"generated_at\": \"2026-05-25T10:14:01Z\",\n"
      "  \"files\": [\n";
  const std::string tail = "\n  ]\n}\n";
  entryCount = 0;
  char entry[1024];
  char hash[65];
  while (entryCount < maxEntries) {
    const char* product = kProducts[random.Below(8)];
    const char* variant = kVariants[random.Below(6)];
    const char* ext = kExts[random.Below(5)];
    const char* edition = kEditions[random.Below(9)];
    const unsigned major = static_cast<unsigned>(random.Below(5)), minor = static_cast<unsigned>(random.Below(20)),
                   patch = static_cast<unsigned>(random.Below(200));
    for (int i = 0; i < 64; ++i) hash[i] = "0123456789abcdef"[random.Below(16)];
    hash[64] = '\0';
    // A quarter of the producers escape their slashes, as some JSON writers do.
    const char* slash = random.Below(4) == 0 ? "\\/" : "/";
    const int length =
        std::snprintf(entry, sizeof entry,
                      "%s    {\"name\": \"%s-%u.%u.%u-%s%s.%s\", \"url\": "
                      "\"https:%s%squorvel.com%sdownload%slatest%s%u.%u.%u%s%s-%s.%s\", "
                      "\"size\": %llu, \"modified_at\": \"20%02u-%02u-%02uT%02u:%02u:%02uZ\", \"ext\": \"%s\", "
                      "\"sha256\": \"%s\", \"channel\": \"%s\", \"signed\": %s}",
                      entryCount ? ",\n" : "", product, major, minor, patch, variant, edition, ext, slash, slash, slash,
                      slash, slash, major, minor, patch, slash, product[0] == 'Q' ? "QuorvelSetup" : "cli", variant,
                      ext, static_cast<unsigned long long>(random.Next() % 600000000ull),
                      19u + static_cast<unsigned>(random.Below(8)), 1u + static_cast<unsigned>(random.Below(12)),
                      1u + static_cast<unsigned>(random.Below(28)), static_cast<unsigned>(random.Below(24)),
                      static_cast<unsigned>(random.Below(60)), static_cast<unsigned>(random.Below(60)), ext, hash,
                      random.Below(3) ? "stable" : "preview", random.Below(2) ? "true" : "false");
    if (body.size() + static_cast<size_t>(length) + tail.size() > limit) break;
    body.append(entry, static_cast<size_t>(length));
    ++entryCount;
  }
  return body + tail;
}
