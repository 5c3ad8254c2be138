#pragma once
// Downloads that must come from the launcher's own publisher: whoever signed the running launcher.
#include <string>

// The running launcher's image carries a certificate table: it was signed, whether or not the
// signature verifies. Read from the loaded image's headers, so it is quick.
bool LauncherCarriesSignature();
// True when the launcher is unsigned (it then checks nothing), or when the file carries a valid
// signature whose signer names the launcher's publisher. The file is then held open, sharing only
// reads, until the process ends, so the file that was judged is the one that is started. False
// with the text the user sees otherwise. Reads the launcher's own signature on the first call,
// which takes a while: call it on a worker thread.
bool CheckSignedByPublisher(const std::wstring& path, std::wstring& error);
