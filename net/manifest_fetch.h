#pragma once
#include <string>

#include "manifest/manifest.h"

// One HTTPS GET of the manifest URL; on false, error holds the text for the status line.
bool FetchManifest(Manifest& manifest, std::wstring& error);
// Thread procedure: posts WM_MANIFEST_READY or WM_MANIFEST_FAILED to g_mainWindow.
void ManifestWorker();
