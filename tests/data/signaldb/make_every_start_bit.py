#!/usr/bin/env python3
"""Writes every_start_bit.dbc: for each byte order and each start bit 0-63 of
an 8-byte frame, one message with one signal that starts there, of a length
that still fits, signed and unsigned in turn. Run it again only to change
the file; the tests read the committed copy."""
import pathlib

lines = ['VERSION ""', "", "NS_ :", "", "BS_:", "", "BU_: Node", ""]
ident = 0x100
for order in (1, 0):  # Intel, Motorola
    for start in range(64):
        # Bits left from the start bit on, in the direction the order runs.
        room = 64 - start if order == 1 else 64 - ((start // 8) * 8 + 7 - start % 8)
        length = 1 + (start * 7 + 3) % room
        sign = "-" if start % 2 else "+"
        name = "%s%02d" % ("Intel" if order else "Motorola", start)
        lines.append("BO_ %d M_%s: 8 Node" % (ident, name))
        lines.append(" SG_ %s : %d|%d@%d%s (1,0) [0|0] \"\" Vector__XXX" % (name, start, length, order, sign))
        lines.append("")
        ident += 1
pathlib.Path(__file__).with_name("every_start_bit.dbc").write_text("\n".join(lines) + "\n", encoding="ascii")
