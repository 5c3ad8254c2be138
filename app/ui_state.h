#pragma once
// Process-wide state of the launcher window. Everything here is touched on the UI thread only.
#include <windows.h>

#include <string>

#include "manifest/manifest.h"

extern HINSTANCE g_instance;
extern HWND g_fileList;
extern HWND g_progressBar;
extern HWND g_statusLine;
extern HWND g_bannerControl;
// The DPI the window was laid out for, 0 before WM_INITDIALOG; WM_DPICHANGED changes it.
extern int g_windowDpi;
extern bool g_busy;
extern Manifest g_manifest;
