#pragma once
// The DPI a window is shown at, and the system calls that depend on it, resolved from user32 at
// run time so that the launcher still starts on systems without per-monitor DPI.
#include <windows.h>

// GetDpiForWindow where the system has it, else the screen's LOGPIXELSY.
int WindowDpi(HWND window);
// GetSystemMetricsForDpi where the system has it, else GetSystemMetrics.
int SystemMetricForDpi(int index, int dpi);
// Stops the dialog manager from re-fonting, resizing or re-laying out the dialog and its controls
// when the DPI changes: the window does all of that itself. Quietly does nothing where missing.
void KeepDialogManagerOutOfDpiChanges(HWND dialog);
