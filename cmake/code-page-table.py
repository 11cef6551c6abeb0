#!/usr/bin/env python3
"""Writes the table of a two-byte code page's characters, as Windows maps
them, for printing its text as UTF-8 on Linux: cli/cp932_table.cpp from
Python's cp932 codec, cli/gbk_table.cpp from its gbk codec (Windows' code
page 936).

    cmake/code-page-table.py cp932 | clang-format --assume-filename=cli/cp932_table.cpp > cli/cp932_table.cpp
    cmake/code-page-table.py gbk | clang-format --assume-filename=cli/gbk_table.cpp > cli/gbk_table.cpp
"""
import sys

CODE_PAGES = {
    # name: (the table's name in C++, its lead bytes, its second bytes)
    "cp932": ("CP932_DOUBLE", list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)), range(0x40, 0xFD)),
    "gbk": ("GBK_DOUBLE", list(range(0x81, 0xFF)), range(0x40, 0xFF)),
}


def character(codec, lead, trail):
    try:
        text = bytes([lead, trail]).decode(codec)
    except UnicodeDecodeError:
        return 0
    return ord(text) if len(text) == 1 and ord(text) <= 0xFFFF else 0


codec = sys.argv[1]
table, leads, trails = CODE_PAGES[codec]
print(f"// Written by cmake/code-page-table.py {codec}; do not edit.")
print(f'#include "{codec}_table.h"')
print()
print(f"const unsigned short {table}[{codec.upper()}_LEAD_COUNT][{codec.upper()}_TRAIL_COUNT] = {{")
for lead in leads:
    codes = [character(codec, lead, trail) for trail in trails]
    print("    {")
    for start in range(0, len(codes), 12):
        print("        " + " ".join(f"0x{code:04X}," for code in codes[start:start + 12]))
    print("    },")
print("};")
