#include "app/ui_state.h"

#include "app/banner.h"

HINSTANCE g_instance = nullptr;
HWND g_fileList = nullptr;
HWND g_progressBar = nullptr;
HWND g_statusLine = nullptr;
HWND g_bannerControl = nullptr;
HFONT g_headingFont = nullptr;
HFONT g_bodyFont = nullptr;
HFONT g_smallFont = nullptr;
HBRUSH g_backgroundBrush = nullptr;
int g_windowDpi = 0;
bool g_busy = false;

// Defined in one place, in this order, so that at exit they are destroyed in the reverse:
// the manifest, then the (by then empty) banner holder.
std::unique_ptr<Gdiplus::Bitmap> g_bannerImage;
Manifest g_manifest;
