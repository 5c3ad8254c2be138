#pragma once
// A package's signature, bound to its streams by the launcher itself: the platform computes a
// package's digest only where an installer's interface package is present (Wine has none that does),
// so the digest the signature names is computed here again, from the storage as the installer reads
// it, through the handle that holds the file.
#include <windows.h>

#include <string>

// The compound file behind the handle holds its signature stream, and that stream exactly one DER
// element (nothing appended after the signature); and the SHA-256 of its streams, in the order and
// form a package's signature digests them (with the entries' metadata first when it carries the
// extended signature stream), is `digest`.
bool PackageDigestMatches(HANDLE file, const std::string& digest);
