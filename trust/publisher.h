#pragma once
// Downloads that must come from the launcher's own publisher: whoever signed the running launcher.
#include <windows.h>

#include <string>

// The running launcher's image carries a certificate table: it was signed, whether or not the
// signature verifies. Read from the loaded image's headers, so it is quick.
bool LauncherCarriesSignature();
// True when the launcher is unsigned (it then checks nothing), or when the file behind `file`
// carries a valid signature whose signer names the launcher's publisher; `path` is where that file
// is. The caller holds the file so that nobody can write it while and after it is judged. False
// with the text the user sees otherwise. Reads the launcher's own signature on the first call,
// which takes a while: call it on a worker thread.
bool CheckSignedByPublisher(HANDLE file, const std::wstring& path, std::wstring& error);
