#pragma once
// How one download is fetched, judged and started, decided once before its request: the worker
// judges the file by this plan and the window starts it the way the plan says, so what was checked
// and what is started can never differ.
#include <cstdint>
#include <string>

#include "manifest/manifest.h"

enum class LaunchWay { Relaunch, Msiexec, ShellOpen };

constexpr const wchar_t* kNotVouchedText = L"Refusing a file its publisher has not vouched for.";

// What the launcher knows of itself and of the list when a download is asked for.
struct TrustContext {
  std::wstring ownFileName;     // the running executable's file name
  bool launcherSigned = false;  // the launcher's image carries a signature (whether it verifies is judged later)
  bool listKeysPinned = false;  // the build pins list keys: only a signed list's files may start
  bool listVouched = false;     // the list shown was accepted as signed under those keys
};

struct DownloadPlan {
  std::wstring savedName;  // the name the file is saved and started under
  LaunchWay way = LaunchWay::ShellOpen;
  bool mustBeSigned = false;  // a program, a package or an update: a signed launcher's publisher must have signed it
  bool package = false;       // signed as an installer package (.msi, .msp), not as a program image
  // A package that must be signed: the system reads its signature by opening it again by its name,
  // which must then be its own and which only readers may hold open.
  bool judgedByName = false;
  std::wstring sha256;     // the digest the file must have, as the manifest gave it; empty when it names none
  int64_t exactSize = -1;  // a signed list's size: the file must be exactly this many bytes; -1: any size
};

// `savedName` is the name the download is saved under, `ownFileName` the running executable's file
// name: a download with the launcher's own name is its update, relaunched; a .msi goes to msiexec.
LaunchWay ChooseLaunchWay(const std::wstring& savedName, const std::wstring& ownFileName);
// Decides everything about the entry's download. False with the text the user sees when it must not
// even be requested. What may start depends on the launcher and its list:
//   unsigned, no list keys: every type but those that run code unchecked;
//   list keys pinned: only entries of an accepted signed list, each with its digest and exact size;
//   signed, no list keys: only programs, packages, patches and its own update, which its publisher
//   must have signed;
//   signed, list keys pinned: both.
// Names that hide characters and types that run code unchecked are refused in every case.
bool PlanDownload(const ManifestEntry& entry, const TrustContext& context, DownloadPlan& plan, std::wstring& error);
// False with the checksum text when `bytes` already rules the file out under the plan's exact size:
// more than it while the body arrives, anything else once the body is whole or its length announced.
bool CheckDownloadSize(const DownloadPlan& plan, int64_t bytes, bool whole, std::wstring& error);
