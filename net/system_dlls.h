#pragma once
// The system DLLs that WinHTTP and the signature check bring in, bound from the system folder first.

// Loads, once per process, the DLLs that WinHTTP and crypt32 load by bare name as they start, each
// from the system folder by its full path, so that a later load by name finds the one already in
// the process. Without it, a system that still looks beside the executable for a dependency of a
// DLL would take a bcrypt.dll or crypt32.dll saved there. Call before the first WinHTTP call.
void BindSystemDlls();
