#!/usr/bin/env python3
"""Writes the demo base image workspace/MASTER/SX58316.sx.

The image is not device firmware: its S0 header says so, its "code" is
pseudo-random filler. It has what the merge needs: S2 records that cover the
address ranges of bank 1 (0x388000-0x38BFFF) and bank 2 (0x398000-0x39BFFF),
records elsewhere that must come through unchanged, and an S9 end record.
"""
import os

HEADER = b"SX58316 DEMO IMAGE - NOT DEVICE FIRMWARE - DO NOT FLASH"


def record(kind, address, data, address_bytes):
    body = bytes([address_bytes + len(data) + 1]) + address.to_bytes(address_bytes, "big") + data
    checksum = 0xFF - (sum(body) & 0xFF)
    return kind + (body + bytes([checksum])).hex().upper()


def filler(seed, count):
    """Deterministic bytes that look like code."""
    out = bytearray()
    state = seed
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return bytes(out)


def block(first, size, data):
    lines = []
    for offset in range(0, size, 32):
        lines.append(record("S2", first + offset, data[offset:offset + 32], 3))
    return lines


def main():
    lines = [record("S0", 0, HEADER, 2)]
    # A few 16-bit records: start-up code in low memory.
    low = filler(7, 64)
    lines += [record("S1", 0x0400 + i, low[i:i + 16], 2) for i in range(0, 64, 16)]
    lines += block(0x380000, 0x800, filler(11, 0x800))       # code
    lines += block(0x388000, 0x4000, b"\xFF" * 0x4000)        # bank 1, unconfigured
    lines += block(0x390000, 0x400, filler(13, 0x400))        # code
    lines += block(0x398000, 0x4000, b"\xFF" * 0x4000)        # bank 2, unconfigured
    lines += block(0x3FFF80, 0x80, filler(17, 0x80))          # vectors
    lines.append("S9030000FC")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "workspace", "MASTER", "SX58316.sx")
    with open(path, "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))


if __name__ == "__main__":
    main()
