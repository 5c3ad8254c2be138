#pragma once
#include <windows.h>

// Places every control for the dialog's current client size.
void LayoutControls(HWND dialog);
void SetMinimumTrackSize(MINMAXINFO& info);
