#include "net/messages.h"

#include <cstring>

HWND g_mainWindow = nullptr;

wchar_t* CopyToLocalText(const std::wstring& text) {
  const size_t units = text.size() + 1;
  auto* copy = static_cast<wchar_t*>(LocalAlloc(LPTR, units * sizeof(wchar_t)));
  if (copy) std::memcpy(copy, text.c_str(), units * sizeof(wchar_t));
  return copy;
}
