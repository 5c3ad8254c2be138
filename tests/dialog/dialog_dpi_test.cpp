// The window at one display scale per run: ctest sets QUORVEL_TEST_DPI, and this program runs
// itself again with the prefix's LogPixels set to it (Wine reads it when a process starts).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "server_config.h"
#include "support/check.h"
#include "support/dialog_fixture.h"
#include "support/screen_capture.h"

namespace {

// Runs before the tests: the parent sets LogPixels, runs the child that tests, and puts it back.
struct DpiGate {
  DpiGate() {
    const char* wanted = std::getenv("QUORVEL_TEST_DPI");
    if (!wanted || std::atoi(wanted) == ScreenDpi()) return;
    if (std::getenv("QUORVEL_TEST_DPI_CHILD")) {
      std::fprintf(stderr, "the screen is at %d dpi although LogPixels asks for %s\n", ScreenDpi(), wanted);
      ExitProcess(1);
    }
    HKEY desktop = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &desktop)) {
      ExitProcess(1);
    }
    DWORD before = 0, size = sizeof(before), type = 0;
    const bool hadValue = RegQueryValueExW(desktop, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&before),
                                           &size) == ERROR_SUCCESS &&
                          type == REG_DWORD;
    const DWORD dpi = static_cast<DWORD>(std::atoi(wanted));
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    SetEnvironmentVariableW(L"QUORVEL_TEST_DPI_CHILD", L"1");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    DWORD code = 1;
    if (CreateProcessW(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
      WaitForSingleObject(child.hProcess, INFINITE);
      GetExitCodeProcess(child.hProcess, &code);
      CloseHandle(child.hThread);
      CloseHandle(child.hProcess);
    }
    if (hadValue) {
      RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before), sizeof(before));
    } else {
      RegDeleteValueW(desktop, L"LogPixels");
    }
    RegCloseKey(desktop);
    ExitProcess(code);
  }
} g_dpiGate;

int Scaled(int designPixels, int dpi) { return MulDiv(designPixels, dpi, 96); }

// Every control where the table puts it for the current client size at dpi, and the columns.
void CheckLayout(HWND dialog, int dpi) {
  RECT client = {};
  GetClientRect(dialog, &client);
  const int w = client.right, h = client.bottom;
  const auto s = [dpi](int n) { return Scaled(n, dpi); };
  const struct {
    int id, x, y, width, height;
  } expected[] = {
      {IDC_BANNER, (w - s(240)) / 2, s(14), s(240), s(60)},
      {IDC_CAPTION, 0, s(78), w, s(14)},
      {IDC_RULE_TOP, 0, s(96), w, s(1)},
      {IDC_HEADING, s(28), s(110), s(400), s(36)},
      {IDC_HINT, s(28), s(148), w - s(56), s(20)},
      {IDC_FILELIST, s(28), s(176), w - s(56), h - s(244)},
      {IDC_RULE_BOTTOM, 0, h - s(60), w, s(1)},
      {IDC_PROGRESS, s(28), h - s(52), w - s(56), s(6)},
      {IDC_STATUS, s(28), h - s(38), w - s(166), s(20)},
      {IDC_LINK, w - s(130), h - s(38), s(102), s(18)},
  };
  for (const auto& control : expected) {
    check::Scope scope("control " + std::to_string(control.id) + " in " + std::to_string(w) + "x" + std::to_string(h));
    const RECT actual = ChildRect(Control(control.id));
    CHECK_EQ(actual.left, control.x);
    CHECK_EQ(actual.top, control.y);
    CHECK_EQ(actual.right - actual.left, control.width);
    CHECK_EQ(actual.bottom - actual.top, control.height);
  }
  CHECK_EQ(ListColumnWidth(0), std::max(w - s(334), s(140)));
  const int otherColumns[] = {110, 90, 70};
  for (int column = 1; column <= 3; ++column) CHECK_EQ(ListColumnWidth(column), s(otherColumns[column - 1]));
  MINMAXINFO info = {};
  SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  CHECK_EQ(info.ptMinTrackSize.x, s(720));
  CHECK_EQ(info.ptMinTrackSize.y, s(540));
}

// The three fonts at dpi (by the table's numbers at 96 and 144 dpi) and the controls using them.
void CheckFonts(int dpi) {
  const struct {
    HFONT font;
    int points, at96, at144;
    int controls[3];
  } fonts[] = {{g_headingFont.Get(), 22, -29, -44, {IDC_HEADING, 0, 0}},
               {g_bodyFont.Get(), 10, -13, -20, {IDC_HINT, IDC_FILELIST, 0}},
               {g_smallFont.Get(), 9, -12, -18, {IDC_CAPTION, IDC_STATUS, IDC_LINK}}};
  for (const auto& f : fonts) {
    check::Scope scope(std::to_string(f.points) + " points at " + std::to_string(dpi) + " dpi");
    LOGFONTW font = {};
    REQUIRE(GetObjectW(f.font, sizeof(font), &font) == sizeof(font));
    CHECK_EQ(font.lfHeight, dpi == 96 ? f.at96 : dpi == 144 ? f.at144 : -MulDiv(f.points, dpi, 72));
    for (int id : f.controls) {
      if (id) CHECK_EQ(reinterpret_cast<HFONT>(SendMessageW(Control(id), WM_GETFONT, 0, 0)), f.font);
    }
  }
}

// Live GDI objects of this process. Wine's GetGuiResources says 0; its handle table answers
// GetObjectType for a bare table index, so the table is counted instead.
int LiveGdiObjects() {
  const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (reported > 0) return static_cast<int>(reported);
  int count = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  return count;
}

void ChangeDpi(HWND dialog, int dpi, const RECT& suggested) {
  SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  PumpPending();
}

}  // namespace

TEST_CASE(LayoutFontsAndTextsFollowTheScreenDpi) {
  const int dpi = ScreenDpi();
  if (const char* wanted = std::getenv("QUORVEL_TEST_DPI")) CHECK_EQ(dpi, std::atoi(wanted));
  DialogUnderTest dialog;
  ShowManifest(3);
  CheckFonts(dpi);
  const SIZE sizes[] = {{Scaled(800, dpi), Scaled(600, dpi)}, {Scaled(1001, dpi), Scaled(701, dpi)}};
  for (const SIZE& size : sizes) {
    SetClientSize(dialog.window, size.cx, size.cy);
    RECT client = {};
    GetClientRect(dialog.window, &client);
    CHECK_EQ(client.right, size.cx);
    CHECK_EQ(client.bottom, size.cy);
    CheckLayout(dialog.window, dpi);
  }

  // Every text fits its control, measured with the control's own font.
  SetClientSize(dialog.window, sizes[0].cx, sizes[0].cy);
  const struct {
    int id;
    std::wstring text;
  } texts[] = {{IDC_CAPTION, L"LAUNCHER"},
               {IDC_HEADING, L"Downloads"},
               {IDC_HINT, WindowText(Control(IDC_HINT))},
               {IDC_STATUS, L"3 file(s) available \u2014 double-click any row to install."},
               {IDC_STATUS, L"Downloading\u2026 1023.99 MB of 1024.00 MB"},
               {IDC_LINK, kServerHost}};
  HDC dc = GetDC(dialog.window);
  for (const auto& t : texts) {
    check::Scope scope("text \"" + std::string(t.text.begin(), t.text.end()) + "\"");
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Control(t.id), WM_GETFONT, 0, 0)));
    RECT needed = {0, 0, 0, 0};
    DrawTextW(dc, t.text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    const RECT box = ChildRect(Control(t.id));
    CHECK(needed.right <= box.right - box.left);
    // The line's accent space above capitals (internal leading) may overhang; the letters may not.
    CHECK(needed.bottom - metrics.tmInternalLeading <= box.bottom - box.top);
  }
  ReleaseDC(dialog.window, dc);
  SaveArtifact(CaptureClient(dialog.window), L"dialog-at-" + std::to_wstring(dpi) + L"-dpi");
}

TEST_CASE(DpiChangeRebuildsFontsLayoutAndColumnsWithoutLeaking) {
  const int startDpi = ScreenDpi();
  const int otherDpi = startDpi == 144 ? 96 : 144;
  DialogUnderTest dialog;
  WaitForManifestWorker();
  const auto suggestedFor = [](int dpi) { return RECT{10, 20, 10 + Scaled(760, dpi), 20 + Scaled(580, dpi)}; };
  HFONT oldHeading = g_headingFont.Get();
  ChangeDpi(dialog.window, otherDpi, suggestedFor(otherDpi));
  CHECK(GetObjectType(oldHeading) == 0);  // replaced, not leaked
  CheckFonts(otherDpi);
  RECT window = {};
  GetWindowRect(dialog.window, &window);
  const RECT suggested = suggestedFor(otherDpi);
  CHECK(EqualRect(&window, &suggested));
  CheckLayout(dialog.window, otherDpi);
  HICON smallIcon = reinterpret_cast<HICON>(SendMessageW(dialog.window, WM_GETICON, ICON_SMALL, 0));
  ICONINFO icon = {};
  REQUIRE(GetIconInfo(smallIcon, &icon));
  BITMAP bitmap = {};
  GetObjectW(icon.hbmColor ? icon.hbmColor : icon.hbmMask, sizeof(bitmap), &bitmap);
  CHECK((bitmap.bmWidth > GetSystemMetrics(SM_CXSMICON)) == (otherDpi > startDpi));
  for (HBITMAP part : {icon.hbmColor, icon.hbmMask}) {
    if (part) DeleteObject(part);
  }

  // Back and forth ten times more: nothing is left behind.
  ChangeDpi(dialog.window, startDpi, suggestedFor(startDpi));
  const int before = LiveGdiObjects();
  for (int change = 0; change < 10; ++change) {
    const int dpi = change % 2 == 0 ? otherDpi : startDpi;
    ChangeDpi(dialog.window, dpi, suggestedFor(dpi));
  }
  CHECK_EQ(LiveGdiObjects(), before);
  CheckFonts(startDpi);
  CheckLayout(dialog.window, startDpi);
}
