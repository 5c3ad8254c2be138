#include "app/ui_state.h"

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
HWND g_fileList = nullptr;
HWND g_progressBar = nullptr;
HWND g_statusLine = nullptr;
HWND g_bannerControl = nullptr;
HFONT g_headingFont = nullptr;
HFONT g_bodyFont = nullptr;
HFONT g_smallFont = nullptr;
HBRUSH g_backgroundBrush = nullptr;
bool g_busy = false;
// Defined in this order so that exit-time destruction runs name, then manifest (the banner holder
// lives in banner.cpp, whose globals are built before these by link order).
Manifest g_manifest;
std::wstring g_currentDownloadName;
