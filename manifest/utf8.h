#pragma once
// UTF-8 to UTF-16 code units (held in wchar_t, which is 32 bits wide outside Windows).
#include <cstddef>
#include <cstdint>
#include <string>

// Never fails: each malformed sequence becomes U+FFFD, well-formed input maps exactly and
// characters beyond U+FFFF become surrogate pairs. Uses the system's converter on Windows.
std::wstring Utf8ToWide(const char* bytes, size_t length);
// The same conversion into out, replacing its content and reusing its storage.
void Utf8ToWideInto(const char* bytes, size_t length, std::wstring& out);

// Our own decoder, used where the system has none; built everywhere so Windows tests can compare it
// with the system's. Replaces each maximal ill-formed subpart with one U+FFFD.
std::wstring DecodeUtf8(const char* bytes, size_t length);
void DecodeUtf8Into(const char* bytes, size_t length, std::wstring& out);

// Appends the UTF-8 form of value (up to four bytes); values of surrogates are encoded as they are,
// which makes them malformed, as the reader's escapes require.
void AppendUtf8(std::string& out, uint32_t value);
