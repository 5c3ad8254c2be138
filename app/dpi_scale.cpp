#include "app/dpi_scale.h"

int MulDivRounded(int a, int b, int c) {
  long long product = static_cast<long long>(a) * b;
  long long divisor = c;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

int ScaleToDpi(int designPixels, int dpi) { return MulDivRounded(designPixels, dpi, kDesignDpi); }

int FontHeightForDpi(int points, int dpi) { return -MulDivRounded(points, dpi, 72); }
