#include <algorithm>
#include <cstdint>

#include "manifest/manifest.h"

void SortManifestEntries(std::vector<ManifestEntry>& files) {
  // The keys are gathered into one contiguous block and the sort runs over small records, so the
  // comparisons stay in cache instead of chasing each entry's string; the entries are then moved
  // into place once. wchar_t is 32 bits outside Windows but holds UTF-16 units there too, hence the
  // 16-bit keys.
  struct SortKey {
    uint64_t prefix[2];  // first eight units, most significant first, padded with zero units
    size_t offset;
    size_t length;
    size_t index;
  };
  const size_t count = files.size();
  if (count < 2) return;
  size_t total = 0;
  for (const ManifestEntry& entry : files) total += entry.modified_at.size();
  std::vector<uint16_t> units;
  units.reserve(total);
  std::vector<SortKey> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const std::wstring& text = files[i].modified_at;
    SortKey& key = keys[i];
    for (size_t half = 0; half < 2; ++half) {
      key.prefix[half] = 0;
      for (size_t u = half * 4; u < half * 4 + 4; ++u)
        key.prefix[half] = (key.prefix[half] << 16) | (u < text.size() ? static_cast<uint16_t>(text[u]) : 0u);
    }
    key.offset = units.size();
    key.length = text.size();
    key.index = i;
    for (wchar_t unit : text) units.push_back(static_cast<uint16_t>(unit));
  }
  const uint16_t* base = units.data();
  // Padding with the smallest unit keeps prefix order consistent with the full comparison; equal
  // prefixes fall back to it.
  std::stable_sort(keys.begin(), keys.end(), [base](const SortKey& a, const SortKey& b) {
    if (a.prefix[0] != b.prefix[0]) return a.prefix[0] > b.prefix[0];
    if (a.prefix[1] != b.prefix[1]) return a.prefix[1] > b.prefix[1];
    return std::lexicographical_compare(base + b.offset, base + b.offset + b.length, base + a.offset,
                                        base + a.offset + a.length);
  });
  units = std::vector<uint16_t>();
  // Follow each cycle of the permutation, moving every entry once.
  std::vector<bool> placed(count, false);
  for (size_t start = 0; start < count; ++start) {
    if (placed[start] || keys[start].index == start) {
      placed[start] = true;
      continue;
    }
    ManifestEntry held = std::move(files[start]);
    size_t at = start;
    for (;;) {
      placed[at] = true;
      const size_t from = keys[at].index;
      if (from == start) {
        files[at] = std::move(held);
        break;
      }
      files[at] = std::move(files[from]);
      at = from;
    }
  }
}
