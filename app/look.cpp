#include "app/look.h"

#include <cwchar>

#include "app/dpi_scale.h"
#include "app/ui_resources.h"
#include "res/resource.h"

namespace {

ColourScheme g_colourScheme;

void DeleteIfSet(HFONT font) {
  if (font) DeleteObject(font);
}

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
  HFONT oldHeading = g_headingFont;
  HFONT oldBody = g_bodyFont;
  HFONT oldSmall = g_smallFont;
  g_headingFont = CreateUiFont(22, FW_BOLD, dpi);
  g_bodyFont = CreateUiFont(10, FW_NORMAL, dpi);
  g_smallFont = CreateUiFont(9, FW_NORMAL, dpi);
  const struct {
    int id;
    HFONT font;
  } assignments[] = {
      {IDC_HEADING, g_headingFont}, {IDC_HINT, g_bodyFont},    {IDC_CAPTION, g_smallFont},
      {IDC_FILELIST, g_bodyFont},   {IDC_STATUS, g_smallFont}, {IDC_LINK, g_smallFont},
  };
  for (const auto& assignment : assignments) {
    SendDlgItemMessageW(dialog, assignment.id, WM_SETFONT, reinterpret_cast<WPARAM>(assignment.font), TRUE);
  }
  DeleteIfSet(oldHeading);
  DeleteIfSet(oldBody);
  DeleteIfSet(oldSmall);
}

void RefreshColourScheme() {
  HIGHCONTRASTW contrast = {};
  contrast.cbSize = sizeof(contrast);
  g_colourScheme.highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
                                (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  g_colourScheme.windowTextColour = GetSysColor(COLOR_WINDOWTEXT);
}

void CreateBackgroundBrush() { g_backgroundBrush = CreateSolidBrush(kBackgroundColour); }

HBRUSH BackgroundBrush() { return g_colourScheme.highContrast ? GetSysColorBrush(COLOR_WINDOW) : g_backgroundBrush; }

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
