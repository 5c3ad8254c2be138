#pragma once
// How a status-200 manifest reply body is judged: the HTML test, then the parse. Shared by the
// manifest fetch and the vendor's manifest checker so both say the same thing.
#include <cstddef>
#include <string>

#include "manifest/manifest.h"

constexpr size_t kMaxManifestBytes = 16777216;
constexpr const wchar_t* kManifestTooLargeText = L"Manifest is unreasonably large; refusing to read more.";
constexpr const wchar_t* kHtmlReplyText =
    L"Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ on the server.";

// True when the first byte after spaces, tabs, CRs and LFs is '<'.
bool IsHtmlReply(const std::string& body);
bool ReadManifestBody(const std::string& body, Manifest& manifest, std::wstring& error);
