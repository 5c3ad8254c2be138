#pragma once
// The window's small and big icons, drawn from IDI_APP at the sizes the system wants for a DPI.
#include <windows.h>

// Loads both icons for dpi and gives them to the window; the icons they replace are destroyed.
void SetWindowIconsForDpi(HWND window, int dpi);
// Takes the icons back from the window and destroys them (on WM_DESTROY).
void ReleaseWindowIcons(HWND window);
