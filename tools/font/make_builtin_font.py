#!/usr/bin/env python3
"""Turns tools/font/builtin_font.txt into platform/builtin_font_data.inc."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
lines = [l.rstrip("\n") for l in open(os.path.join(here, "builtin_font.txt")) if not l.startswith("# ")]
glyphs = {}
i = 0
while i < len(lines):
    if not lines[i]:
        i += 1
        continue
    ch, rows = lines[i], lines[i + 1:i + 8]
    assert len(ch) == 1 and len(rows) == 7 and all(len(r) == 5 for r in rows), (ch, rows)
    glyphs[ord(ch)] = [int(r.replace("#", "1").replace(".", "0"), 2) for r in rows]
    i += 8
out = ["// Made by tools/font/make_builtin_font.py from tools/font/builtin_font.txt; do not edit.",
       "// Characters 32 to 127, seven rows of five bits each, the leftmost cell in bit 4."]
for code in range(32, 128):
    src = code - 32 if 97 <= code <= 122 else code
    rows = glyphs.get(src, [0] * 7)
    label = repr(chr(code)) if code < 127 else "DEL"
    out.append("{" + ", ".join("0x%02x" % r for r in rows) + "},  // " + label)
open(os.path.join(root, "platform", "builtin_font_data.inc"), "w").write("\n".join(out) + "\n")
print("wrote platform/builtin_font_data.inc", file=sys.stderr)
