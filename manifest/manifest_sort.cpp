#include <algorithm>
#include <cstdint>

#include "manifest/manifest.h"

void SortManifestEntries(std::vector<ManifestEntry>& files) {
  // The sort runs over the entries' indexes, which costs four bytes an entry rather than a copy of
  // each key, and the entries are then moved into place once. The index breaks ties, which makes the
  // order a total one: an in-place sort then keeps equal texts in manifest order without the buffer
  // a stable sort takes. wchar_t is 32 bits outside Windows but holds UTF-16 units there too, hence
  // the comparison of 16-bit units.
  const size_t count = files.size();
  if (count < 2) return;
  std::vector<uint32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<uint32_t>(i);
  const auto unitLess = [](wchar_t a, wchar_t b) { return static_cast<uint16_t>(a) < static_cast<uint16_t>(b); };
  std::sort(order.begin(), order.end(), [&files, &unitLess](uint32_t a, uint32_t b) {
    const std::wstring& textA = files[a].modified_at;
    const std::wstring& textB = files[b].modified_at;
    if (std::lexicographical_compare(textB.begin(), textB.end(), textA.begin(), textA.end(), unitLess)) return true;
    if (std::lexicographical_compare(textA.begin(), textA.end(), textB.begin(), textB.end(), unitLess)) return false;
    return a < b;
  });
  // Follow each cycle of the permutation, moving every entry once.
  std::vector<bool> placed(count, false);
  for (size_t start = 0; start < count; ++start) {
    if (placed[start] || order[start] == start) {
      placed[start] = true;
      continue;
    }
    ManifestEntry held = std::move(files[start]);
    size_t at = start;
    for (;;) {
      placed[at] = true;
      const size_t from = order[at];
      if (from == start) {
        files[at] = std::move(held);
        break;
      }
      files[at] = std::move(files[from]);
      at = from;
    }
  }
}
