#pragma once
// Sizes at the window's DPI: every layout number is designed at 96 dpi and multiplied by dpi / 96
// the way MulDiv does it (rounded to nearest, halves away from zero); no system calls.

constexpr int kDesignDpi = 96;

// a * b / c in 64 bits, rounded to nearest with halves away from zero, as MulDiv; c must not be 0.
int MulDivRounded(int a, int b, int c);
// A length designed at 96 dpi, in pixels at dpi.
int ScaleToDpi(int designPixels, int dpi);
// LOGFONT height asking for a character height of points at dpi.
int FontHeightForDpi(int points, int dpi);
