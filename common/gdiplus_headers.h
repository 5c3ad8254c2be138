#pragma once
// GDI+'s C++ headers use min and max unqualified; with NOMINMAX they need the standard ones.
#include <windows.h>
#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
