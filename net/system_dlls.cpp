#include "net/system_dlls.h"

#include <windows.h>

#include <string>

namespace {

// None of these is a Known DLL. Each comes after those it loads itself, so that its own
// dependencies are already bound when it is.
const wchar_t* const kWindowDlls[] = {
    L"version.dll", L"uxtheme.dll", L"msimg32.dll", L"windowscodecs.dll", L"propsys.dll",
};
const wchar_t* const kNetworkAndTrustDlls[] = {
    L"msasn1.dll",   L"bcrypt.dll",  L"ncrypt.dll",  L"crypt32.dll", L"dbghelp.dll",
    L"wintrust.dll", L"sspicli.dll", L"secur32.dll", L"dnsapi.dll",  L"iphlpapi.dll",
};

template <size_t count>
bool BindAll(const wchar_t* const (&names)[count]) {
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring folder(buffer, length);
  for (const wchar_t* name : names) {
    // Kept loaded until the process ends. A DLL this version of the system lacks is skipped: then
    // nothing loads it by that name either.
    LoadLibraryExW((folder + L"\\" + name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return true;
}

}  // namespace

void BindWindowDlls() {
  static const bool bound = BindAll(kWindowDlls);
  (void)bound;
}

void BindSystemDlls() {
  static const bool bound = BindAll(kNetworkAndTrustDlls);
  (void)bound;
}
