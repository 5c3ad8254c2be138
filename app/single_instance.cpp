#include "app/single_instance.h"

#include <windows.h>

namespace {

HANDLE g_singleInstanceMutex = nullptr;

}  // namespace

bool ClaimSingleInstance() {
  g_singleInstanceMutex = CreateMutexW(nullptr, FALSE, L"Global\\QuorvelLauncher.singleInstance");
  if (!g_singleInstanceMutex) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    ReleaseSingleInstance();
    return false;
  }
  return true;
}

void ReleaseSingleInstance() {
  if (g_singleInstanceMutex) CloseHandle(g_singleInstanceMutex);
  g_singleInstanceMutex = nullptr;
}
