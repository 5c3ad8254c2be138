#pragma once
// How one download is fetched, judged and started, decided once before its request: the worker
// judges the file by this plan and the window starts it the way the plan says, so what was checked
// and what is started can never differ.
#include <cstdint>
#include <string>

#include "manifest/manifest.h"

enum class LaunchWay { Relaunch, Msiexec, ShellOpen };

// What the launcher knows of itself when a download is asked for.
struct TrustContext {
  std::wstring ownFileName;     // the running executable's file name
  bool launcherSigned = false;  // the launcher's image carries a signature (whether it verifies is judged later)
};

struct DownloadPlan {
  std::wstring savedName;  // the name the file is saved and started under
  LaunchWay way = LaunchWay::ShellOpen;
  bool mustBeSigned = false;  // a program, a package or an update: a signed launcher's publisher must have signed it
  bool package = false;       // signed as an installer package (.msi, .msp), not as a program image
  std::wstring sha256;        // the digest the file must have, as the manifest gave it; empty when it names none
};

// `savedName` is the name the download is saved under, `ownFileName` the running executable's file
// name: a download with the launcher's own name is its update, relaunched; a .msi goes to msiexec.
LaunchWay ChooseLaunchWay(const std::wstring& savedName, const std::wstring& ownFileName);
// Decides everything about the entry's download. False with the text the user sees when it must not
// even be requested.
bool PlanDownload(const ManifestEntry& entry, const TrustContext& context, DownloadPlan& plan, std::wstring& error);
