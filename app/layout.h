#pragma once
#include <windows.h>

// Places every control for the dialog's current client size at the DPI it was last laid out for.
void LayoutControls(HWND dialog);
void SetMinimumTrackSize(HWND dialog, MINMAXINFO& info);
// The DPI the window is laid out for: its own until WM_DPICHANGED names another.
int LayoutDpi(HWND dialog);
