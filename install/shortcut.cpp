#include "install/shortcut.h"

void ShortcutWorker() {}
std::wstring OwnExePath() { return std::wstring(); }
std::wstring DesktopFolder() { return std::wstring(); }
bool FindDesktopShortcut() { return false; }
void CreateDesktopShortcut() {}
