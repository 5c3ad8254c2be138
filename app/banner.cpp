#include "app/banner.h"

#include <cstring>

#include "app/layout_rules.h"
#include "app/look.h"
#include "app/ui_state.h"
#include "common/scoped.h"
#include "res/resource.h"

std::unique_ptr<Gdiplus::Bitmap> g_bannerImage;

namespace {

// Movable global memory holding a copy of the PNG, or null.
HGLOBAL CopyBannerResource() {
  HRSRC info = FindResourceW(g_instance, MAKEINTRESOURCEW(IDR_BANNER_PNG), MAKEINTRESOURCEW(10));
  if (!info) return nullptr;
  const DWORD size = SizeofResource(g_instance, info);
  HGLOBAL loaded = LoadResource(g_instance, info);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return nullptr;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  void* target = GlobalLock(memory);
  if (!target) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory);
  return memory;
}

}  // namespace

void LoadBannerImage() {
  HGLOBAL memory = CopyBannerResource();
  if (!memory) return;
  ComPointer<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Put())) || !stream) {
    GlobalFree(memory);
    return;
  }
  // The bitmap takes its own reference to the stream for as long as it needs one.
  std::unique_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(stream.Get()));
  if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) return;
  g_bannerImage = std::move(bitmap);
}

void ReleaseBannerImage() { g_bannerImage.reset(); }

void PaintBanner(const DRAWITEMSTRUCT& item) {
  FillRect(item.hDC, &item.rcItem, BackgroundBrush());
  if (!g_bannerImage) return;

  Gdiplus::Graphics graphics(item.hDC);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
  const int imageWidth = static_cast<int>(g_bannerImage->GetWidth());
  const int imageHeight = static_cast<int>(g_bannerImage->GetHeight());
  if (imageWidth <= 0 || imageHeight <= 0) return;
  const PixelRect itemRect{item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                           item.rcItem.bottom - item.rcItem.top};
  const PixelRect target = FitBanner(itemRect, imageWidth, imageHeight);
  graphics.DrawImage(g_bannerImage.get(), Gdiplus::Rect(target.x, target.y, target.width, target.height));
}
