#pragma once
// The GDI objects the window draws with: the background brush, the three fonts and the banner's
// pixels. The dialog makes them when it initialises (the fonts again on a DPI change); they are
// released together once the dialog has ended. All are null until made.
#include <windows.h>

#include "common/scoped.h"

extern GdiObject<HBRUSH> g_backgroundBrush;
extern GdiObject<HFONT> g_headingFont;
extern GdiObject<HFONT> g_bodyFont;
extern GdiObject<HFONT> g_smallFont;
extern GdiObject<HBITMAP> g_bannerBitmap;

// Deletes the brush, then the heading, body and small fonts, then the banner's pixels, skipping what
// was never made, and leaves every owner empty.
void ReleaseUiResources();
