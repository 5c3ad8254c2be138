#pragma once
// What a manifest entry must satisfy before its download is requested, and how a finished body's
// digest is compared with the entry's checksum. Shared by the download and the vendor's checker.
#include <cstddef>
#include <string>

constexpr size_t kSha256Bytes = 32;
constexpr const wchar_t* kMalformedChecksumText = L"The manifest's checksum for this file is malformed.";
constexpr const wchar_t* kPlainHttpWithoutChecksumText = L"Refusing an unencrypted download without a checksum.";
constexpr const wchar_t* kChecksumMismatchText = L"Downloaded file does not match its checksum.";
constexpr const wchar_t* kHidingNameText = L"Refusing a file whose name hides characters.";
constexpr const wchar_t* kUncheckedCodeTypeText = L"Refusing a file type that runs code unchecked.";
constexpr const wchar_t* kReservedNameText = L"Refusing a file name that Windows reserves.";
constexpr const wchar_t* kFolderChangedText = L"Refusing to start a file whose folder was changed.";
constexpr const wchar_t* kExtDiffersText = L"The manifest's ext differs from the file name's extension.";

// Exactly 64 hexadecimal digits, either case.
bool IsSha256Hex(const std::wstring& text);
// The URL's scheme is "http" (ASCII letters in any case), so nothing protects the bytes in transit.
bool IsPlainHttpUrl(const std::wstring& url);
// True for an extension (dot included, ASCII letters in any case) of a type that Windows runs or
// acts on when opened and that can carry no signature the launcher could check.
bool IsUncheckedCodeType(const std::wstring& extension);
// False with the error text when the entry's name must not be downloaded: it hides characters, the
// name it is saved under is empty or a device's, or it is of an unchecked code type.
bool CheckDownloadName(const std::wstring& name, std::wstring& error);
// The manifest's ext (with or without its dot) names another type than the saved name's extension;
// an absent ext differs from nothing.
bool ExtDiffersFromName(const std::wstring& ext, const std::wstring& name);
// False with the error text when the entry's download must not even be requested.
bool CheckDownloadRequest(const std::wstring& url, const std::wstring& sha256, std::wstring& error);
// True when hex (already known to be IsSha256Hex) spells digest, in either case.
bool Sha256HexMatches(const std::wstring& hex, const unsigned char (&digest)[kSha256Bytes]);
