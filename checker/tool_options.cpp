#include "checker/tool_options.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "trust/signed_list.h"

const char* const kUsage =
    "usage: quorvel-manifest-check [--json] [--strict] FILE\n"
    "       quorvel-manifest-check --make DIR --base-url URL [SIGNING] [--out FILE]\n"
    "       quorvel-manifest-check --refresh FILE SIGNING [--verify OLD.pub.pem] [--out FILE]\n"
    "       quorvel-manifest-check --verify PUB.pem [--verify PUB2.pem] [--strict] [--dir DIR] FILE\n"
    "  SIGNING: --sign KEY.pem [--sign KEY2.pem] --passphrase-file F [--passphrase-file F2]\n"
    "           [--serial N] [--expires-in-days D] [--revoke KEYID]...\n"
    "\n"
    "  FILE alone: judges FILE (\"-\" for standard input) as the launcher judges its manifest reply\n"
    "  and prints the list it would show, or with --json one JSON document. Exit 0 accepted,\n"
    "  1 rejected, 2 usage or I/O error; with --strict, 3 when an accepted manifest has problems\n"
    "  (entries the launcher will refuse to download). A signed list is judged by the list it signs.\n"
    "  --make writes the manifest that filelist.json.php would serve for DIR when DIR is published\n"
    "  at URL (ending in \"/\"), to be uploaded as filelist.json.php; with --sign, a signed list to\n"
    "  be uploaded as filelist.signed.json, with serial N (default: the time now in seconds since\n"
    "  1970) and an expiry D days from now (1 to 366, default 30), signed by each key in turn\n"
    "  (encrypted PKCS#8 PEM files; one passphrase file for all keys or one for each, first line).\n"
    "  --revoke adds a key id to the list's \"revoke\" (honoured when a recovery key signs it).\n"
    "  --refresh signs FILE's list again, entries unchanged, with a new serial (default: now, or\n"
    "  one above the list's when that is not lower) and expiry. FILE must verify with a --sign key\n"
    "  or a --verify key. Both write to standard output, or replace --out FILE in one step.\n"
    "  --verify checks that FILE is a list signed by one of the keys (PEM public keys) and prints\n"
    "  its serial, expiry and rows: exit 0 signed, 1 refused; with --strict, 3 when it expires\n"
    "  within 14 days, or an entry has no sha256, or (with --dir DIR, the folder of the files) an\n"
    "  entry's size is not its file's. Signing is offered on Linux only.\n";

namespace {

bool ReadNumber(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 16 || text[0] == '0') return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value <= max;
}

}  // namespace

bool ReadToolOptions(const std::vector<ToolPath>& args, ToolOptions& options, std::string& error) {
  // The options that take a value; the first seven may be given once only.
  static const char* const kValueOptions[] = {
      "--make", "--base-url",        "--refresh", "--out",   "--dir", "--serial", "--expires-in-days",
      "--sign", "--passphrase-file", "--verify",  "--revoke"};
  constexpr size_t kOnceOnly = 7;
  bool optionsDone = false;
  bool help = false;
  std::vector<std::string> given;
  std::vector<ToolPath> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const ToolPath& arg = args[i];
    const std::string name = PrintablePath(arg);
    const auto option = std::find(std::begin(kValueOptions), std::end(kValueOptions), name);
    if (!optionsDone && option != std::end(kValueOptions)) {
      if (i + 1 == args.size()) {
        error = name + " needs a value";
        return false;
      }
      if (option - std::begin(kValueOptions) < static_cast<std::ptrdiff_t>(kOnceOnly) &&
          std::find(given.begin(), given.end(), name) != given.end()) {
        error = name + " is given twice";
        return false;
      }
      given.push_back(name);
      const ToolPath& value = args[++i];
      const std::string text = PrintablePath(value);
      if (name == "--make") {
        options.folder = value;
      } else if (name == "--base-url") {
        options.baseUrl = text;
      } else if (name == "--refresh") {
        options.input = value;
      } else if (name == "--out") {
        options.out = value;
      } else if (name == "--dir") {
        options.dir = value;
      } else if (name == "--sign") {
        options.signingKeys.push_back(value);
      } else if (name == "--passphrase-file") {
        options.passphraseFiles.push_back(value);
      } else if (name == "--verify") {
        options.publicKeys.push_back(value);
      } else if (name == "--revoke") {
        if (!IsListKeyId(text)) {
          error = "--revoke takes a key id of 16 lower-case hex digits, not " + text;
          return false;
        }
        options.revoke.push_back(text);
      } else if (name == "--serial") {
        options.hasSerial = true;
        if (!ReadNumber(text, kMaxListSerial, options.serial)) {
          error = "--serial takes a whole number from 1 to " + std::to_string(kMaxListSerial) + ", not " + text;
          return false;
        }
      } else {
        uint64_t days = 0;
        if (!ReadNumber(text, 366, days)) {
          error = "--expires-in-days takes a whole number of days from 1 to 366, not " + text;
          return false;
        }
        options.expiresInDays = static_cast<int>(days);
      }
    } else if (!optionsDone && name == "--json") {
      options.json = true;
    } else if (!optionsDone && name == "--strict") {
      options.strict = true;
    } else if (!optionsDone && (name == "--help" || name == "-h")) {
      help = true;
    } else if (!optionsDone && name == "--") {
      optionsDone = true;
    } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + name;
      return false;
    } else {
      files.push_back(arg);
    }
  }
  if (help) {
    options.mode = ToolMode::Help;
    return true;
  }
  const auto has = [&given](const char* name) { return std::find(given.begin(), given.end(), name) != given.end(); };
  const bool hasMake = has("--make"), hasRefresh = has("--refresh"), hasBaseUrl = has("--base-url");
  const bool hasOut = has("--out"), hasDir = has("--dir"), hasDays = has("--expires-in-days");

  const bool signs = !options.signingKeys.empty();
  if (!signs && (!options.passphraseFiles.empty() || options.hasSerial || hasDays || !options.revoke.empty())) {
    error = "--passphrase-file, --serial, --expires-in-days and --revoke go with --sign";
    return false;
  }
  if (signs) {
    if (options.signingKeys.size() > 2) {
      error = "a list carries at most two signature lines: give --sign once or twice";
      return false;
    }
    if (options.passphraseFiles.size() != 1 && options.passphraseFiles.size() != options.signingKeys.size()) {
      error = "--sign needs --passphrase-file: one for all keys, or one for each key in the same order";
      return false;
    }
  }

  if (hasMake && hasRefresh) {
    error = "--make and --refresh do not go together";
    return false;
  }
  if (hasMake) {
    options.mode = ToolMode::Make;
    if (!hasBaseUrl || !files.empty() || options.json || options.strict || !options.publicKeys.empty() || hasDir) {
      error = "--make needs DIR and --base-url URL, and takes only the signing options and --out besides";
      return false;
    }
    if (options.baseUrl.empty() || options.baseUrl.back() != '/') {
      error = "--base-url must end in \"/\": " + options.baseUrl;
      return false;
    }
    return true;
  }
  if (hasBaseUrl) {
    error = "--base-url goes with --make";
    return false;
  }
  if (hasRefresh) {
    options.mode = ToolMode::Refresh;
    if (!signs || !files.empty() || options.json || options.strict || hasDir) {
      error = "--refresh needs FILE and --sign, and takes only the signing options, --verify and --out besides";
      return false;
    }
    return true;
  }
  if (hasOut || signs) {
    error = "--out and the signing options go with --make or --refresh";
    return false;
  }
  if (files.size() != 1) {
    error = "expected one FILE";
    return false;
  }
  options.input = files[0];
  if (!options.publicKeys.empty()) {
    options.mode = ToolMode::Verify;
    if (options.json) {
      error = "--verify writes text only: leave out --json";
      return false;
    }
    return true;
  }
  if (hasDir) {
    error = "--dir goes with --verify";
    return false;
  }
  options.mode = ToolMode::Check;
  return true;
}
