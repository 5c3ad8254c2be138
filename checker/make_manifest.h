#pragma once
// The manifest document for a folder of downloads, byte for byte as the server script serves it,
// for hosts that run no scripts (a CDN or an object store): upload it as filelist.json.php.
#include <cstdint>
#include <string>
#include <vector>

#include "checker/tool_files.h"

// The name of a signed list uploaded beside the script, which it serves in place of its own list.
constexpr const char* kSignedListName = "filelist.signed.json";
// A file modified this recently (seconds), or later than now, may still be arriving: left out.
constexpr int64_t kSettleSeconds = 10;

struct PublishedFile {
  std::string name;  // UTF-8
  int64_t size = 0;
  int64_t mtime = 0;   // seconds since 1970-01-01 UTC
  std::string sha256;  // lower-case hex
};

// The regular files the server script would list in folder at the time now (seconds since 1970),
// with their digests; files it leaves out for a reason the vendor should hear of (a name that is not
// UTF-8, a file that is too new or cannot be read) are described in notes. False with error when
// the folder can't be read.
bool ListPublishedFiles(const ToolPath& folder, int64_t now, std::vector<PublishedFile>& files,
                        std::vector<std::string>& notes, std::string& error);
// The document: newest first, equal times by name; each url is folderUrl + the percent-encoded name.
// rootMembers, when given, goes between "schema" and "files" (",\"serial\":...").
std::string ManifestDocument(std::vector<PublishedFile> files, const std::string& folderUrl,
                             const std::string& rootMembers = std::string());
