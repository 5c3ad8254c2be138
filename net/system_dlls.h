#pragma once
// The DLLs that system components load by bare name, each bound from the system folder by its full
// path first: a later load by name then finds the one already in the process. Without it, a system
// component that asks for a DLL along the process's own search path (the executable's folder first)
// would take one of that name saved beside the launcher, whatever the launcher restricted.

// The window's: the visual styles, the controls' drawing, the banner's decoder, the shell's property
// store and the file version reader. Call once, after restricting the DLL search and before the
// first window.
void BindWindowDlls();

// Those of WinHTTP, its TLS and the signature check. Call before the first WinHTTP call.
void BindSystemDlls();
