#!/usr/bin/env python3
"""Writes seeds for the fuzz target that no real file here shows, built from
a real one, as tests/planted.cpp builds them for the tests: its timeline
record in the older layout, the file as the Chinese build names its record,
and its record as a backup, as the Japanese and the Chinese build save it;
and text files: object files of both builds, files whose lines end with a
CR alone, and lines longer than each buffer the copy and the listing read
them with.

    tests/fuzz-seeds.py FOLDER
"""
import struct
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parent / "data" / "real-aup" / "Group.aup"
TIMELINE = "拡張編集".encode("cp932") + b"\0"
CHINESE = "扩展编辑".encode("gbk") + b"\0"
# The current index of each effect the older layout has, and its older one.
OLDER_INDEX = {0: 0, 1: 1, 2: 2, 3: 3, 4: 4, 34: 28, 35: 29, 40: 33, 14: 57, 79: 57, 80: 57,
               97: 57, 81: 58, 99: 58, 82: 59, 83: 60, 88: 64}


def unpack(data, at, size):
    out = bytearray()
    while len(out) < size:
        header, at = data[at], at + 1
        count = header & 0x7F
        if count == 0:
            count, at = int.from_bytes(data[at:at + 3], "little"), at + 3
        if header & 0x80:
            out += data[at:at + 1] * count
            at += 1
        else:
            out += data[at:at + count]
            at += count
    return bytes(out), at


def pack(data):
    return b"".join(bytes([len(data[at:at + 100])]) + data[at:at + 100]
                    for at in range(0, len(data), 100))


def timeline(data):
    """Where the timeline record's name, size and packed data lie."""
    handle, at = unpack(data, 560, 0x4C07DC)
    frames, at = struct.unpack_from("<i", data, at)[0], at + 4
    for index in range(10):
        at = unpack(data, at, frames * (4 if index < 4 else 1))[1]
    blobs = sum(1 for i in range(96) if handle[0x20B0C + i * 260])
    blobs += sum(1 for slot in struct.unpack_from("<256i", handle, 0x4BBB8C) if slot)
    for _ in range(blobs):
        at += 4 + struct.unpack_from("<i", data, at)[0]
    at += 32
    while True:
        length = struct.unpack_from("<i", data, at + 18)[0]
        size_at = at + 22 + length
        record, end = unpack(data, size_at + 4, struct.unpack_from("<i", data, size_at)[0])
        if data[at + 22:size_at] == TIMELINE:
            return at + 22, size_at, record, end
        at = end


def older(record):
    types, objects = struct.unpack_from("<ii", record, 4)
    scenes, layers = struct.unpack_from("<ii", record, 0x68)
    types_at = 0x100 + layers * 76 + scenes * 220 + struct.unpack_from("<i", record, 0x7C)[0] * 128
    head = bytearray(0x100)
    head[0:4] = b"80EE"
    struct.pack_into("<iii", head, 4, 99, objects, 80)
    struct.pack_into("<i", head, 0x18, -1)
    table = bytearray(80 * 68)
    for layer in range(min(layers, 80)):
        table[layer * 68 + 4:layer * 68 + 68] = record[0x100 + layer * 76 + 12:0x100 + layer * 76 + 76]
    kinds = bytearray(99 * 112)
    struct.pack_into("<i", kinds, 11 * 112 + 12, 260)
    for index, old in OLDER_INDEX.items():
        if index < types:
            kinds[old * 112:old * 112 + 112] = record[types_at + index * 112:types_at + index * 112 + 112]
    out, at = bytes(head) + bytes(table) + bytes(kinds), types_at + types * 112
    for _ in range(objects):
        ext = struct.unpack_from("<i", record, at + 0xF4)[0]
        obj = bytearray(0x248)
        obj[0x10:0x50] = record[at + 0x10:at + 0x50]
        struct.pack_into("<i", obj, 0x50, -1)
        extra, slot = bytearray(), 0
        for current in range(12):
            index, = struct.unpack_from("<i", record, at + 0x54 + current * 12)
            if index == -1 or slot == 8:
                break
            if index not in OLDER_INDEX or index >= types:
                continue
            size = struct.unpack_from("<i", record, types_at + index * 112 + 12)[0]
            offset = struct.unpack_from("<i", record, at + 0x54 + current * 12 + 8)[0]
            struct.pack_into("<iii", obj, 0x54 + slot * 12, OLDER_INDEX[index], 0,
                             len(extra) if ext else 0)
            if ext:
                extra += record[at + 0x5C8 + offset:at + 0x5C8 + offset + size]
            slot += 1
        if slot < 8:
            struct.pack_into("<i", obj, 0x54 + slot * 12, -1)
        struct.pack_into("<i", obj, 0xC0, len(extra))
        out += bytes(obj) + bytes(extra)
        at += 0x5C8 + ext
    return out


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    data = SOURCE.read_bytes()
    name_at, size_at, record, end = timeline(data)
    old = older(record)
    (folder / "older.aup").write_bytes(data[:size_at] + struct.pack("<i", len(old)) + pack(old) + data[end:])
    (folder / "chinese.aup").write_bytes(data[:name_at] + CHINESE + data[name_at + len(CHINESE):])
    header = bytearray(36)
    header[0:4] = b"80EE"
    struct.pack_into("<iii", header, 4, 0x23F0, 1920, 1080)
    struct.pack_into("<i", header, 0x20, len(record))
    (folder / "backup.exedit_backup").write_bytes(bytes(header) + record)
    (folder / "chinese.exedit_backup").write_bytes(bytes(header) + chinese_type_name(record))
    for name, text in text_seeds().items():
        (folder / name).write_bytes(text)


def chinese_type_name(record):
    """The record with its first effect type named as the Chinese build names it."""
    scenes, layers = struct.unpack_from("<ii", record, 0x68)
    types_at = 0x100 + layers * 76 + scenes * 220 + struct.unpack_from("<i", record, 0x7C)[0] * 128
    name = "视频文件".encode("gbk").ljust(96, b"\0")
    return record[:types_at + 16] + name + record[types_at + 16 + 96:]


def text_seeds():
    """Text files: both builds' object files, CR line ends, and long lines."""
    path = "C:\\Users\\张三\\桌面\\clip.mp4"
    chinese = ("[exedit]\r\n[0]\r\n[0.0]\r\n_name=视频文件\r\nfile=" + path + "\r\n"
               "[0.1]\r\n_name=script\r\nparam=f=\"D:\\\\张三\\\\a.png\";\r\n").encode("gbk")
    japanese = ("[exedit]\r\n[0]\r\n[0.0]\r\n_name=動画ファイル\r\nfile=C:\\ソフト\\表.avi\r\n"
                "text=43003a005c00\r\n").encode("cp932")
    aviutl2 = ("[project]\rfile=C:\\Users\\taro\\a.aup2\r[0.0]\r"
               "テキスト=見て\\\\\\\\nas01\\\\taro\\\\c.mp4\\nC:/x\r").encode("utf-8")
    # Longer than the longest line read whole (128 KiB), and than the block
    # the input is read through (256 KiB).
    long_parameters = b"[exedit]\r\nwidth=" + b"1" * 100 + b"\r\nparam=f=\"C:\\\\a\\\\b.png\";" \
        + b"x" * (130 * 1024) + b"\r\n"
    long_file = b"[project]\nfile=D:\\" + b"y" * (300 * 1024) + b"\\a.png\n"
    return {"chinese.exo": chinese, "japanese.exo": japanese, "cr.aup2": aviutl2,
            "long-parameters.exo": long_parameters, "long.aup2": long_file}


if __name__ == "__main__":
    main()
