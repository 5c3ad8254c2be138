#include "app/banner.h"

#include <cstdlib>
#include <cstring>

#include "app/layout_rules.h"
#include "app/look.h"
#include "app/ui_resources.h"
#include "app/ui_state.h"
#include "res/resource.h"

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
  // The decoder takes its own reference to the stream for as long as it needs one.
  Gdiplus::Bitmap decoded(stream.Get());
  if (decoded.GetLastStatus() != Gdiplus::Ok) return;
  g_bannerBitmap = MakeBannerBitmap(decoded);
}

GdiObject<HBITMAP> MakeBannerBitmap(Gdiplus::Bitmap& picture) {
  const UINT width = picture.GetWidth();
  const UINT height = picture.GetHeight();
  if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF) return {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, as GDI+ lays out its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject<HBITMAP> dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) return {};
  // GDI+ writes the converted pixels straight into the section's rows.
  Gdiplus::BitmapData rows = {};
  rows.Width = width;
  rows.Height = height;
  rows.Stride = static_cast<INT>(width * 4);
  rows.PixelFormat = PixelFormat32bppPARGB;
  rows.Scan0 = bits;
  Gdiplus::Rect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  if (picture.LockBits(&whole, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppPARGB,
                       &rows) != Gdiplus::Ok)
    return {};
  picture.UnlockBits(&rows);
  return dib;
}

void PaintBanner(const DRAWITEMSTRUCT& item) {
  FillRect(item.hDC, &item.rcItem, BackgroundBrush());
  BITMAP pixels = {};
  if (!g_bannerBitmap || GetObjectW(g_bannerBitmap.Get(), sizeof(pixels), &pixels) != sizeof(pixels) || !pixels.bmBits)
    return;
  const int imageWidth = pixels.bmWidth;
  const int imageHeight = std::abs(pixels.bmHeight);
  if (imageWidth <= 0 || imageHeight <= 0) return;
  // A GDI+ view of the section's rows, no copy; it lives only for this paint.
  Gdiplus::Bitmap image(imageWidth, imageHeight, pixels.bmWidthBytes, PixelFormat32bppPARGB,
                        static_cast<BYTE*>(pixels.bmBits));
  Gdiplus::Graphics graphics(item.hDC);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
  const PixelRect itemRect{item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                           item.rcItem.bottom - item.rcItem.top};
  const PixelRect target = FitBanner(itemRect, imageWidth, imageHeight);
  graphics.DrawImage(&image, Gdiplus::Rect(target.x, target.y, target.width, target.height));
}
