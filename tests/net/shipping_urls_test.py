#!/usr/bin/env python3
"""The shipping build carries the vendor's real addresses: its manifest URL and the web-site link,
read as the UTF-16 texts, with their terminating NUL, inside the built program.

    shipping_urls_test.py QuorvelLauncher.exe
"""
import sys

WANTED = {
    "manifest URL": "https://quorvel.com/download/latest/filelist.json.php",
    "web-site link": "https://quorvel.com",
}


def wide(text):
    return (text + "\0").encode("utf-16-le")


def main():
    with open(sys.argv[1], "rb") as f:
        image = f.read()
    failures = []
    for what, text in WANTED.items():
        if wide(text) not in image:
            failures.append("%s %r is not in the program" % (what, text))
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("PASS: %s" % ", ".join("%s %s" % item for item in WANTED.items()))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
