#pragma once
// The window's states, one function each: every one sets its whole group of controls (list,
// progress bar, status line and its error flag), the busy flag and where the keyboard focus goes.
// Message handlers move the window between them; the dialog tests enter them the same way.
#include <string>

// Opened, the manifest not yet in: an enabled, empty list and no progress bar.
void ShowFetching();
// The manifest's count of files is shown; the list (filled and focused beforehand) is the user's.
void ShowReady(size_t fileCount);
// The manifest could not be had: its text in red, until the window closes.
void ShowManifestFailed(const std::wstring& text);
// A download of name runs: busy, the list disabled and the bar at 0 of 1000.
void ShowDownloading(const std::wstring& name);
// The running download's progress: the bar and the sizes, or a marquee when no length is known.
void ShowDownloadProgress(long long receivedKiB, long long totalKiB);
// The download failed: its text in red, and the list back for another try.
void ShowDownloadFailed(const std::wstring& text);
// The download is being handed on: still busy, no bar, "Launching…" painted at once.
void ShowLaunching();

// The status line's text and error flag, repainted and announced to screen readers.
void SetStatus(const std::wstring& text, bool isError);
// For WM_SETFOCUS: while a download has the focus on the dialog itself, the dialog manager must not
// hand it on to a control.
bool KeepFocusOnTheDialog();
