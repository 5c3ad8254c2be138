// The demo catalogue's small program: when the launcher has downloaded and opened it, it says so
// in a window of its own, with the path it was started from.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = L"Quorvel Launcher downloaded this program and started it.\n\n";
  text += length > 0 && length < MAX_PATH ? path : L"(path unknown)";
  MessageBoxW(nullptr, text.c_str(), L"Quorvel Demo Tool", MB_OK | MB_ICONINFORMATION);
  return 0;
}
