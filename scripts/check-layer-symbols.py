#!/usr/bin/env python3
"""Fails, listing the offenders, when a layer's library uses a symbol that
only a library above it (or beside it) defines: a call that runs back up,
which the linker lets through once the game links every layer.

Usage: check-layer-symbols.py NM NAME=LIBRARY ...   (nm, then the layers' static libraries)
"""
import subprocess
import sys

# What each layer may use besides itself.
FOUNDATION = {"platform", "system"}
SERVICES = {"graphics", "input", "audio"}
ALLOWED = {
    "platform": set(),
    "system": set(),
    "graphics": FOUNDATION,
    "input": FOUNDATION,
    "audio": FOUNDATION,
    "world": FOUNDATION | SERVICES,
    "gui": FOUNDATION | SERVICES,
    "game": FOUNDATION | SERVICES | {"world", "gui"},
}


def symbols(nm, library, *flags):
    out = subprocess.run([nm, "-g", *flags, library], capture_output=True, text=True,
                         check=True).stdout
    found = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and not line.endswith(":"):
            found[parts[-1]] = parts[-2]
    return found


def main():
    nm = sys.argv[1]
    libraries = dict(arg.split("=", 1) for arg in sys.argv[2:])
    undefined = {name: set(symbols(nm, path, "-u")) for name, path in libraries.items()}
    defined = {name: symbols(nm, path, "--defined-only") for name, path in libraries.items()}
    offenders = []
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
                    offenders.append(f"{name} uses {symbol} of {other}")
    for line in offenders:
        print(line)
    if offenders:
        print(f"{len(offenders)} symbol(s) against the layers")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
