#pragma once
// Reads back what the window shows: its pixels, and a PNG of them kept as a test artefact.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Capture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The window's client area after a full repaint.
Capture CaptureClient(HWND window);
// Saves the capture as a PNG under the test's artefacts folder; returns the path or empty.
std::wstring SaveArtifact(const Capture& capture, const std::wstring& name);
// A child control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
