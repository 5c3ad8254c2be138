#include "app/ui_state.h"

HINSTANCE g_instance = nullptr;
HWND g_fileList = nullptr;
HWND g_progressBar = nullptr;
HWND g_statusLine = nullptr;
HWND g_bannerControl = nullptr;
int g_windowDpi = 0;
bool g_busy = false;

Manifest g_manifest;
