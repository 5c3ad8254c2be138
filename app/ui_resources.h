#pragma once
// The GDI objects the window draws with: the background brush and the three fonts. The dialog makes
// them when it initialises (the fonts again on a DPI change); they are released together, with the
// banner image, once the dialog has ended. All are null until made.
#include <windows.h>

#include "common/scoped.h"

extern GdiObject<HBRUSH> g_backgroundBrush;
extern GdiObject<HFONT> g_headingFont;
extern GdiObject<HFONT> g_bodyFont;
extern GdiObject<HFONT> g_smallFont;

// Deletes the brush, then the heading, body and small fonts, then the banner image, skipping what
// was never made, and leaves every owner empty. Runs before GDI+ shuts down.
void ReleaseUiResources();
