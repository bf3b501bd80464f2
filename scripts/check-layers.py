#!/usr/bin/env python3
"""Fails, listing the offenders, when a source includes a folder that its
layer may not use. The layers' libraries catch most of this at link time;
an include of a header alone (an inline function, a declaration) they miss.

Usage: check-layers.py SOURCE_DIR
"""
import pathlib
import re
import sys

FOUNDATION = {"System", "Platform"}
SERVICES = {"Graphics", "Input", "Audio"}
# What each folder may include besides itself.
ALLOWED = {
    "Platform": set(),
    "System": set(),
    "Graphics": FOUNDATION,
    "Input": FOUNDATION,
    "Audio": FOUNDATION,
    "World": FOUNDATION | SERVICES,
    "Gui": FOUNDATION | SERVICES,
    "Game": FOUNDATION | SERVICES | {"World", "Gui"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z]+)/')


def offenders(root):
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                if target != folder and target in ALLOWED and target not in allowed:
                    yield f"{path.relative_to(root)}:{number}: {folder} includes {target}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    found = list(offenders(root))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layers")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
