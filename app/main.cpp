// Process entry: one copy per machine, then the modal launcher window, then an ordered tear-down.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/banner.h"
#include "app/main_dialog.h"
#include "app/single_instance.h"
#include "app/ui_resources.h"
#include "app/ui_state.h"
#include "common/scoped.h"
#include "net/system_dlls.h"
#include "res/resource.h"

namespace {

// The launcher is typically run from a Downloads folder that may hold anything; from here on DLLs
// are looked for in the system folder only. The executable imports only kernel32 and msvcrt in the
// ordinary way; every other DLL is delay-loaded, so it and its own imports are first looked for
// after this call. The DLLs that system components load by bare name along the process's own search
// path are bound from the system folder before the first window (and the network's before the
// first request).
void RestrictDllSearchToSystemFolder() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  BindWindowDlls();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystemFolder();
  g_instance = instance;
  if (!ClaimSingleInstance()) return 0;
  // Torn down in reverse order of declaration: the window's resources, GDI+, COM and last the
  // single-instance guard (already released when a finished download was handed on).
  const ScopeExit singleInstance(ReleaseSingleInstance);
  const ScopedCom com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  const ScopedGdiplus gdiplus;
  const ScopeExit uiResources(ReleaseUiResources);

  const INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
  return static_cast<int>(result);
}
