#pragma once
// What a signature must have been made for: the signed content's type, as the system reads it from
// the file and as the signature names it. A signature made for one type of file proves nothing
// about a file of another, whose digest the system may not even compute. Portable: no system call.
#include <string>

// What a download is signed as: a program image (.exe, the launcher's update) or an installer
// package (.msi, .msp).
enum class SignedContent { Program, Package };

constexpr const char* kSha256Oid = "2.16.840.1.101.3.4.2.1";

// The subject interface package the system chose for the file, from its content (a GUID, its 16
// bytes as they lie in memory), is the one for this type: the PE image's or the installer's.
bool SubjectFits(SignedContent content, const unsigned char (&subject)[16]);
// The signature's indirect data (its type, a dotted OID, and its DER value) names this type: PE image
// data for a program; for a package, SIP information naming the installer's interface package.
bool IndirectDataFits(SignedContent content, const std::string& type, const std::string& value);
