#pragma once
// The launcher's one window: its dialog procedure, status line and the start of a download.
#include <windows.h>

#include <string>

#include "manifest/manifest.h"

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitMainDialogControls(HWND dialog);
void SetStatus(const std::wstring& text, bool isError);
void StartDownload(const ManifestEntry& entry);
