#pragma once
// What this user's computer remembers of the signed lists it has accepted, under
// HKEY_CURRENT_USER\Software\Quorvel\Launcher: ListSerial (REG_QWORD), ListDigest (REG_BINARY, the
// SHA-256 of S) and RevokedKeys (REG_MULTI_SZ of key ids). Deleting the key forgets them all.
#include "trust/list_verdict_rules.h"

// A value that is missing or not of its type and size reads as not remembered; a withdrawn key
// that is not a key id is left out.
ListMemory ReadListMemory();
// Writes the values in which `next` differs from `seen`: the withdrawn keys, then the digest, then
// the serial, so that a write cut short never makes the list just accepted look older than itself.
// A failed write is let go: the list stands, and the next accepted one writes again.
void StoreListMemory(const ListMemory& seen, const ListMemory& next);
