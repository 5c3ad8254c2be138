// quorvel-manifest-check [--json] [--strict] FILE: shows what the launcher would make of a manifest
// before it is published. FILE may be "-" for standard input.
// quorvel-manifest-check --make DIR --base-url URL: writes the manifest the server script would serve
// for DIR, for hosting without scripts.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checker/check_report.h"
#include "checker/make_manifest.h"
#include "net/manifest_body.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
using NativeString = std::wstring;
#define NATIVE(text) L##text
#else
using NativeString = std::string;
#define NATIVE(text) text
#endif

namespace {

constexpr const char* kUsage =
    "usage: quorvel-manifest-check [--json] [--strict] FILE\n"
    "       quorvel-manifest-check --make DIR --base-url URL\n"
    "  Judges FILE (\"-\" for standard input) as the launcher judges its manifest reply and\n"
    "  prints the list it would show, or with --json one JSON document. Exit 0 accepted,\n"
    "  1 rejected, 2 usage or I/O error; with --strict, 3 when an accepted manifest has problems\n"
    "  (entries the launcher will refuse to download).\n"
    "  --make writes to standard output the manifest that filelist.json.php would serve for DIR\n"
    "  when DIR is published at URL (ending in \"/\"), to be uploaded as filelist.json.php.\n";

struct FileCloser {
  FILE* file;
  bool owned;
  ~FileCloser() {
    if (owned && file) std::fclose(file);
  }
};

std::string Printable(const NativeString& path) {
#ifdef _WIN32
  return WideToUtf8(path);
#else
  return path;
#endif
}

// Reads at most one byte past the launcher's limit: enough to know the body is too large.
bool ReadBody(const NativeString& path, std::string& body, std::string& error) {
  const bool fromStdin = path == NATIVE("-");
#ifdef _WIN32
  if (fromStdin) _setmode(_fileno(stdin), _O_BINARY);
  FileCloser input{fromStdin ? stdin : _wfopen(path.c_str(), L"rb"), !fromStdin};
#else
  FileCloser input{fromStdin ? stdin : std::fopen(path.c_str(), "rb"), !fromStdin};
#endif
  if (!input.file) {
    error = "cannot open " + Printable(path) + ": " + std::strerror(errno);
    return false;
  }
  char buffer[65536];
  while (body.size() <= kMaxManifestBytes) {
    const size_t want = std::min(sizeof buffer, kMaxManifestBytes + 1 - body.size());
    const size_t got = std::fread(buffer, 1, want, input.file);
    body.append(buffer, got);
    if (got < want) break;
  }
  if (std::ferror(input.file)) {
    error = "cannot read " + (fromStdin ? std::string("standard input") : Printable(path));
    return false;
  }
  return true;
}

bool WriteOut(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "quorvel-manifest-check: cannot write standard output\n");
    return false;
  }
  return true;
}

int Make(const NativeString& folder, const std::string& baseUrl) {
  if (baseUrl.empty() || baseUrl.back() != '/') {
    std::fprintf(stderr, "quorvel-manifest-check: --base-url must end in \"/\": %s\n", baseUrl.c_str());
    return 2;
  }
  std::vector<PublishedFile> files;
  std::vector<std::string> notes;
  std::string error;
  if (!ListPublishedFiles(folder, files, notes, error)) {
    std::fprintf(stderr, "quorvel-manifest-check: %s\n", error.c_str());
    return 2;
  }
  for (const std::string& note : notes) std::fprintf(stderr, "quorvel-manifest-check: %s\n", note.c_str());
  return WriteOut(ManifestDocument(files, baseUrl)) ? 0 : 2;
}

int Run(const std::vector<NativeString>& args) {
  bool json = false;
  bool strict = false;
  bool optionsDone = false;
  const NativeString* makeFolder = nullptr;
  const NativeString* baseUrl = nullptr;
  std::vector<NativeString> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const NativeString& arg = args[i];
    if (!optionsDone && (arg == NATIVE("--make") || arg == NATIVE("--base-url"))) {
      if (i + 1 == args.size()) {
        std::fprintf(stderr, "quorvel-manifest-check: %s needs a value\n%s", Printable(arg).c_str(), kUsage);
        return 2;
      }
      (arg == NATIVE("--make") ? makeFolder : baseUrl) = &args[++i];
    } else if (!optionsDone && arg == NATIVE("--json")) {
      json = true;
    } else if (!optionsDone && arg == NATIVE("--strict")) {
      strict = true;
    } else if (!optionsDone && (arg == NATIVE("--help") || arg == NATIVE("-h"))) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!optionsDone && arg == NATIVE("--")) {
      optionsDone = true;
    } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "quorvel-manifest-check: unknown option %s\n%s", Printable(arg).c_str(), kUsage);
      return 2;
    } else {
      files.push_back(arg);
    }
  }
  if (makeFolder || baseUrl) {
    if (!makeFolder || !baseUrl || !files.empty() || json || strict) {
      std::fprintf(stderr, "quorvel-manifest-check: --make needs DIR and --base-url URL, and nothing else\n%s", kUsage);
      return 2;
    }
    return Make(*makeFolder, Printable(*baseUrl));
  }
  if (files.size() != 1) {
    std::fprintf(stderr, "quorvel-manifest-check: expected one FILE\n%s", kUsage);
    return 2;
  }
  std::string body;
  std::string error;
  if (!ReadBody(files[0], body, error)) {
    std::fprintf(stderr, "quorvel-manifest-check: %s\n", error.c_str());
    return 2;
  }
  const CheckReport report = CheckManifestBody(body, json);
  if (!WriteOut(report.output)) return 2;
  return report.exitCode == 0 && strict && report.problemCount > 0 ? 3 : report.exitCode;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Bytes, not the console's code page, so the output matches the native tool's.
  _setmode(_fileno(stdout), _O_BINARY);
  return Run(std::vector<NativeString>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) { return Run(std::vector<NativeString>(argv + 1, argv + argc)); }
#endif
