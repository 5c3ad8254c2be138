#pragma once
#include <windows.h>

// A list view in a dialog never sees Enter: the dialog manager turns it into IDOK. This makes the
// list ask for it, so its own NM_RETURN and LVN_KEYDOWN reach the dialog procedure.
void MakeListWantEnter(HWND list);
