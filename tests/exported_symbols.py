#!/usr/bin/env python3
"""Checks that a library exports exactly the interface its headers mark: every defined dynamic symbol
belongs to a function or class declared with the export marker, and every such declaration is exported.

    exported_symbols.py LIBRARY MARKER HEADER...
"""
import re
import subprocess
import sys

library, marker, headers = sys.argv[1], sys.argv[2], sys.argv[3:]

declared = set()
for header in headers:
    text = open(header, encoding="utf-8").read()
    declared.update(re.findall(r"class\s+" + marker + r"\s+(\w+)", text))
    declared.update(re.findall(marker + r"\s+[\w:<>*&\s]+?\b(\w+)\s*\(", text))

symbols = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True, capture_output=True,
                         text=True).stdout.splitlines()


def owner(symbol):
    """The top-level name a demangled symbol belongs to: a class for its members, type information and
    virtual table, else the function's own name."""
    name = symbol.split(" ", 2)[2]
    for prefix in ("typeinfo name for ", "typeinfo for ", "vtable for "):
        if name.startswith(prefix):
            return name[len(prefix):]
    return name.split("(")[0].split("::")[0]


exported = {owner(line): line for line in symbols if len(line.split(" ", 2)) == 3}
unexpected = sorted(set(exported) - declared)
missing = sorted(declared - set(exported))
for name in unexpected:
    print(f"exported but not declared with {marker}: {exported[name]}")
for name in missing:
    print(f"declared with {marker} but not exported: {name}")
print(f"{len(symbols)} symbols of {len(declared)} declared names")
sys.exit(1 if unexpected or missing else 0)
