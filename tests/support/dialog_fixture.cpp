#include "support/dialog_fixture.h"

#include <commctrl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "app/banner.h"
#include "app/main_dialog.h"
#include "app/ui_state.h"
#include "install/launch.h"
#include "net/http.h"
#include "net/messages.h"
#include "res/resource.h"
#include "server_config.h"

namespace {

// Holds the manifest's port without listening on it, for the whole test program: each dialog's
// fetch is then refused at once, and no server another test starts there can answer it.
void ReserveManifestPort() {
  UrlParts manifest;
  if (!SplitUrl(kManifestUrl, manifest)) return;
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(manifest.port);
  // Another program may hold it for a while (a server of another test): wait for it.
  for (int attempt = 0; attempt < 240; ++attempt) {
    if (bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return;
    Sleep(500);
  }
  fprintf(stderr, "could not reserve port %u; fetches may reach a server\n", manifest.port);
}

uintptr_t __cdecl RefusedBeginThreadEx(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  errno = EAGAIN;
  return 0;
}

HANDLE WINAPI RefusedCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

// The program's import address table entry of one function, read from its import directory.
void** ImportSlot(const char* dll, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0)
        return reinterpret_cast<void**>(&addresses->u1.Function);
    }
  }
  return nullptr;
}

void WriteSlot(void** slot, void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return;
  *slot = value;
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

}  // namespace

ThreadStartsRefused::ThreadStartsRefused() {
  const struct {
    const char* dll;
    const char* function;
    void* replacement;
  } refused[] = {
      {"msvcrt.dll", "_beginthreadex", reinterpret_cast<void*>(&RefusedBeginThreadEx)},
      {"ucrtbase.dll", "_beginthreadex", reinterpret_cast<void*>(&RefusedBeginThreadEx)},
      {"kernel32.dll", "CreateThread", reinterpret_cast<void*>(&RefusedCreateThread)},
  };
  for (const auto& r : refused) {
    void** slot = ImportSlot(r.dll, r.function);
    if (!slot) continue;
    slots_[count_] = slot;
    saved_[count_] = *slot;
    WriteSlot(slot, r.replacement);
    ++count_;
  }
}

ThreadStartsRefused::~ThreadStartsRefused() {
  for (int i = 0; i < count_; ++i) WriteSlot(slots_[i], saved_[i]);
}

void StartWindowServices() {
  static bool started = false;
  if (started) return;
  started = true;
  WSADATA winsock;
  WSAStartup(MAKEWORD(2, 2), &winsock);
  ReserveManifestPort();
  g_instance = GetModuleHandleW(nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  static ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

DialogUnderTest::DialogUnderTest() {
  StartWindowServices();
  g_manifest = Manifest();
  g_currentDownloadName.clear();
  window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
}

DialogUnderTest::~DialogUnderTest() {
  if (IsWindow(window)) DestroyWindow(window);
  // WM_DESTROY posted a quit message meant for a modal loop; drop it so later pumps keep going.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  ReleaseUiResources();
  g_fileList = g_progressBar = g_statusLine = g_bannerControl = nullptr;
  g_windowDpi = 0;
}

void PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    if (!g_mainWindow || !IsWindow(g_mainWindow) || !IsDialogMessageW(g_mainWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!predicate()) {
    if (GetTickCount64() > deadline) return predicate();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpPending();
  }
  return true;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

HWND Control(int id) { return GetDlgItem(g_mainWindow, id); }
std::wstring StatusText() { return WindowText(Control(IDC_STATUS)); }
bool StatusIsError() { return GetWindowLongPtrW(Control(IDC_STATUS), GWLP_USERDATA) == 1; }
bool IsShown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

void SetClientSize(HWND dialog, int width, int height) {
  RECT window = {};
  RECT client = {};
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  const int extraWidth = (window.right - window.left) - client.right;
  const int extraHeight = (window.bottom - window.top) - client.bottom;
  SetWindowPos(dialog, nullptr, 0, 0, width + extraWidth, height + extraHeight, SWP_NOZORDER | SWP_NOMOVE);
  PumpPending();
}

int ListRowCount() { return static_cast<int>(SendMessageW(Control(IDC_FILELIST), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ListCell(int row, int column) {
  wchar_t buffer[512] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 512;
  SendMessageW(Control(IDC_FILELIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

int ListSelectedRow() {
  return static_cast<int>(SendMessageW(Control(IDC_FILELIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int ListColumnWidth(int column) {
  return static_cast<int>(SendMessageW(Control(IDC_FILELIST), LVM_GETCOLUMNWIDTH, column, 0));
}

int ProgressPosition() { return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
bool ProgressHasMarquee() { return (GetWindowLongPtrW(Control(IDC_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0; }

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

Manifest* NewManifest(int entries) {
  auto* manifest = new Manifest();
  manifest->schema = L"quorvel.download.v1";
  for (int i = 0; i < entries; ++i) {
    ManifestEntry entry;
    entry.name = L"Setup" + std::to_wstring(i) + L".msi";
    // Nothing listens on port 9 of the loopback: a started download fails at once.
    entry.url = L"https://127.0.0.1:9/files/" + entry.name;
    entry.size = 1536 * (i + 1);
    entry.modified_at = L"2026-05-2" + std::to_wstring(9 - i) + L"T10:14:01Z";
    entry.ext = L"msi";
    manifest->files.push_back(entry);
  }
  return manifest;
}

void Post(UINT message, WPARAM wParam, LPARAM lParam) { PostMessageW(g_mainWindow, message, wParam, lParam); }

void WaitForManifestWorker() {
  PumpUntil([] { return StatusText() != L"Fetching available downloads\u2026"; });
}

void ShowManifest(Manifest* manifest) {
  WaitForManifestWorker();
  Post(WM_MANIFEST_READY, reinterpret_cast<WPARAM>(manifest));
  PumpUntil([] { return !StatusIsError(); });
}

void ShowManifest(int entries) { ShowManifest(NewManifest(entries)); }

FinishedDownload* NewFinishedDownload(const std::wstring& name, const std::wstring& source) {
  auto* done = new FinishedDownload;
  DWORD error = 0;
  if (!MakeDownloadFolder(done->folder, error)) return done;
  done->path = done->folder.path + name;
  if (source.empty()) {
    FileHandle(CreateFileW(done->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  } else {
    CopyFileW(source.c_str(), done->path.c_str(), TRUE);
  }
  done->file.Reset(CreateFileW(done->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  return done;
}

SOCKET ListenOnLoopback(unsigned short& port) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    return INVALID_SOCKET;
  }
  port = ntohs(address.sin_port);
  return listener;
}
