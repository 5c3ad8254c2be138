#pragma once
// Colours of the window's texts, chosen by control and by the status line's error flag.
#include <cstdint>

using Colour = uint32_t;  // 0x00BBGGRR, as a Windows COLORREF

constexpr Colour kBackgroundColour = 0x00FFFFFF;  // #FFFFFF
constexpr Colour kTextColour = 0x0040362D;        // #2D3640
constexpr Colour kMutedTextColour = 0x0082776C;   // #6C7782
constexpr Colour kErrorTextColour = 0x003C3CC0;   // #C03C3C

Colour StaticTextColour(int controlId, bool statusIsError);
