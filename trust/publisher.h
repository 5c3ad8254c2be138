#pragma once
// Downloads that must come from the launcher's own publisher: whoever signed the running launcher.
#include <windows.h>

#include <string>

#include "trust/signed_content_rules.h"

// The running launcher's image carries a certificate table: it was signed, whether or not the
// signature verifies. Read from the loaded image's headers, so it is quick.
bool LauncherCarriesSignature();
// True when the launcher is unsigned (it carries no certificate table, and then checks nothing), or
// when the file behind `file` (at `path`) carries a valid signature, made for `content`, whose signer
// names the launcher's publisher. False with the text the user sees otherwise, also when the
// launcher's own signature fails or its own file cannot be read. Reads the launcher's own signature
// on the first call, which takes a while: call it on a worker thread.
bool CheckSignedByPublisher(HANDLE file, const std::wstring& path, SignedContent content, std::wstring& error);
