#include "trust/download_plan.h"

#include "common/ascii_names.h"
#include "trust/download_rules.h"
#include "trust/file_name.h"
#include "trust/signature_rules.h"

LaunchWay ChooseLaunchWay(const std::wstring& savedName, const std::wstring& ownFileName) {
  if (!savedName.empty() && EqualsIgnoringAsciiCase(savedName, ownFileName)) return LaunchWay::Relaunch;
  if (EqualsIgnoringAsciiCase(FileExtension(savedName), L".msi")) return LaunchWay::Msiexec;
  return LaunchWay::ShellOpen;
}

namespace {

// A list's publisher vouches for a file through its entry's digest and exact size; a signed
// launcher's publisher for the types it signs.
bool CheckVouchedFor(const ManifestEntry& entry, const TrustContext& context, bool mustBeSigned, std::wstring& error) {
  if (context.listKeysPinned) {
    if (!context.listVouched) {
      error = kNotVouchedText;
      return false;
    }
    if (!IsSha256Hex(entry.sha256) || entry.size < 0) {
      error = kMalformedChecksumText;
      return false;
    }
    return true;
  }
  if (context.launcherSigned && !mustBeSigned) {
    error = kNotVouchedText;
    return false;
  }
  return true;
}

}  // namespace

bool PlanDownload(const ManifestEntry& entry, const TrustContext& context, DownloadPlan& plan, std::wstring& error) {
  if (!CheckDownloadName(entry.name, error)) return false;
  DownloadPlan planned;
  planned.savedName = SavedFileName(entry.name);
  planned.way = ChooseLaunchWay(planned.savedName, context.ownFileName);
  const std::wstring extension = FileExtension(planned.savedName);
  planned.mustBeSigned = MustBeSignedByPublisher(extension, planned.way == LaunchWay::Relaunch);
  planned.package = planned.way != LaunchWay::Relaunch && IsInstallerPackageType(extension);
  planned.judgedByName = planned.mustBeSigned && planned.package;
  if (!CheckVouchedFor(entry, context, planned.mustBeSigned, error) ||
      !CheckDownloadRequest(entry.url, entry.sha256, error)) {
    return false;
  }
  planned.sha256 = entry.sha256;
  if (context.listKeysPinned) planned.exactSize = entry.size;
  plan = planned;
  return true;
}

bool CheckDownloadSize(const DownloadPlan& plan, int64_t bytes, bool whole, std::wstring& error) {
  if (plan.exactSize < 0 || bytes == plan.exactSize || (!whole && bytes < plan.exactSize)) return true;
  error = kChecksumMismatchText;
  return false;
}
