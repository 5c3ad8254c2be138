// Process entry: one copy per machine, then the modal launcher window, then an ordered tear-down.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/banner.h"
#include "app/main_dialog.h"
#include "app/ui_state.h"
#include "res/resource.h"

namespace {

HANDLE g_singleInstanceMutex = nullptr;
ULONG_PTR g_gdiplusToken = 0;

void DeleteIfSet(HGDIOBJ object) {
  if (object) DeleteObject(object);
}

void TearDown() {
  DeleteIfSet(g_backgroundBrush);
  DeleteIfSet(g_headingFont);
  DeleteIfSet(g_bodyFont);
  DeleteIfSet(g_smallFont);
  std::unique_ptr<Gdiplus::Bitmap> banner = std::move(g_bannerImage);
  banner.reset();
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
  CoUninitialize();
  CloseHandle(g_singleInstanceMutex);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  g_instance = instance;
  g_singleInstanceMutex = CreateMutexW(nullptr, FALSE, L"Global\\QuorvelLauncher.singleInstance");
  if (!g_singleInstanceMutex) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(g_singleInstanceMutex);
    return 0;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput gdiplusInput;
  Gdiplus::GdiplusStartup(&g_gdiplusToken, &gdiplusInput, nullptr);

  const INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);

  TearDown();
  return static_cast<int>(result);
}
