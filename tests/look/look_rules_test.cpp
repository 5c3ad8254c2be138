// The window's arithmetic at every scale and its colour choice, without a window.
#include <string>

#include "app/dpi_scale.h"
#include "app/layout_rules.h"
#include "app/live_region_rules.h"
#include "app/look_rules.h"
#include "res/resource.h"
#include "support/check.h"

namespace {

TEST_CASE(ScalingRoundsLikeMulDiv) {
  const struct {
    int a, b, c, expected;
  } cases[] = {
      {1, 144, 96, 2}, {334, 120, 96, 418}, {5, 1, 2, 3},
      {-5, 1, 2, -3},  {5, -1, 2, -3},      {5, 1, -2, -3},
      {7, 96, 96, 7},  {0, 192, 96, 0},     {100000, 100000, 100000, 100000},
  };
  for (const auto& c : cases) {
    check::Scope scope(std::to_string(c.a) + "*" + std::to_string(c.b) + "/" + std::to_string(c.c));
    CHECK_EQ(MulDivRounded(c.a, c.b, c.c), c.expected);
  }
}

TEST_CASE(SizesAndFontsAtEveryScale) {
  const struct {
    int dpi;
    int minWidth, minHeight;
    int columns[4];
    int fonts[3];  // heading 22 pt, body 10 pt, small 9 pt
    int fileColumnAt600, fileColumnAt1200;
  } cases[] = {
      {96, 720, 540, {360, 110, 90, 70}, {-29, -13, -12}, 266, 866},
      {120, 900, 675, {450, 138, 113, 88}, {-37, -17, -15}, 182, 782},
      {144, 1080, 810, {540, 165, 135, 105}, {-44, -20, -18}, 210, 699},
      {192, 1440, 1080, {720, 220, 180, 140}, {-59, -27, -24}, 280, 532},
  };
  for (const auto& c : cases) {
    check::Scope scope(std::to_string(c.dpi) + " dpi");
    CHECK_EQ(MinimumTrackSize(c.dpi).width, c.minWidth);
    CHECK_EQ(MinimumTrackSize(c.dpi).height, c.minHeight);
    for (int column = 0; column < 4; ++column) CHECK_EQ(FileListColumnWidth(column, c.dpi), c.columns[column]);
    CHECK_EQ(FontHeightForDpi(22, c.dpi), c.fonts[0]);
    CHECK_EQ(FontHeightForDpi(10, c.dpi), c.fonts[1]);
    CHECK_EQ(FontHeightForDpi(9, c.dpi), c.fonts[2]);
    CHECK_EQ(FileColumnWidth(600, c.dpi), c.fileColumnAt600);
    CHECK_EQ(FileColumnWidth(1200, c.dpi), c.fileColumnAt1200);
  }
  CHECK_EQ(FileListColumnWidth(4, 96), 0);
}

TEST_CASE(LayoutAt144DpiIsTheDesignOneAndAHalfTimes) {
  const ControlPlacement expected[] = {
      {IDC_BANNER, {420, 21, 360, 90}},     {IDC_CAPTION, {0, 117, 1200, 21}},  {IDC_RULE_TOP, {0, 144, 1200, 2}},
      {IDC_HEADING, {42, 165, 600, 54}},    {IDC_HINT, {42, 222, 1116, 30}},    {IDC_FILELIST, {42, 264, 1116, 534}},
      {IDC_RULE_BOTTOM, {0, 810, 1200, 2}}, {IDC_PROGRESS, {42, 822, 1116, 9}}, {IDC_STATUS, {42, 843, 951, 30}},
      {IDC_LINK, {1005, 843, 153, 27}},
  };
  const auto layout = ComputeLayout(1200, 900, 144);
  for (int i = 0; i < kLayoutControlCount; ++i) {
    check::Scope scope("control " + std::to_string(expected[i].id));
    CHECK_EQ(layout[i].id, expected[i].id);
    CHECK(layout[i].rect == expected[i].rect);
  }
}

TEST_CASE(BannerIsScaledToFitAndCentredInItsItem) {
  const struct {
    PixelRect item;
    int imageWidth, imageHeight;
    PixelRect expected;
  } cases[] = {
      {{10, 20, 240, 60}, 1626, 466, {25, 20, 209, 60}},  // the real banner, height-bound
      {{0, 0, 100, 100}, 200, 100, {0, 25, 100, 50}},     // wide: width-bound
      {{0, 0, 100, 100}, 50, 200, {37, 0, 25, 100}},      // tall
  };
  for (const auto& c : cases) {
    check::Scope scope(std::to_string(c.imageWidth) + "x" + std::to_string(c.imageHeight));
    CHECK(FitBanner(c.item, c.imageWidth, c.imageHeight) == c.expected);
  }
}

TEST_CASE(HighContrastTakesTheSystemColoursForEveryText) {
  ColourScheme contrast;
  contrast.highContrast = true;
  contrast.windowTextColour = 0x0000FFFF;
  ColourScheme plain = contrast;  // the system's colours are there, but not used
  plain.highContrast = false;
  const struct {
    int id;
    bool error;
    Colour plainColour;
  } cases[] = {{IDC_STATUS, true, kErrorTextColour},   {IDC_STATUS, false, kMutedTextColour},
               {IDC_CAPTION, false, kMutedTextColour}, {IDC_HINT, false, kMutedTextColour},
               {IDC_HEADING, false, kTextColour},      {IDC_LINK, false, kTextColour}};
  for (const auto& c : cases) {
    check::Scope scope("control " + std::to_string(c.id) + (c.error ? " (error)" : ""));
    CHECK_EQ(StaticTextColour(c.id, c.error, plain), c.plainColour);
    CHECK_EQ(StaticTextColour(c.id, c.error, contrast), contrast.windowTextColour);
  }
}

TEST_CASE(ProgressIsAnnouncedAtMostOnceASecond) {
  const struct {
    bool progress;
    uint64_t atMs;
    bool announced;
  } steps[] = {{true, 5000, true}, {false, 5010, true}, {true, 5020, false}, {true, 6009, false},
               {true, 6010, true}, {true, 6500, false}, {false, 6600, true}, {true, 7599, false},
               {true, 7600, true}, {true, 100, true}};  // a clock that went back does not silence it
  AnnouncementClock clock;
  for (const auto& step : steps) {
    check::Scope scope(std::string(step.progress ? "progress" : "message") + " at " + std::to_string(step.atMs));
    CHECK_EQ(TakeAnnouncementTurn(clock, step.progress, step.atMs), step.announced);
  }
}

}  // namespace
