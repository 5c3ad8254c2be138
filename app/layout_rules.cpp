#include "app/layout_rules.h"

#include <algorithm>

#include "app/dpi_scale.h"
#include "res/resource.h"

namespace {

// Design widths at 96 dpi: the list's columns (File, Date, Size, Type), the margin on either side
// of the list, and the gap the File column leaves for the list's border.
constexpr int kDesignColumnWidths[kFileListColumnCount] = {360, 110, 90, 70};
constexpr int kListMargin = 28;
constexpr int kFileColumnGap = 8;
constexpr int kMinFileColumnWidth = 140;

constexpr int OtherColumnsWidth() {
  int width = 0;
  for (int column = 1; column < kFileListColumnCount; ++column) width += kDesignColumnWidths[column];
  return width;
}

// What the File column leaves to the rest of the window: 334 at 96 dpi.
constexpr int kBesideFileColumn = 2 * kListMargin + OtherColumnsWidth() + kFileColumnGap;

}  // namespace

std::array<ControlPlacement, kLayoutControlCount> ComputeLayout(int w, int h, int dpi) {
  const auto s = [dpi](int designPixels) { return ScaleToDpi(designPixels, dpi); };
  return {{
      {IDC_BANNER, {(w - s(240)) / 2, s(14), s(240), s(60)}},
      {IDC_CAPTION, {0, s(78), w, s(14)}},
      {IDC_RULE_TOP, {0, s(96), w, s(1)}},
      {IDC_HEADING, {s(28), s(110), s(400), s(36)}},
      {IDC_HINT, {s(kListMargin), s(148), w - s(2 * kListMargin), s(20)}},
      {IDC_FILELIST, {s(kListMargin), s(176), w - s(2 * kListMargin), h - s(244)}},
      {IDC_RULE_BOTTOM, {0, h - s(60), w, s(1)}},
      {IDC_PROGRESS, {s(28), h - s(52), w - s(56), s(6)}},
      {IDC_STATUS, {s(28), h - s(38), w - s(166), s(20)}},
      {IDC_LINK, {w - s(130), h - s(38), s(102), s(18)}},
  }};
}

int FileColumnWidth(int clientWidth, int dpi) {
  return std::max(clientWidth - ScaleToDpi(kBesideFileColumn, dpi), ScaleToDpi(kMinFileColumnWidth, dpi));
}

int FileListColumnWidth(int column, int dpi) {
  if (column < 0 || column >= kFileListColumnCount) return 0;
  return ScaleToDpi(kDesignColumnWidths[column], dpi);
}

PixelSize MinimumTrackSize(int dpi) { return {ScaleToDpi(kMinTrackWidth, dpi), ScaleToDpi(kMinTrackHeight, dpi)}; }

PixelRect FitBanner(const PixelRect& item, int imageWidth, int imageHeight) {
  const double scale =
      std::min(static_cast<double>(item.width) / imageWidth, static_cast<double>(item.height) / imageHeight);
  const int drawWidth = static_cast<int>(scale * imageWidth);
  const int drawHeight = static_cast<int>(scale * imageHeight);
  return {item.x + (item.width - drawWidth) / 2, item.y + (item.height - drawHeight) / 2, drawWidth, drawHeight};
}
