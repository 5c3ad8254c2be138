#pragma once
// The banner picture: decoded once from the resources, painted scaled into the banner control.
#include <windows.h>

#include <memory>

#include "common/gdiplus_headers.h"

// Holds the decoded banner, or null. Emptied by ReleaseBannerImage before GDI+ shuts down, so its
// own destructor at process exit, in whatever order the exit destroys globals, releases nothing.
extern std::unique_ptr<Gdiplus::Bitmap> g_bannerImage;

void LoadBannerImage();
// Deletes the image while GDI+ still runs; wWinMain's tear-down does it through ReleaseUiResources.
void ReleaseBannerImage();
void PaintBanner(const DRAWITEMSTRUCT& item);
