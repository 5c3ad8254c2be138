#include "app/single_instance.h"

#include <windows.h>

#include <utility>

#include "common/scoped.h"

namespace {

KernelHandle g_singleInstanceMutex;

}  // namespace

bool ClaimSingleInstance() {
  KernelHandle mutex(CreateMutexW(nullptr, FALSE, L"Global\\QuorvelLauncher.singleInstance"));
  // When another copy made it first, this handle closes on return and the guard stays empty.
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  g_singleInstanceMutex = std::move(mutex);
  return true;
}

void ReleaseSingleInstance() { g_singleInstanceMutex.Reset(); }
