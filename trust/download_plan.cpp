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

bool PlanDownload(const ManifestEntry& entry, const TrustContext& context, DownloadPlan& plan, std::wstring& error) {
  if (!CheckDownloadName(entry.name, error) || !CheckDownloadRequest(entry.url, entry.sha256, error)) return false;
  plan = DownloadPlan();
  plan.savedName = SavedFileName(entry.name);
  plan.way = ChooseLaunchWay(plan.savedName, context.ownFileName);
  plan.mustBeSigned = MustBeSignedByPublisher(FileExtension(plan.savedName), plan.way == LaunchWay::Relaunch);
  plan.package = plan.way != LaunchWay::Relaunch && IsInstallerPackageType(FileExtension(plan.savedName));
  plan.sha256 = entry.sha256;
  return true;
}
