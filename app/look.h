#pragma once
// Fonts and text colours of the window.
#include <windows.h>

HFONT CreateUiFont(int points, int weight);
// Creates the three fonts and hands them to their controls.
void CreateAndSetFonts(HWND dialog);
// WM_CTLCOLORSTATIC: transparent text in the control's colour on the white brush.
HBRUSH ColourStaticControl(HDC dc, HWND control);
