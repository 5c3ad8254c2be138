#pragma once
// Pixel arithmetic of the window's layout and of the banner's placement; no system calls, so it
// is tested natively as well as through the real window.
#include <array>

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};

struct ControlPlacement {
  int id;
  PixelRect rect;
};

constexpr int kMinTrackWidth = 720;
constexpr int kMinTrackHeight = 540;
constexpr int kLayoutControlCount = 10;

// Where every control goes for a client area of W x H pixels, in the order they are placed.
std::array<ControlPlacement, kLayoutControlCount> ComputeLayout(int clientWidth, int clientHeight);
// Width of the list's "File" column for a client width.
int FileColumnWidth(int clientWidth);
// The banner image scaled to fit the item rectangle, keeping its aspect ratio, centred.
PixelRect FitBanner(const PixelRect& item, int imageWidth, int imageHeight);
