#pragma once
// The vendor tool's own file access: paths as the platform spells them, whole small files in, and
// output files replaced in one step.
#include <cstddef>
#include <string>

#ifdef _WIN32
using ToolPath = std::wstring;
#define TOOL_TEXT(text) L##text
#else
using ToolPath = std::string;
#define TOOL_TEXT(text) text
#endif

// The path as UTF-8, for messages.
std::string PrintablePath(const ToolPath& path);

// Reads path ("-" is standard input) to its end, or to one byte past limit, which tells the caller
// it is too large. False with an error text when it cannot be opened or read.
bool ReadWholeFile(const ToolPath& path, size_t limit, std::string& bytes, std::string& error);

// Writes bytes to a new hidden file beside path and renames it over path, so a reader (or a web
// server listing the folder) sees the old file or the whole new one, never a part. On failure
// nothing is left behind and path is as it was.
bool WriteOutputFile(const ToolPath& path, const std::string& bytes, std::string& error);
