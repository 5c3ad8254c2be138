#include "support/screen_capture.h"

#include <memory>

#include "common/gdiplus_headers.h"

Capture CaptureClient(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client = {};
  GetClientRect(window, &client);
  Capture capture;
  capture.width = client.right;
  capture.height = client.bottom;
  if (capture.width <= 0 || capture.height <= 0) return capture;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC windowDc = GetDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, capture.width, capture.height, windowDc, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* source = static_cast<const uint32_t*>(bits);
  capture.pixels.assign(source, source + static_cast<size_t>(capture.width) * capture.height);
  for (uint32_t& pixel : capture.pixels) pixel &= 0x00FFFFFF;
  SelectObject(memoryDc, old);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  return capture;
}

namespace {

bool FindPngEncoder(CLSID& clsid) {
  UINT count = 0;
  UINT bytes = 0;
  Gdiplus::GetImageEncodersSize(&count, &bytes);
  if (bytes == 0) return false;
  std::vector<BYTE> buffer(bytes);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, bytes, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(encoders[i].MimeType, L"image/png") == 0) {
      clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

std::wstring SaveArtifact(const Capture& capture, const std::wstring& name) {
  CLSID png;
  if (capture.pixels.empty() || !FindPngEncoder(png)) return std::wstring();
  CreateDirectoryW(L"artifacts", nullptr);
  std::vector<uint32_t> opaque(capture.pixels);
  for (uint32_t& pixel : opaque) pixel |= 0xFF000000u;
  Gdiplus::Bitmap bitmap(capture.width, capture.height, capture.width * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(opaque.data()));
  const std::wstring path = L"artifacts\\" + name + L".png";
  return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok ? path : std::wstring();
}

RECT ChildRect(HWND child) {
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
