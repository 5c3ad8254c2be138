#pragma once
// The verdict on a file's Authenticode signature, read through a handle the caller holds: the
// system's own, then the launcher's reading of what the system let through.
#include <windows.h>

#include <string>

#include "trust/signature_rules.h"
#include "trust/signed_content_rules.h"

enum class SignatureVerdict { Valid, Absent, Invalid };

// Valid when the signature is sound for a file of this type: the system accepts it (WinVerifyTrust:
// no UI, no revocation check, only cached URLs) and its chain passes the Authenticode chain policy,
// time validity aside; it is the file's one signature, nothing appended (a program's certificate table
// holds it alone and ends the file; a package's signature stream holds it alone); it was made for this
// type of file, and a package's streams have the digest it names; it has one signer, whose chain the
// launcher reads itself (trust/chain_rules.h) at the time of its RFC 3161 time stamp, or now when it
// has none; the signer's subject names are then in `signer`. Absent when the file carries no
// signature at all; Invalid for anything else. wintrust.dll and crypt32.dll are loaded from the system
// folder on the first call.
SignatureVerdict VerifyAuthenticode(HANDLE file, const std::wstring& path, SignedContent content, SubjectNames& signer);
