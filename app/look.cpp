#include "app/look.h"

#include <cwchar>
#include <utility>

#include "app/dpi_scale.h"
#include "app/ui_resources.h"
#include "res/resource.h"

namespace {

ColourScheme g_colourScheme;

HFONT CreateUiFont(int points, int weight, int dpi) {
  LOGFONTW font = {};
  font.lfHeight = FontHeightForDpi(points, dpi);
  font.lfWeight = weight;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(font.lfFaceName, L"Segoe UI", LF_FACESIZE - 1);
  font.lfFaceName[LF_FACESIZE - 1] = L'\0';
  return CreateFontIndirectW(&font);
}

}  // namespace

void CreateAndSetFonts(HWND dialog, int dpi) {
  GdiObject<HFONT> headingFont(CreateUiFont(22, FW_BOLD, dpi));
  GdiObject<HFONT> bodyFont(CreateUiFont(10, FW_NORMAL, dpi));
  GdiObject<HFONT> smallFont(CreateUiFont(9, FW_NORMAL, dpi));
  const struct {
    int id;
    HFONT font;
  } assignments[] = {
      {IDC_HEADING, headingFont.Get()}, {IDC_HINT, bodyFont.Get()},    {IDC_CAPTION, smallFont.Get()},
      {IDC_FILELIST, bodyFont.Get()},   {IDC_STATUS, smallFont.Get()}, {IDC_LINK, smallFont.Get()},
  };
  for (const auto& assignment : assignments) {
    SendDlgItemMessageW(dialog, assignment.id, WM_SETFONT, reinterpret_cast<WPARAM>(assignment.font), TRUE);
  }
  // The controls use the new fonts now: taking them over deletes the old ones.
  g_headingFont = std::move(headingFont);
  g_bodyFont = std::move(bodyFont);
  g_smallFont = std::move(smallFont);
}

void RefreshColourScheme() {
  HIGHCONTRASTW contrast = {};
  contrast.cbSize = sizeof(contrast);
  g_colourScheme.highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
                                (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  g_colourScheme.windowTextColour = GetSysColor(COLOR_WINDOWTEXT);
}

void CreateBackgroundBrush() { g_backgroundBrush.Reset(CreateSolidBrush(kBackgroundColour)); }

HBRUSH BackgroundBrush() {
  return g_colourScheme.highContrast ? GetSysColorBrush(COLOR_WINDOW) : g_backgroundBrush.Get();
}

HBRUSH ColourStaticControl(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  SetBkMode(dc, TRANSPARENT);
  const bool statusIsError = id == IDC_STATUS && GetWindowLongPtrW(control, GWLP_USERDATA) != 0;
  SetTextColor(dc, StaticTextColour(id, statusIsError, g_colourScheme));
  // Wine's link control deletes the brush it is given after painting; the stock white brush,
  // the same colour, survives that (deleting a stock object does nothing), as does a system
  // colour brush.
  if (id == IDC_LINK && !g_colourScheme.highContrast) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  return BackgroundBrush();
}
