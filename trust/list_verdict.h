#pragma once
// The verdict on a fetched list in a launcher that pins list keys.
#include <string>

#include "manifest/manifest.h"

// Judges the reply body by the signed list's rules with this build's keys and what this user's
// computer remembers: the signatures first, before anything of S is parsed. On acceptance fills
// `manifest` from S (marked as vouched for) and remembers the list; false with the one text the
// user sees otherwise. Call on the manifest worker.
bool AcceptSignedList(const std::string& body, Manifest& manifest, std::wstring& error);
