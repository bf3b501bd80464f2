#!/usr/bin/env python3
"""Fails, listing the offenders, when a layer uses a layer that it may not:
one above it or beside it.

  check-layers.py includes SOURCE_DIR
      every `#include "Folder/..."` of the sources against the table;
  check-layers.py symbols NM Folder=LIBRARY ...
      every symbol that a layer's static library needs and that only a
      library it may not use defines. A call back up needs no include (a
      declaration of its own will do), and it links once the game links
      every layer; this finds it.
"""
import pathlib
import re
import subprocess
import sys

FOUNDATION = {"System", "Platform"}
SERVICES = {"Graphics", "Input", "Audio"}
# What each layer (a top folder, a library) may use besides itself.
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


def include_offenders(root):
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


def symbols(nm, library, *flags):
    out = subprocess.run([nm, "-g", *flags, library], capture_output=True, text=True,
                         check=True).stdout
    found = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and not line.endswith(":"):
            found[parts[-1]] = parts[-2]
    return found


def symbol_offenders(nm, libraries):
    undefined = {name: set(symbols(nm, path, "-u")) for name, path in libraries.items()}
    defined = {name: symbols(nm, path, "--defined-only") for name, path in libraries.items()}
    for name, needs in undefined.items():
        allowed = ALLOWED[name] | {name}
        # A weak or common definition (an inline function, a template) may
        # stand in any library that includes its header: only a strong one
        # says where a symbol lives.
        below = set().union(*(defined[other] for other in allowed if other in defined))
        for other, table in defined.items():
            if other in allowed:
                continue
            for symbol in sorted(needs - below):
                if table.get(symbol) in ("T", "D", "B", "R"):
                    yield f"{name} uses {symbol} of {other}"


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "includes":
        found = list(include_offenders(pathlib.Path(sys.argv[2])))
    elif len(sys.argv) >= 3 and sys.argv[1] == "symbols":
        libraries = dict(arg.split("=", 1) for arg in sys.argv[3:])
        found = list(symbol_offenders(sys.argv[2], libraries))
    else:
        print(__doc__.strip())
        return 2
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} use(s) against the layers")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
