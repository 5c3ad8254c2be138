#include "app/look.h"

#include <cwchar>

#include "app/look_rules.h"
#include "app/ui_state.h"
#include "res/resource.h"

HFONT CreateUiFont(int points, int weight) {
  HDC screen = GetDC(nullptr);
  const int dotsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  LOGFONTW font = {};
  font.lfHeight = -MulDiv(points, dotsPerInch, 72);
  font.lfWeight = weight;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(font.lfFaceName, L"Segoe UI", LF_FACESIZE - 1);
  font.lfFaceName[LF_FACESIZE - 1] = L'\0';
  return CreateFontIndirectW(&font);
}

void CreateAndSetFonts(HWND dialog) {
  g_headingFont = CreateUiFont(22, FW_BOLD);
  g_bodyFont = CreateUiFont(10, FW_NORMAL);
  g_smallFont = CreateUiFont(9, FW_NORMAL);
  const struct {
    int id;
    HFONT font;
  } assignments[] = {
      {IDC_HEADING, g_headingFont}, {IDC_HINT, g_bodyFont},   {IDC_CAPTION, g_smallFont},
      {IDC_FILELIST, g_bodyFont},   {IDC_STATUS, g_smallFont}, {IDC_LINK, g_smallFont},
  };
  for (const auto& assignment : assignments) {
    SendDlgItemMessageW(dialog, assignment.id, WM_SETFONT, reinterpret_cast<WPARAM>(assignment.font), TRUE);
  }
}

HBRUSH ColourStaticControl(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  SetBkMode(dc, TRANSPARENT);
  const bool statusIsError = id == IDC_STATUS && GetWindowLongPtrW(control, GWLP_USERDATA) != 0;
  SetTextColor(dc, StaticTextColour(id, statusIsError));
  // Wine's link control deletes the brush it is given after painting; the stock white brush,
  // the same colour, survives that (deleting a stock object does nothing).
  if (id == IDC_LINK) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  return g_backgroundBrush;
}
