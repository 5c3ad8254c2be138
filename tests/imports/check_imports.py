"""The launcher executable imports in the ordinary way (bound when the process starts, before any of
its own code runs) only DLLs that Windows loads from the system folder whatever the search order.
Every other DLL must be delay-loaded, or loaded explicitly from the system folder, so that a DLL of
the same name saved beside the launcher is never loaded. Usage: check_imports.py OBJDUMP EXE"""
import os
import subprocess
import sys

SKIP = 77

ALLOWED = {
    # Known DLLs on every supported Windows (Vista to 10): always mapped from the system folder.
    "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "ole32.dll", "shell32.dll",
    "shlwapi.dll",
    # The version 6 common controls, bound side by side through the application manifest.
    "comctl32.dll",
}


def imported_dlls(objdump, exe):
    text = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    return sorted({line.split(":", 1)[1].strip().lower() for line in text.splitlines()
                   if line.strip().startswith("DLL Name:")})


def main(objdump, exe, optional=False):
    if not os.path.isfile(exe):
        print("no launcher at %s (the test runner builds it before the native tests)" % exe)
        return SKIP if optional else 1
    dlls = imported_dlls(objdump, exe)
    print("%s imports: %s" % (exe, ", ".join(dlls)))
    if "kernel32.dll" not in dlls:
        print("no import table read (kernel32.dll missing)")
        return 1
    outside = [dll for dll in dlls if dll not in ALLOWED]
    for dll in outside:
        print("imported at start but not pinned to the system folder: %s" % dll)
    return 1 if outside else 0


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if a != "--optional"]
    sys.exit(main(args[0], args[1], optional="--optional" in sys.argv))
