#pragma once
// The banner picture: decoded once from the resources, painted scaled into the banner control.
#include <windows.h>

#include "common/gdiplus_headers.h"
#include "common/scoped.h"

// The picture's pixels in a top-down 32-bit DIB section, premultiplied as GDI+ draws them, or null
// when it could not be made. A GDI object, so it needs no GDI+ to be deleted.
GdiObject<HBITMAP> MakeBannerBitmap(Gdiplus::Bitmap& picture);
// Decodes the banner resource into g_bannerBitmap (ui_resources.h); leaves it null on any failure.
void LoadBannerImage();
void PaintBanner(const DRAWITEMSTRUCT& item);
