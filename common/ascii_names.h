#pragma once
#include <string>

// Names and paths compare ignoring case for the ASCII letters only: no locale, and no other
// character folds (an accented capital still differs from its small letter).
bool EqualsIgnoringAsciiCase(const std::wstring& left, const std::wstring& right);
// True when `text` begins with `prefix` under the same folding; an empty prefix never matches.
bool StartsWithIgnoringAsciiCase(const std::wstring& text, const std::wstring& prefix);
