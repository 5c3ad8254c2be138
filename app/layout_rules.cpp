#include "app/layout_rules.h"

#include <algorithm>

#include "res/resource.h"

std::array<ControlPlacement, kLayoutControlCount> ComputeLayout(int w, int h) {
  return {{
      {IDC_BANNER, {(w - 240) / 2, 14, 240, 60}},
      {IDC_CAPTION, {0, 78, w, 14}},
      {IDC_RULE_TOP, {0, 96, w, 1}},
      {IDC_HEADING, {28, 110, 400, 36}},
      {IDC_HINT, {28, 148, w - 56, 20}},
      {IDC_FILELIST, {28, 176, w - 56, h - 244}},
      {IDC_RULE_BOTTOM, {0, h - 60, w, 1}},
      {IDC_PROGRESS, {28, h - 52, w - 56, 6}},
      {IDC_STATUS, {28, h - 38, w - 166, 20}},
      {IDC_LINK, {w - 130, h - 38, 102, 18}},
  }};
}

int FileColumnWidth(int clientWidth) { return std::max(clientWidth - 334, 140); }

PixelRect FitBanner(const PixelRect& item, int imageWidth, int imageHeight) {
  const double scale = std::min(static_cast<double>(item.width) / imageWidth,
                                static_cast<double>(item.height) / imageHeight);
  const int drawWidth = static_cast<int>(scale * imageWidth);
  const int drawHeight = static_cast<int>(scale * imageHeight);
  return {item.x + (item.width - drawWidth) / 2, item.y + (item.height - drawHeight) / 2, drawWidth,
          drawHeight};
}
