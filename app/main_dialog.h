#pragma once
// The launcher's one window: its dialog procedure, which hands each message to a named handler.
#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
