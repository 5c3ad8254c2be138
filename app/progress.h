#pragma once
// The download progress bar: position out of 1000, or a moving marquee when no length is known.
#include <windows.h>

void ResetProgressBar();
// The bar's marquee style is switched with the animation: without the style the animation is a no-op.
void SetProgressMarquee(bool on);
void SetProgressPosition(int position);
