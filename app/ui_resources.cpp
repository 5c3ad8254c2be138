#include "app/ui_resources.h"

#include "app/banner.h"

HBRUSH g_backgroundBrush = nullptr;
HFONT g_headingFont = nullptr;
HFONT g_bodyFont = nullptr;
HFONT g_smallFont = nullptr;

namespace {

template <typename Handle>
void DeleteAndForget(Handle& object) {
  if (object) DeleteObject(object);
  object = nullptr;
}

}  // namespace

void ReleaseUiResources() {
  DeleteAndForget(g_backgroundBrush);
  DeleteAndForget(g_headingFont);
  DeleteAndForget(g_bodyFont);
  DeleteAndForget(g_smallFont);
  ReleaseBannerImage();
}
