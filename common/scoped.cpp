#include "common/scoped.h"

#include <objbase.h>
#include <winhttp.h>

#include "common/gdiplus_headers.h"

void WinHttpHandlePolicy::Close(Handle handle) { WinHttpCloseHandle(handle); }

ScopedCom::ScopedCom(DWORD model) : started_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}

ScopedCom::~ScopedCom() {
  if (started_) CoUninitialize();
}

ScopedGdiplus::ScopedGdiplus() {
  const Gdiplus::GdiplusStartupInput input;
  started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

ScopedGdiplus::~ScopedGdiplus() {
  if (started_) Gdiplus::GdiplusShutdown(token_);
}
