#include "common/ascii_names.h"

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameFolded(const wchar_t* left, const wchar_t* right, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (FoldAscii(left[i]) != FoldAscii(right[i])) return false;
  }
  return true;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& left, const std::wstring& right) {
  return left.size() == right.size() && SameFolded(left.data(), right.data(), left.size());
}

bool StartsWithIgnoringAsciiCase(const std::wstring& text, const std::wstring& prefix) {
  return !prefix.empty() && text.size() >= prefix.size() && SameFolded(text.data(), prefix.data(), prefix.size());
}
