#include "app/ui_resources.h"

GdiObject<HBRUSH> g_backgroundBrush;
GdiObject<HFONT> g_headingFont;
GdiObject<HFONT> g_bodyFont;
GdiObject<HFONT> g_smallFont;
GdiObject<HBITMAP> g_bannerBitmap;

void ReleaseUiResources() {
  g_backgroundBrush.Reset();
  g_headingFont.Reset();
  g_bodyFont.Reset();
  g_smallFont.Reset();
  g_bannerBitmap.Reset();
}
