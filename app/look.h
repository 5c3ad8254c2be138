#pragma once
// Fonts and colours of the window, at its DPI and in the system's contrast setting.
#include <windows.h>

#include "app/look_rules.h"

// Creates the three fonts for dpi and hands them to their controls; the fonts they replace are
// deleted only once no control uses them any more.
void CreateAndSetFonts(HWND dialog, int dpi);
// Reads whether high contrast is on and the system's window colours (at start and on a change).
void RefreshColourScheme();
// Makes g_backgroundBrush, in kBackgroundColour.
void CreateBackgroundBrush();
// The brush behind the dialog, its controls and the banner: g_backgroundBrush, or the system's
// window colour in high contrast.
HBRUSH BackgroundBrush();
// WM_CTLCOLORSTATIC: transparent text in the control's colour on the background brush.
HBRUSH ColourStaticControl(HDC dc, HWND control);
