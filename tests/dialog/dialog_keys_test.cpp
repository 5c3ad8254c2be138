// Keys as a user presses them (SendInput goes through the system's input queue like a keyboard).
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "app/ui_state.h"
#include "install/launch.h"
#include "net/messages.h"
#include "res/resource.h"
#include "server_config.h"
#include "support/check.h"
#include "support/dialog_fixture.h"

namespace {

void PressKey(WORD key) {
  INPUT inputs[2] = {};
  inputs[0].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = key;
  inputs[1] = inputs[0];
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

void BringForward(HWND window) {
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetActiveWindow(window);
  PumpUntil([&] { return GetForegroundWindow() == window; }, 10000);
}

// Where the recorder below writes the URL it was started with.
std::wstring OpenedUrlRecord() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"quorvel-opened-url.txt";
}

// Opening a URL runs the prefix's https handler; pointing it at this program records the call.
struct RecordedUrlHandler {
  const std::wstring recordPath = OpenedUrlRecord();
  RecordedUrlHandler() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    DeleteFileW(recordPath.c_str());
    const std::wstring command = L"\"" + std::wstring(self) + L"\" --record-url \"%1\"";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    // A DDE entry would make the shell talk to a browser instead of starting the command.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"https\\shell\\open\\ddeexec");
  }
  std::wstring Recorded() const {
    FILE* file = _wfopen(recordPath.c_str(), L"rb");
    if (!file) return std::wstring();
    wchar_t buffer[512] = {};
    const size_t units = fread(buffer, sizeof(wchar_t), 511, file);
    fclose(file);
    return std::wstring(buffer, units);
  }
  // Waits for the shell to start the recorder; whether it was given the vendor's web site.
  bool OpenedTheVendorSite() const {
    PumpUntil([&] { return !Recorded().empty(); }, 30000);
    return Recorded().find(kWebSiteUrl) == 0;
  }
};

}  // namespace

TEST_CASE(EnterInTheListStartsTheSelectedRow) {
  DialogUnderTest dialog;
  ShowManifest(2);
  BringForward(dialog.window);
  CHECK_EQ(GetFocus(), Control(IDC_FILELIST));
  for (int attempt = 0; attempt < 2; ++attempt) {
    check::Scope scope(attempt == 0 ? "first press" : "after the download failed");
    g_currentDownloadName.clear();
    SetStatus(L"", false);
    PressKey(VK_RETURN);
    // Nothing serves the row's URL, so the download may fail before the next look: wait for its end.
    PumpUntil([] { return !g_currentDownloadName.empty() && !g_busy && StatusIsError(); });
    CHECK_EQ(g_currentDownloadName, std::wstring(L"Setup0.msi"));
    CHECK(!StatusText().empty());
    CHECK(StatusText().find(L"Could not reach") == std::wstring::npos);  // a download's error, no prefix
    CHECK(IsWindow(dialog.window));
    CHECK(IsWindowEnabled(Control(IDC_FILELIST)));
    // The keyboard is back in the list, so Enter can start the row again.
    CHECK_EQ(GetFocus(), Control(IDC_FILELIST));
  }
}

TEST_CASE(EscapeClosesTheWindowInEveryState) {
  for (int state = 0; state < 2; ++state) {
    check::Scope scope(state == 0 ? "fetching" : "ready");
    DialogUnderTest dialog;
    if (state == 1) ShowManifest(2);
    BringForward(dialog.window);
    PressKey(VK_ESCAPE);
    PumpUntil([&] { return !IsWindow(dialog.window); }, 10000);
    CHECK(!IsWindow(dialog.window));
    if (state == 0) WaitForManifestWorker();
  }
}

TEST_CASE(CloseButtonClosesTheWindow) {
  DialogUnderTest dialog;
  ShowManifest(1);
  SendMessageW(dialog.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PumpUntil([&] { return !IsWindow(dialog.window); }, 10000);
  CHECK(!IsWindow(dialog.window));
}

TEST_CASE(EnterOnTheLinkOpensTheVendorSite) {
  RecordedUrlHandler handler;
  DialogUnderTest dialog;
  ShowManifest(1);
  BringForward(dialog.window);
  PressKey(VK_TAB);  // from the list to the link, the next tab stop
  PumpUntil([] { return GetFocus() == Control(IDC_LINK); }, 10000);
  CHECK_EQ(GetFocus(), Control(IDC_LINK));
  PressKey(VK_RETURN);
  CHECK(handler.OpenedTheVendorSite());
  CHECK(!g_busy);  // Enter on the link is not an activation of the list
  CHECK(IsWindow(dialog.window));
}

TEST_CASE(ClickOnTheLinkOpensTheVendorSite) {
  RecordedUrlHandler handler;
  DialogUnderTest dialog;
  ShowManifest(1);
  BringForward(dialog.window);
  RECT link = {};
  GetWindowRect(Control(IDC_LINK), &link);
  SetCursorPos(link.left + 10, link.top + 8);
  INPUT clicks[2] = {};
  clicks[0].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  clicks[1] = clicks[0];
  clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, clicks, sizeof(INPUT));
  CHECK(handler.OpenedTheVendorSite());
}

// The recorder side of RecordedUrlHandler: the shell starts this program with the URL.
int RecordUrlIfAsked() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || count < 3 || wcscmp(arguments[1], L"--record-url") != 0) return -1;
  FILE* file = _wfopen(OpenedUrlRecord().c_str(), L"wb");
  if (file) {
    fwrite(arguments[2], sizeof(wchar_t), wcslen(arguments[2]), file);
    fclose(file);
  }
  return 0;
}

namespace {
// Runs before the tests: a recorder invocation records and exits instead of testing.
struct RecorderGate {
  RecorderGate() {
    if (RecordUrlIfAsked() == 0) ExitProcess(0);
  }
} g_recorderGate;
}  // namespace

namespace {

// Activations that reach the dialog: from the list (a started download) and from the link.
struct Activations {
  int list = 0;
  int link = 0;
};

LRESULT CALLBACK CountActivations(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR counts) {
  if (message == WM_NOTIFY) {
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    auto& seen = *reinterpret_cast<Activations*>(counts);
    const bool enter = header.code == static_cast<UINT>(NM_RETURN) ||
                       (header.code == static_cast<UINT>(LVN_KEYDOWN) &&
                        reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_RETURN);
    if (header.idFrom == IDC_FILELIST && enter && !g_busy) ++seen.list;
    if (header.idFrom == IDC_LINK && (enter || header.code == static_cast<UINT>(NM_CLICK))) ++seen.link;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

// Last in this program: the download it starts is still running when the window closes, and
// only the end of the process ends it, as in the launcher.
TEST_CASE(EscapeClosesTheWindowDuringADownload) {
  DialogUnderTest dialog;  // first: it starts the sockets
  // A listener that never answers: the download's TLS handshake waits on it.
  unsigned short port = 0;
  const SOCKET listener = ListenOnLoopback(port);
  REQUIRE(listener != INVALID_SOCKET);
  ShowManifest(1);
  g_manifest.files[0].url = L"https://127.0.0.1:" + std::to_wstring(port) + L"/stalls.msi";
  BringForward(dialog.window);
  Activations seen;
  SetWindowSubclass(dialog.window, CountActivations, 1, reinterpret_cast<DWORD_PTR>(&seen));
  // Enter held on the row until it repeats: one download, and the repeats open nothing.
  INPUT keys[6] = {};
  for (INPUT& key : keys) {
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_RETURN;
  }
  keys[5].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(6, keys, sizeof(INPUT));
  PumpUntil([] { return g_busy && (GetKeyState(VK_RETURN) & 0x8000) == 0; }, 10000);
  REQUIRE(g_busy);
  CHECK_EQ(seen.list, 1);
  CHECK_EQ(seen.link, 0);
  CHECK(!IsWindowEnabled(Control(IDC_FILELIST)));
  CHECK(IsShown(Control(IDC_PROGRESS)));
  CHECK_EQ(GetFocus(), dialog.window);
  PressKey(VK_ESCAPE);
  PumpUntil([&] { return !IsWindow(dialog.window); }, 10000);
  CHECK(!IsWindow(dialog.window));
  CHECK(g_busy);  // the worker was not told
  closesocket(listener);
}
