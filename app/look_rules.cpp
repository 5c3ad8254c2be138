#include "app/look_rules.h"

#include "res/resource.h"

Colour StaticTextColour(int controlId, bool statusIsError, const ColourScheme& scheme) {
  if (scheme.highContrast) return scheme.windowTextColour;
  switch (controlId) {
    case IDC_STATUS: return statusIsError ? kErrorTextColour : kMutedTextColour;
    case IDC_CAPTION:
    case IDC_HINT: return kMutedTextColour;
    default: return kTextColour;
  }
}
