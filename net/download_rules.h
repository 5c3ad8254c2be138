#pragma once
// What a manifest entry must satisfy before its download is requested, and how a finished body's
// digest is compared with the entry's checksum. Shared by the download and the vendor's checker.
#include <cstddef>
#include <string>

constexpr size_t kSha256Bytes = 32;
constexpr const wchar_t* kMalformedChecksumText = L"The manifest's checksum for this file is malformed.";
constexpr const wchar_t* kPlainHttpWithoutChecksumText = L"Refusing an unencrypted download without a checksum.";
constexpr const wchar_t* kChecksumMismatchText = L"Downloaded file does not match its checksum.";

// Exactly 64 hexadecimal digits, either case.
bool IsSha256Hex(const std::wstring& text);
// The URL's scheme is "http" (ASCII letters in any case), so nothing protects the bytes in transit.
bool IsPlainHttpUrl(const std::wstring& url);
// False with the error text when the entry's download must not even be requested.
bool CheckDownloadRequest(const std::wstring& url, const std::wstring& sha256, std::wstring& error);
// True when hex (already known to be IsSha256Hex) spells digest, in either case.
bool Sha256HexMatches(const std::wstring& hex, const unsigned char (&digest)[kSha256Bytes]);
