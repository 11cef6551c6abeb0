#!/usr/bin/env python3
"""Writes cli/cp932_table.cpp: the Unicode character of every two-byte CP932
character, as Windows maps them (Python's cp932 codec), for printing CP932
text as UTF-8 on Linux.

    cmake/cp932-table.py | clang-format --assume-filename=cli/cp932_table.cpp > cli/cp932_table.cpp
"""

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = range(0x40, 0xFD)


def character(lead, trail):
    try:
        text = bytes([lead, trail]).decode("cp932")
    except UnicodeDecodeError:
        return 0
    return ord(text) if len(text) == 1 and ord(text) <= 0xFFFF else 0


print("// Written by cmake/cp932-table.py; do not edit.")
print('#include "cp932_table.h"')
print()
print("const unsigned short CP932_DOUBLE[CP932_LEAD_COUNT][CP932_TRAIL_COUNT] = {")
for lead in LEADS:
    codes = [character(lead, trail) for trail in TRAILS]
    print("    {")
    for start in range(0, len(codes), 12):
        print("        " + " ".join(f"0x{code:04X}," for code in codes[start:start + 12]))
    print("    },")
print("};")
