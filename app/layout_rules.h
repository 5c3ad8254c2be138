#pragma once
// Pixel arithmetic of the window's layout and of the banner's placement; no system calls, so it
// is tested natively as well as through the real window. Every length is designed at 96 dpi and
// scaled to the window's DPI; at 96 dpi the numbers are used as they stand.
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

struct PixelSize {
  int width = 0;
  int height = 0;
};

constexpr int kMinTrackWidth = 720;  // at 96 dpi
constexpr int kMinTrackHeight = 540;
constexpr int kLayoutControlCount = 10;
constexpr int kFileListColumnCount = 4;

// Where every control goes for a client area of W x H pixels at dpi, in the order they are placed.
std::array<ControlPlacement, kLayoutControlCount> ComputeLayout(int clientWidth, int clientHeight, int dpi);
// Width of the list's "File" column for a client width at dpi.
int FileColumnWidth(int clientWidth, int dpi);
// Starting width of each list column ("File", "Date", "Size", "Type") at dpi.
int FileListColumnWidth(int column, int dpi);
// The smallest window the user can drag the border to, at dpi.
PixelSize MinimumTrackSize(int dpi);
// The banner image scaled to fit the item rectangle, keeping its aspect ratio, centred.
PixelRect FitBanner(const PixelRect& item, int imageWidth, int imageHeight);
