#pragma once
// What the vendor's manifest checker reports for a body: the launcher's own verdict, as a readable
// table or as one JSON document.
#include <cstddef>
#include <string>

// What the report says of a signed list beside the launcher's own texts.
constexpr const wchar_t* kBrokenSignatureText =
    L"The signature lines after the list are malformed; a launcher with pinned keys refuses the list.";
constexpr const wchar_t* kNoClaimsText =
    L"The signed list has no valid serial or expiry; a launcher with pinned keys refuses it.";
constexpr const wchar_t* kNoChecksumInSignedListText = L"no sha256 in a signed list; the launcher will refuse it.";

struct CheckReport {
  int exitCode = 0;         // 0 accepted, 1 rejected
  std::string output;       // UTF-8 bytes for standard output
  size_t problemCount = 0;  // entries the launcher accepts in the list but will refuse to download
};

// Judges body exactly as the launcher judges a status-200 manifest reply. A signed list is judged by
// the list it signs (its rows, problems and claims); its signatures are not checked here.
CheckReport CheckManifestBody(const std::string& body, bool json);

// A JSON string literal, quotes included: every UTF-16 unit outside 0x20..0x7E, and '"' and '\',
// escaped, so the result is printable ASCII whatever the text holds.
std::string JsonQuote(const std::wstring& text);

// UTF-8 for display; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);
