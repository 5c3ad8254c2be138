#pragma once
// The list keys this build pins, its minimum serial and its time stamp (QUORVEL_LIST_KEYS,
// QUORVEL_LIST_RECOVERY_KEYS, QUORVEL_LIST_MIN_SERIAL at configure time). A launcher that pins
// none reads lists as launchers always have.
#include <vector>

#include "trust/list_verdict_rules.h"

// Quick, for any thread: the build pins at least one list key.
bool ListKeysPinned();
// The pinned keys, each with its key id, which the first call computes (SHA-256 over the key's
// SPKI through CNG). A key whose id cannot be computed keeps an empty one and verifies nothing.
const std::vector<PinnedListKey>& PinnedListKeys();
ListBuildLimits BuiltInListLimits();
