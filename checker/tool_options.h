#pragma once
// The tool's command line, read into one record; which options go together is checked here too.
#include <cstdint>
#include <string>
#include <vector>

#include "checker/tool_files.h"

enum class ToolMode { Check, Make, Refresh, Verify, Help };

struct ToolOptions {
  ToolMode mode = ToolMode::Check;
  bool json = false;
  bool strict = false;
  ToolPath folder;                        // --make DIR
  std::string baseUrl;                    // --base-url URL (UTF-8)
  ToolPath input;                         // FILE of the check and --verify, or --refresh FILE
  ToolPath out;                           // --out FILE; empty for standard output
  ToolPath dir;                           // --dir DIR of --verify; empty when not given
  std::vector<ToolPath> signingKeys;      // --sign, in order
  std::vector<ToolPath> passphraseFiles;  // --passphrase-file: one, or one per --sign
  std::vector<ToolPath> publicKeys;       // --verify
  std::vector<std::string> revoke;        // --revoke KEYID
  bool hasSerial = false;
  uint64_t serial = 0;
  int expiresInDays = 30;
};

extern const char* const kUsage;

// Reads args into options; false with an error text (the usage is the caller's to add).
bool ReadToolOptions(const std::vector<ToolPath>& args, ToolOptions& options, std::string& error);
