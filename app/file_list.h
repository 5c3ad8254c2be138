#pragma once
// The list view of offered files: one row per entry of g_manifest, row i being entry i.
#include "manifest/manifest.h"

void SetUpFileList(int dpi);
// Sets the widths of the "Date", "Size" and "Type" columns for dpi; the layout sets "File".
void ScaleFileListColumns(int dpi);
void FillFileList();
// The entry behind the selected row, or null when no row (or no such entry) is selected.
const ManifestEntry* SelectedEntry();
