#pragma once
// The manifest document for a folder of downloads, byte for byte as the server script serves it,
// for hosts that run no scripts (a CDN or an object store): upload it as filelist.json.php.
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
using FolderPath = std::wstring;
#else
using FolderPath = std::string;
#endif

struct PublishedFile {
  std::string name;  // UTF-8
  int64_t size = 0;
  int64_t mtime = 0;   // seconds since 1970-01-01 UTC
  std::string sha256;  // lower-case hex
};

// The regular files the server script would list in folder, with their digests; names that are not
// UTF-8 are left out and described in notes. False with error when the folder can't be read.
bool ListPublishedFiles(const FolderPath& folder, std::vector<PublishedFile>& files, std::vector<std::string>& notes,
                        std::string& error);
// The document: newest first, equal times by name; each url is folderUrl + the percent-encoded name.
std::string ManifestDocument(std::vector<PublishedFile> files, const std::string& folderUrl);
