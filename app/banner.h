#pragma once
// The banner picture: decoded once from the resources, painted scaled into the banner control.
#include <windows.h>

#include <memory>

#include "common/gdiplus_headers.h"

// Holds the decoded banner; emptied by wWinMain before GDI+ shuts down.
extern std::unique_ptr<Gdiplus::Bitmap> g_bannerImage;

void LoadBannerImage();
void PaintBanner(const DRAWITEMSTRUCT& item);
