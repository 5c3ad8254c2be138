"""The launcher executable imports in the ordinary way (bound when the process starts, before any of
its own code runs) only what its C runtime needs before wWinMain: kernel32 and msvcrt, Known DLLs
that Windows loads from the system folder whatever the search order. Every other DLL, Known or not,
is delay-loaded, so that it and the DLLs it imports in turn are looked for only after wWinMain has
restricted the DLL search to the system folder: a Known DLL's own imports are not Known on every
system (Wine's user32 imports version.dll). Usage: check_imports.py OBJDUMP EXE"""
import os
import subprocess
import sys

SKIP = 77

ALLOWED = {"kernel32.dll", "msvcrt.dll"}


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
        print("imported at start instead of delay-loaded: %s" % dll)
    return 1 if outside else 0


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if a != "--optional"]
    sys.exit(main(args[0], args[1], optional="--optional" in sys.argv))
