#!/usr/bin/env python3
"""Writes the fuzzer's seed: a 28 KiB NTFS volume with 512-byte clusters, an MFT of 20 records at
cluster 8 (record 0 maps it, record 5 is the root), a resident file, a folder and a non-resident file
in it, with a hard link and an 8.3 alias, every record in its protected (fixed-up) form.

    fuzz/make_seed.py fuzz/corpus/ntfs/small-volume"""
import struct
import sys

CLUSTER, MFT_CLUSTER, RECORDS, TOTAL_CLUSTERS = 512, 8, 20, 56


def attribute(kind, value, name_length=0):
    length = (0x18 + len(value) + 7) // 8 * 8
    header = struct.pack("<IIBBHHHIH", kind, length, 0, name_length, 0x18, 0, 0, len(value), 0x18) + b"\0\0"
    return (header + value).ljust(length, b"\0")


def non_resident(runs, size):
    length = (0x40 + len(runs) + 7) // 8 * 8
    header = struct.pack("<IIBBHHHQQHH4sQQQ", 0x80, length, 1, 0, 0x40, 0, 0, 0, 0, 0x40, 0, b"\0" * 4,
                         size, size, size)
    return (header + runs).ljust(length, b"\0")


def file_name(parent, name, space=1):
    encoded = name.encode("utf-16-le")
    # Every record here has sequence number 1, and a parent reference carries it.
    return struct.pack("<Q", (1 << 48) | parent) + b"\0" * 0x38 + bytes([len(name), space]) + encoded


def record(attributes, flags=1):
    body = b"".join(attributes) + struct.pack("<I", 0xFFFFFFFF) + b"\0" * 4
    header = b"FILE" + struct.pack("<HHQHHHHII", 0x30, 3, 0, 1, 1, 0x38, flags, 0x38 + len(body), 1024)
    data = bytearray((header.ljust(0x38, b"\0") + body).ljust(1024, b"\0"))
    number = b"\xCD\xAB"
    data[0x30:0x32] = number
    for i in (1, 2):  # each stride's last two bytes go to the array; the number takes their place
        data[0x30 + 2 * i:0x32 + 2 * i] = data[i * 512 - 2:i * 512]
        data[i * 512 - 2:i * 512] = number
    return bytes(data)


volume = bytearray(TOTAL_CLUSTERS * CLUSTER)
boot = bytearray(512)
boot[3:11] = b"NTFS    "
struct.pack_into("<HB", boot, 0x0B, 512, 1)
struct.pack_into("<QQ", boot, 0x28, TOTAL_CLUSTERS, MFT_CLUSTER)
boot[0x40] = 0xF6  # 1 KiB records
boot[0x1FE:0x200] = b"\x55\xAA"
volume[:512] = boot
records = {
    0: record([non_resident(bytes([0x11, RECORDS * 2, MFT_CLUSTER, 0]), RECORDS * 1024)]),
    5: record([attribute(0x30, file_name(5, "."))], flags=3),
    16: record([attribute(0x30, file_name(5, "a.txt")), attribute(0x80, b"0123456789")]),
    17: record([attribute(0x30, file_name(5, "folder"))], flags=3),
    18: record([attribute(0x30, file_name(17, "Long name.bin")), attribute(0x30, file_name(17, "LONGNA~1.BIN", 2)),
                attribute(0x30, file_name(5, "second name", 0)), non_resident(bytes([0x11, 2, 48, 0]), 1000)]),
}
for number, data in records.items():
    at = MFT_CLUSTER * CLUSTER + number * 1024
    volume[at:at + 1024] = data
with open(sys.argv[1], "wb") as f:
    f.write(volume)
