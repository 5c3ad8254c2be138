// The window as it is drawn and laid out: template, rectangles, fonts, colours, banner pixels.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/banner.h"
#include "app/ui_resources.h"
#include "res/resource.h"
#include "server_config.h"
#include "support/check.h"
#include "support/dialog_fixture.h"
#include "support/screen_capture.h"
#include "support/shell_window_closer.h"

namespace {

int CountPixels(const Capture& capture, const RECT& area, uint32_t rgb) {
  int count = 0;
  for (int y = area.top; y < area.bottom && y < capture.height; ++y) {
    for (int x = area.left; x < area.right && x < capture.width; ++x) count += capture.At(x, y) == rgb;
  }
  return count;
}

// Bounding box of the pixels in area that are clearly not white, relative to area's corner.
RECT InkBox(const Capture& capture, const RECT& area) {
  RECT box = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const uint32_t p = capture.At(x, y);
      const int darkness = 765 - static_cast<int>((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF));
      if (darkness < 120) continue;
      box.left = std::min<LONG>(box.left, x - area.left);
      box.top = std::min<LONG>(box.top, y - area.top);
      box.right = std::max<LONG>(box.right, x - area.left + 1);
      box.bottom = std::max<LONG>(box.bottom, y - area.top + 1);
    }
  }
  return box;
}

struct TemplateItem {
  DWORD style;
  DWORD exStyle;
  DWORD helpId;
  short x, y, cx, cy;
  DWORD id;
  std::wstring className;
  std::wstring text;
};

const WORD* ReadSzOrOrd(const WORD* p, std::wstring& out) {
  static const wchar_t* kOrdinals[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
  if (*p == 0xFFFF) {
    const WORD ordinal = p[1];
    out = ordinal >= 0x80 && ordinal <= 0x85 ? kOrdinals[ordinal - 0x80] : L"#" + std::to_wstring(ordinal);
    return p + 2;
  }
  out.clear();
  while (*p) out += static_cast<wchar_t>(*p++);
  return p + 1;
}

const WORD* AlignDword(const WORD* p) {
  return reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~static_cast<uintptr_t>(3));
}

}  // namespace

TEST_CASE(TemplateHoldsEveryControlAsDesigned) {
  StartWindowServices();
  HRSRC info = FindResourceExW(g_instance, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(IDD_MAIN),
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  REQUIRE(info != nullptr);
  const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(g_instance, info)));
  REQUIRE(p != nullptr);
  CHECK_EQ(p[0], 1);       // dlgVer
  CHECK_EQ(p[1], 0xFFFF);  // extended template
  const DWORD* header = reinterpret_cast<const DWORD*>(p + 2);
  CHECK_EQ(header[0], 0u);           // help id
  CHECK_EQ(header[1], 0x00040000u);  // WS_EX_APPWINDOW
  CHECK_EQ(header[2], 0x90CE0840u);  // popup, visible, caption, sysmenu, thick frame, minimise, centre, font
  const WORD count = p[8];
  const short* size = reinterpret_cast<const short*>(p + 9);
  CHECK_EQ(size[2], 380);
  CHECK_EQ(size[3], 290);
  p += 13;
  std::wstring menu, windowClass, title, face;
  p = ReadSzOrOrd(p, menu);
  p = ReadSzOrOrd(p, windowClass);
  p = ReadSzOrOrd(p, title);
  CHECK_EQ(menu, std::wstring());
  CHECK_EQ(windowClass, std::wstring());
  CHECK_EQ(title, std::wstring(L"Quorvel Launcher"));
  CHECK_EQ(p[0], 9);                                 // points
  CHECK_EQ(p[1], 400);                               // weight
  CHECK_EQ(reinterpret_cast<const BYTE*>(p)[4], 0);  // not italic
  CHECK_EQ(reinterpret_cast<const BYTE*>(p)[5], 1);  // character set
  p = ReadSzOrOrd(p + 3, face);
  CHECK_EQ(face, std::wstring(L"Segoe UI"));

  const TemplateItem expected[] = {
      {0x5000010D, 0, 0, 130, 8, 120, 36, IDC_BANNER, L"Static", L""},
      {0x50020001, 0, 0, 0, 48, 380, 10, IDC_CAPTION, L"Static", L"LAUNCHER"},
      {0x50000010, 0, 0, 0, 64, 380, 1, IDC_RULE_TOP, L"Static", L""},
      {0x50020000, 0, 0, 14, 54, 200, 18, IDC_HEADING, L"Static", L"Downloads"},
      {0x50020000, 0, 0, 14, 74, 360, 10, IDC_HINT, L"Static", L"Double-click any file to download and install it."},
      {0x5081000D, 0, 0, 14, 92, 352, 168, IDC_FILELIST, L"SysListView32", L""},
      {0x50000010, 0, 0, 0, 266, 380, 1, IDC_RULE_BOTTOM, L"Static", L""},
      {0x50800001, 0, 0, 14, 270, 352, 4, IDC_PROGRESS, L"msctls_progress32", L""},
      {0x50020000, 0, 0, 14, 278, 260, 10, IDC_STATUS, L"Static", L""},
      {0x50010000, 0, 0, 305, 278, 60, 10, IDC_LINK, L"SysLink", L""},
  };
  CHECK_EQ(count, static_cast<WORD>(sizeof(expected) / sizeof(expected[0])));
  for (int i = 0; i < count && i < 10; ++i) {
    check::Scope scope("control " + std::to_string(expected[i].id));
    p = AlignDword(p);
    const DWORD* item = reinterpret_cast<const DWORD*>(p);
    const short* rect = reinterpret_cast<const short*>(item + 3);
    CHECK_EQ(item[0], expected[i].helpId);
    CHECK_EQ(item[1], expected[i].exStyle);
    CHECK_EQ(item[2], expected[i].style);
    CHECK_EQ(rect[0], expected[i].x);
    CHECK_EQ(rect[1], expected[i].y);
    CHECK_EQ(rect[2], expected[i].cx);
    CHECK_EQ(rect[3], expected[i].cy);
    CHECK_EQ(*reinterpret_cast<const DWORD*>(rect + 4), expected[i].id);
    std::wstring className, text;
    p = ReadSzOrOrd(reinterpret_cast<const WORD*>(rect + 6), className);
    p = ReadSzOrOrd(p, text);
    CHECK(CompareStringOrdinal(className.c_str(), -1, expected[i].className.c_str(), -1, TRUE) == CSTR_EQUAL);
    CHECK_EQ(text, expected[i].text);
    p += 1 + *p / sizeof(WORD);  // creation data
  }
}

TEST_CASE(LayoutPlacesEveryControlForTwoSizes) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  const struct {
    int width, height;
    struct {
      int id;
      RECT rect;  // left, top, right, bottom
    } controls[10];
    int fileColumn;
  } sizes[] = {
      {800,
       600,
       {{IDC_BANNER, {280, 14, 520, 74}},
        {IDC_CAPTION, {0, 78, 800, 92}},
        {IDC_RULE_TOP, {0, 96, 800, 97}},
        {IDC_HEADING, {28, 110, 428, 146}},
        {IDC_HINT, {28, 148, 772, 168}},
        {IDC_FILELIST, {28, 176, 772, 532}},
        {IDC_RULE_BOTTOM, {0, 540, 800, 541}},
        {IDC_PROGRESS, {28, 548, 772, 554}},
        {IDC_STATUS, {28, 562, 662, 582}},
        {IDC_LINK, {670, 562, 772, 580}}},
       466},
      {1001,
       701,
       {{IDC_BANNER, {380, 14, 620, 74}},
        {IDC_CAPTION, {0, 78, 1001, 92}},
        {IDC_RULE_TOP, {0, 96, 1001, 97}},
        {IDC_HEADING, {28, 110, 428, 146}},
        {IDC_HINT, {28, 148, 973, 168}},
        {IDC_FILELIST, {28, 176, 973, 633}},
        {IDC_RULE_BOTTOM, {0, 641, 1001, 642}},
        {IDC_PROGRESS, {28, 649, 973, 655}},
        {IDC_STATUS, {28, 663, 863, 683}},
        {IDC_LINK, {871, 663, 973, 681}}},
       667},
  };
  for (const auto& size : sizes) {
    check::Scope scope("client " + std::to_string(size.width) + "x" + std::to_string(size.height));
    SetClientSize(dialog.window, size.width, size.height);
    RECT client = {};
    GetClientRect(dialog.window, &client);
    REQUIRE(client.right == size.width && client.bottom == size.height);
    for (const auto& control : size.controls) {
      check::Scope controlScope("control " + std::to_string(control.id));
      const RECT actual = ChildRect(Control(control.id));
      CHECK_EQ(actual.left, control.rect.left);
      CHECK_EQ(actual.top, control.rect.top);
      CHECK_EQ(actual.right, control.rect.right);
      CHECK_EQ(actual.bottom, control.rect.bottom);
    }
    CHECK_EQ(ListColumnWidth(0), size.fileColumn);
  }
  // Minimising lays out for an empty client area: the column falls to its floor.
  ShowWindow(dialog.window, SW_MINIMIZE);
  PumpUntil([] { return ListColumnWidth(0) == 140; }, 10000);
  CHECK_EQ(ListColumnWidth(0), 140);
  ShowWindow(dialog.window, SW_RESTORE);
  // Under X the restored size may arrive a little later: wait for the layout that follows it.
  RECT client = {};
  PumpUntil(
      [&] {
        GetClientRect(dialog.window, &client);
        return client.right > 0 && ListColumnWidth(0) == std::max<int>(client.right - 334, 140);
      },
      10000);
  CHECK_EQ(ListColumnWidth(0), std::max<int>(client.right - 334, 140));
  CHECK(client.right > 0);
}

TEST_CASE(WindowCannotShrinkBelowItsMinimum) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  MINMAXINFO info = {};
  info.ptMaxTrackSize = {5000, 4000};
  SendMessageW(dialog.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  CHECK_EQ(info.ptMinTrackSize.x, 720);
  CHECK_EQ(info.ptMinTrackSize.y, 540);
  CHECK_EQ(info.ptMaxTrackSize.x, 5000);
  SetWindowPos(dialog.window, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
  RECT window = {};
  GetWindowRect(dialog.window, &window);
  CHECK(window.right - window.left >= 720);
  CHECK(window.bottom - window.top >= 540);
}

TEST_CASE(FontsFollowTheScreenResolution) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  const int dpi = ScreenDpi();
  const struct {
    HFONT font;
    int points, weight;
    int controls[3];
  } fonts[] = {{g_headingFont.Get(), 22, 700, {IDC_HEADING, 0, 0}},
               {g_bodyFont.Get(), 10, 400, {IDC_HINT, IDC_FILELIST, 0}},
               {g_smallFont.Get(), 9, 400, {IDC_CAPTION, IDC_STATUS, IDC_LINK}}};
  for (const auto& f : fonts) {
    check::Scope scope(std::to_string(f.points) + " points");
    LOGFONTW font = {};
    REQUIRE(GetObjectW(f.font, sizeof(font), &font) == sizeof(font));
    CHECK_EQ(font.lfHeight, -MulDiv(f.points, dpi, 72));
    CHECK_EQ(font.lfWeight, f.weight);
    CHECK_EQ(font.lfQuality, static_cast<BYTE>(CLEARTYPE_QUALITY));
    CHECK_EQ(font.lfCharSet, static_cast<BYTE>(0));
    CHECK_EQ(std::wstring(font.lfFaceName), std::wstring(L"Segoe UI"));
    for (int id : f.controls) {
      if (id) CHECK_EQ(reinterpret_cast<HFONT>(SendMessageW(Control(id), WM_GETFONT, 0, 0)), f.font);
    }
  }
  if (dpi == 96) {
    LOGFONTW heading = {};
    GetObjectW(g_headingFont.Get(), sizeof(heading), &heading);
    CHECK_EQ(heading.lfHeight, -29);
  }
}

TEST_CASE(StaticTextsTakeTheirColours) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  // Wine cannot switch high contrast on; with it off, a settings change keeps this palette.
  SendMessageW(dialog.window, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  SendMessageW(dialog.window, WM_SYSCOLORCHANGE, 0, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  const struct {
    int id;
    bool error;
    COLORREF colour;
  } cases[] = {{IDC_STATUS, true, 0x003C3CC0},    {IDC_STATUS, false, 0x0082776C},  {IDC_CAPTION, false, 0x0082776C},
               {IDC_HINT, false, 0x0082776C},     {IDC_HEADING, false, 0x0040362D}, {IDC_BANNER, false, 0x0040362D},
               {IDC_RULE_TOP, false, 0x0040362D}, {IDC_LINK, false, 0x0040362D}};
  for (const auto& c : cases) {
    check::Scope scope("control " + std::to_string(c.id) + (c.error ? " (error)" : ""));
    if (c.id == IDC_STATUS) SetStatus(L"Something", c.error);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkMode(dc, OPAQUE);
    const INT_PTR brush = SendMessageW(dialog.window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(Control(c.id)));
    // The link gets the stock white brush, which survives Wine's link control deleting it.
    const HBRUSH expectedBrush =
        c.id == IDC_LINK ? static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)) : g_backgroundBrush.Get();
    CHECK_EQ(reinterpret_cast<HBRUSH>(brush), expectedBrush);
    CHECK_EQ(GetTextColor(dc), c.colour);
    CHECK_EQ(GetBkMode(dc), TRANSPARENT);
  }
  for (UINT message : {WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORDLG}) {
    const INT_PTR brush =
        SendMessageW(dialog.window, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog.window));
    CHECK_EQ(reinterpret_cast<HBRUSH>(brush), g_backgroundBrush.Get());
  }
  // Still alive after the window has painted its link.
  RedrawWindow(dialog.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  LOGBRUSH white = {};
  CHECK(GetObjectW(g_backgroundBrush.Get(), sizeof(white), &white) != 0);
  CHECK_EQ(white.lbColor, static_cast<COLORREF>(0x00FFFFFF));
  DeleteDC(dc);
}

TEST_CASE(ScreenshotShowsStatusColoursOnWhite) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  SetClientSize(dialog.window, 800, 600);
  const RECT status = ChildRect(Control(IDC_STATUS));

  SetStatus(L"Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ on the server.",
            true);
  Capture error = CaptureClient(dialog.window);
  SaveArtifact(error, L"dialog-error-status");
  CHECK(CountPixels(error, status, 0xC03C3C) > 10);
  CHECK_EQ(CountPixels(error, status, 0x6C7782), 0);
  CHECK_EQ(error.At(5, 5), 0xFFFFFFu);
  CHECK_EQ(error.At(400, 300 - 200), 0xFFFFFFu);  // between the heading and the hint

  ShowManifest(3);
  Capture normal = CaptureClient(dialog.window);
  SaveArtifact(normal, L"dialog-ready");

  CHECK(CountPixels(normal, status, 0x6C7782) > 10);
  CHECK_EQ(CountPixels(normal, status, 0xC03C3C), 0);
}

TEST_CASE(BannerIsScaledToFitAndCentred) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  BITMAP decoded = {};  // the real resource decodes
  CHECK(g_bannerBitmap && GetObjectW(g_bannerBitmap.Get(), sizeof(decoded), &decoded) == sizeof(decoded));
  CHECK_EQ(decoded.bmWidth, 1626);
  CHECK_EQ(std::abs(decoded.bmHeight), 466);
  // An opaque picture of the banner's size shows exactly where it is drawn.
  Gdiplus::Bitmap solid(1626, 466, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics graphics(&solid);
    graphics.Clear(Gdiplus::Color(255, 20, 60, 160));
  }
  g_bannerBitmap = MakeBannerBitmap(solid);
  SetClientSize(dialog.window, 800, 600);
  const RECT banner = ChildRect(Control(IDC_BANNER));
  CHECK_EQ(banner.right - banner.left, 240);
  CHECK_EQ(banner.bottom - banner.top, 60);
  const Capture capture = CaptureClient(dialog.window);
  const RECT ink = InkBox(capture, banner);
  CHECK_EQ(ink.left, 15);
  CHECK_EQ(ink.top, 0);
  CHECK_EQ(ink.right - ink.left, 209);
  CHECK_EQ(ink.bottom - ink.top, 60);
  CHECK_EQ(capture.At(banner.left + 2, banner.top + 30), 0xFFFFFFu);
  CHECK_EQ(capture.At(banner.right - 2, banner.top + 30), 0xFFFFFFu);

  // Without a banner the control is plain white and the window still works.
  g_bannerBitmap.Reset();
  const Capture empty = CaptureClient(dialog.window);
  CHECK_EQ(InkBox(empty, banner).right, LONG_MIN);
  SaveArtifact(empty, L"dialog-without-banner");
}

TEST_CASE(LinkCarriesTheVendorSite) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  LITEM item = {};
  item.mask = LIF_ITEMINDEX | LIF_URL;
  item.iLink = 0;
  CHECK(SendMessageW(Control(IDC_LINK), LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)) != 0);
  CHECK_EQ(std::wstring(item.szUrl), std::wstring(kWebSiteUrl));
}

namespace {

// When each live-region event of the status line was raised (the hook may see them much later).
std::vector<DWORD> g_liveRegionEvents;

void CALLBACK RecordLiveRegionEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                                    DWORD raisedAtMs) {
  if (event == EVENT_OBJECT_LIVEREGIONCHANGED && window == g_statusLine && object == OBJID_CLIENT &&
      child == CHILDID_SELF) {
    g_liveRegionEvents.push_back(raisedAtMs);
  }
}

// What happened while WM_DOWNLOAD_DONE was handled: "Launching…" painted, or a window of the
// launch (a box of the shell's) created.
std::vector<std::string> g_duringDone;
bool g_insideDone = false;

LRESULT CALLBACK WatchStatusPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_PAINT && g_insideDone && WindowText(window) == L"Launching\u2026") {
    g_duringDone.push_back("painted");
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK WatchNewWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_insideDone) g_duringDone.push_back("launch window");
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// Wine's accessibility property service answers SetHwndProp with E_NOTIMPL, so the polite
// setting itself cannot be read back here; the events are.
TEST_CASE(StatusLineIsAnnouncedAndProgressAtMostOnceASecond) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                                       RecordLiveRegionEvent, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  REQUIRE(hook != nullptr);
  g_liveRegionEvents.clear();
  SetStatus(L"Server returned HTTP 404.", true);
  SetStatus(L"Launching\u2026", false);
  PumpUntil([] { return g_liveRegionEvents.size() >= 2; }, 10000);
  CHECK_EQ(g_liveRegionEvents.size(), static_cast<size_t>(2));

  // Progress as fast as the messages come: the texts all show, about one a second is announced.
  const size_t before = g_liveRegionEvents.size();
  const ULONGLONG deadline = GetTickCount64() + 20000;
  int shown = 0;
  while (g_liveRegionEvents.size() < before + 3 && GetTickCount64() < deadline) {
    Post(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(1 + shown % 1000), 20480);
    PumpPending();
    ++shown;
  }
  UnhookWinEvent(hook);
  REQUIRE(g_liveRegionEvents.size() == before + 3);
  CHECK_EQ(StatusText().find(L"Downloading\u2026"), static_cast<size_t>(0));
  CHECK(shown > 30);
  for (size_t i = before; i < g_liveRegionEvents.size(); ++i) {
    CHECK(g_liveRegionEvents[i] - g_liveRegionEvents[i - 1] >= 990);
  }
}

// The launch of a file that is not there fails, and the shell shows no box of its own for it: the
// window shows "Launching…" (painted before the handler returns) and nothing else, then closes.
TEST_CASE(LaunchingIsPaintedAndAFailedLaunchShowsNoBox) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  ShowDownloading(L"Missing Setup.exe");
  SetWindowSubclass(Control(IDC_STATUS), WatchStatusPaint, 1, 0);
  HHOOK hook = SetWindowsHookExW(WH_CBT, WatchNewWindows, nullptr, GetCurrentThreadId());
  ShellWindowCloser closer;
  g_duringDone.clear();
  g_insideDone = true;
  SendMessageW(dialog.window, WM_DOWNLOAD_DONE, reinterpret_cast<WPARAM>(NewFinishedDownload(L"Missing Setup.exe")), 0);
  g_insideDone = false;
  UnhookWindowsHookEx(hook);
  CHECK(closer.Finish().empty());
  REQUIRE(!g_duringDone.empty());
  CHECK_EQ(g_duringDone.front(), std::string("painted"));
  CHECK(std::find(g_duringDone.begin(), g_duringDone.end(), "launch window") == g_duringDone.end());
  PumpUntil([&] { return !IsWindow(dialog.window); });
}

TEST_CASE(FailedDownloadOfUnknownLengthStopsTheMarquee) {
  DialogUnderTest dialog;
  WaitForManifestWorker();
  ShowDownloading(L"Setup0.msi");
  Post(WM_DOWNLOAD_PROGRESS, 64, -1);
  PumpUntil(ProgressHasMarquee);
  REQUIRE(ProgressHasMarquee());
  Post(WM_DOWNLOAD_FAILED, reinterpret_cast<WPARAM>(CopyToLocalText(L"Download failed.")));
  PumpUntil([] { return !g_busy; });
  CHECK(!ProgressHasMarquee());
  CHECK(!IsShown(Control(IDC_PROGRESS)));
}
