#include "checker/list_verify.h"

#include <cstdio>

#include "checker/check_report.h"
#include "checker/list_crypto.h"
#include "manifest/manifest.h"
#include "net/manifest_body.h"
#include "trust/signed_list.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace {

// The launcher's words for the lists it refuses.
constexpr const char* kNotSignedText = "The download list is not signed by its publisher; refusing it.";
constexpr const char* kNoClaimsVerdictText = "The download list has no valid serial or expiry; refusing it.";
constexpr const char* kExpiredFormat = "The download list expired on %s; check this computer's date and time.";

// The size of the file called name in folder; false when it is no plain name or no such file.
bool SizeInFolder(const ToolPath& folder, const std::wstring& name, int64_t& size) {
  if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"/\\") != std::wstring::npos) return false;
#ifdef _WIN32
  struct _stat64 info;
  if (_wstat64((folder + L"\\" + name).c_str(), &info) != 0 || !(info.st_mode & _S_IFREG)) return false;
#else
  struct stat info;
  if (stat((folder + "/" + WideToUtf8(name)).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
#endif
  size = static_cast<int64_t>(info.st_size);
  return true;
}

// Sizes that are not the files' in folder, one problem text each.
std::vector<std::string> SizeProblems(const std::string& signedPart, const ToolPath& folder) {
  std::vector<std::string> problems;
  Manifest manifest;
  std::wstring error;
  if (!ReadManifestBody(signedPart, manifest, error)) return problems;
  for (size_t i = 0; i < manifest.files.size(); ++i) {
    const ManifestEntry& entry = manifest.files[i];
    const std::string which = "Entry " + std::to_string(i + 1) + " (" + WideToUtf8(entry.name) + "): ";
    int64_t size = 0;
    if (!SizeInFolder(folder, entry.name, size)) {
      problems.push_back(which + "no such file in " + PrintablePath(folder) + ".");
    } else if (size != entry.size) {
      problems.push_back(which + "size " + std::to_string(static_cast<long long>(entry.size)) + " is not the file's (" +
                         std::to_string(static_cast<long long>(size)) + " bytes in " + PrintablePath(folder) + ").");
    }
  }
  return problems;
}

}  // namespace

ListVerdict VerifyListBody(const std::string& body, const std::vector<ListPublicKey>& keys, int64_t now, bool strict,
                           const ToolPath* folder) {
  ListVerdict verdict;
  verdict.exitCode = 1;
  size_t length = 0;
  std::vector<ListSignatureLine> lines;
  const ListTrailer trailer =
      body.size() > kMaxManifestBytes ? ListTrailer::None : SplitSignedList(body, length, lines);
  if (trailer != ListTrailer::Signed) {
    verdict.output = trailer == ListTrailer::Broken ? "The signature lines after the list are malformed.\n"
                                                    : "No signature line follows the list.\n";
    verdict.output += std::string(kNotSignedText) + "\n";
    return verdict;
  }
  const std::string signedPart = body.substr(0, length);
  bool verified = false;
  for (const ListSignatureLine& line : lines) {
    const ListPublicKey* key = nullptr;
    for (const ListPublicKey& candidate : keys) {
      if (candidate.keyId == line.keyId) key = &candidate;
    }
    verdict.output += "Signature by " + line.keyId + ": ";
    if (!key) {
      verdict.output += "no key given with this id\n";
    } else if (VerifyListSignature(*key, signedPart, line.signature)) {
      verified = true;
      verdict.output += "verified with " + key->source + "\n";
    } else {
      verdict.output += "does not verify with " + key->source + "\n";
    }
  }
  if (!verified) {
    verdict.output += std::string(kNotSignedText) + "\n";
    return verdict;
  }
  const CheckReport report = CheckManifestBody(body, false);
  verdict.output += "\n" + report.output;
  if (report.exitCode != 0) return verdict;
  ListClaims claims;
  ReadListClaims(signedPart, claims);
  if (!claims.wellFormed) {
    verdict.output += std::string(kNoClaimsVerdictText) + "\n";
    return verdict;
  }
  if (claims.expiresUnix <= now) {
    char text[160];
    std::snprintf(text, sizeof text, kExpiredFormat, WideToUtf8(FormatListTimeForUser(claims.expiresUnix)).c_str());
    verdict.output += std::string(text) + "\n";
    return verdict;
  }
  std::vector<std::string> problems;
  const int64_t left = claims.expiresUnix - now;
  if (left < kStrictDaysLeft * 86400) {
    problems.push_back("The list expires in less than " + std::to_string(kStrictDaysLeft) + " days (" +
                       WideToUtf8(FormatListTimeForUser(claims.expiresUnix)) + "); re-sign it with --refresh.");
  }
  if (folder) {
    for (const std::string& problem : SizeProblems(signedPart, *folder)) problems.push_back(problem);
  }
  for (const std::string& problem : problems) verdict.output += problem + "\n";
  verdict.output +=
      "Signed by its publisher; " + std::to_string((left + 43200) / 86400) + " day(s) until it expires.\n";
  verdict.exitCode = strict && (report.problemCount > 0 || !problems.empty()) ? 3 : 0;
  return verdict;
}
