#pragma once
// The status line as a polite live region: screen readers read out each new text without the
// keyboard focus moving.
#include <windows.h>

// Marks the control as a polite live region through the accessibility property service; quietly
// does nothing where the service is missing.
void MakeLiveRegion(HWND control);
// Removes the mark again (on WM_DESTROY).
void ForgetLiveRegion(HWND control);
// Raises EVENT_OBJECT_LIVEREGIONCHANGED for the control's new text; progress texts at most about
// once a second.
void AnnounceLiveRegionChange(HWND control, bool isProgress);
