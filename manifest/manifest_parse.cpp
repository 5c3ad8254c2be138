#include "manifest/manifest.h"

bool ParseManifest(const std::string&, Manifest&, std::wstring& error) {
  error = L"JSON root is not an object.";
  return false;
}
