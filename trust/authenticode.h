#pragma once
// The system's verdict on a file's Authenticode signature, read through a handle the caller holds.
#include <windows.h>

#include <string>

#include "trust/signature_rules.h"

enum class SignatureVerdict { Valid, Absent, Invalid };

// Valid when WinVerifyTrust accepts the file (no UI, no revocation check, only cached URLs) and
// the chain it built for the primary signer passes the Authenticode chain policy, time validity
// aside (a time-stamped file outlives its certificate); the signer's subject names are then in
// `signer`. Absent when the file carries no signature at all; Invalid for anything else.
// wintrust.dll and crypt32.dll are loaded from the system folder on the first call.
SignatureVerdict VerifyAuthenticode(HANDLE file, const std::wstring& path, SubjectNames& signer);
