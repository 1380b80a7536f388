#!/usr/bin/env python3
"""Writes the CAN log fixtures of this folder, byte for byte, by hand.

They cover what python-can cannot write (the reader tests let python-can
write the rest at test time). Each is written from a published description
of its format, named above its function and in the file itself where the
format has comments:

  trc_1_1.trc, trc_1_2.trc, trc_1_3.trc, trc_2_0.trc, trc_2_1.trc
      PEAK-System Technik, "PEAK CAN TRC File Format" (the description of
      TRC versions 1.0 to 2.1 that PEAK publishes with PCAN-View), and
      PEAK's forum note "PCAN Explorer and GPRS Link" on ;$STARTTIME and RTR.
  asc_9_decimals.asc, asc_events.asc
      Vector Informatik, "CAN, Log & Trigger ASC Logging Format"
      document (1.4.6): header, CAN events, CAN FD events and their
      flags, bus events; time stamps with nine decimals as some exporters
      write them, and the comment a split log starts with.
  blf_can_message2.blf, blf_time_units.blf
      The BLF object layouts as the vector_blf library documents them
      (Vector::BLF::FileStatistics, ObjectHeaderBase, ObjectHeader and
      ObjectHeader2, LogContainer, CanMessage2, CanFdMessage64,
      CanErrorFrameExt, AppText; man pages Vector_BLF_*(3)), and Wireshark's
      wiretap/blf.h (blf_canmessage2_trailer).

Run it from anywhere; it writes next to itself.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def crlf(lines):
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def trc_1_1():
    # Version 1.1: number with ')', offset in ms with one decimal, type
    # (Rx, Tx, Warng, Error), id of 4 (11-bit) or 8 (29-bit) hex digits,
    # length, data or RTR.
    write("trc_1_1.trc", crlf([
        ";$FILEVERSION=1.1",
        ";$STARTTIME=45634.4166666667",
        ";",
        ";   Written by hand from PEAK-System's \"PEAK CAN TRC File Format\", version 1.1",
        ";   Start time: 09.12.2024 10:00:00.000.0",
        ";-------------------------------------------------------------------------------",
        ";   Message Number",
        ";   |         Time Offset (ms)",
        ";   |         |        Type",
        ";   |         |        |        ID (hex)",
        ";   |         |        |        |     Data Length Code",
        ";   |         |        |        |     |   Data Bytes (hex) ...",
        ";   |         |        |        |     |   |",
        ";---+--   ----+----  --+--  ----+---  +  -+ -- -- -- -- -- -- --",
        "     1)      1059.9  Rx         0181  8  00 01 00 00 03 E8 00 10",
        "     2)      1060.1  Warng  FFFFFFFF  4  00 00 00 08  BUSHEAVY",
        "     3)      1061.3  Tx     18FF0001  2  11 22",
        "     4)      1063.6  Rx         0281  4  00 19 00 20",
        "     5)      7468.9  Tx         0181  8  RTR",
    ]))


def trc_1_2():
    # Version 1.2: the bus after the offset, no reserved column yet.
    write("trc_1_2.trc", crlf([
        ";$FILEVERSION=1.2",
        ";$STARTTIME=45634.4166666667",
        ";",
        ";   Written by hand from PEAK-System's \"PEAK CAN TRC File Format\", version 1.2",
        ";-------------------------------------------------------------------------------",
        ";   Message Number",
        ";   |         Time Offset (ms)",
        ";   |         |       Bus",
        ";   |         |       |    Type",
        ";   |         |       |    |       ID (hex)",
        ";   |         |       |    |       |    Data Length Code",
        ";   |         |       |    |       |    |   Data Bytes (hex) ...",
        ";   |         |       |    |       |    |   |",
        ";---+-- ------+------ +- --+-- ----+--- +  -+ -- -- -- -- -- -- --",
        "     1)      1841.212 1  Rx        0181 8  00 01 00 00 03 E8 00 10",
        "     2)      1842.003 2  Rx        0281 4  00 19 00 20",
        "     3)      1842.500 1  Warng FFFFFFFF 4  00 00 00 08  BUSHEAVY",
        "     4)      1843.500 1  Tx    18FF0001 2  11 22",
        "     5)      1844.100 2  Rx        0181 8  RTR",
    ]))


def trc_1_3():
    # Version 1.3: the bus after the offset (from 1.2), offsets with three
    # decimals, a reserved column '-' before the length.
    write("trc_1_3.trc", crlf([
        ";$FILEVERSION=1.3",
        ";$STARTTIME=45634.4166666667",
        ";",
        ";   Written by hand from PEAK-System's \"PEAK CAN TRC File Format\", version 1.3",
        ";-------------------------------------------------------------------------------",
        ";   Message Number",
        ";   |         Time Offset (ms)",
        ";   |         |       Bus",
        ";   |         |       |    Type",
        ";   |         |       |    |       ID (hex)",
        ";   |         |       |    |       |    Reserved",
        ";   |         |       |    |       |    |   Data Length Code",
        ";   |         |       |    |       |    |   |    Data Bytes (hex) ...",
        ";   |         |       |    |       |    |   |    |",
        ";---+-- ------+------ +- --+-- ----+--- +- -+-- -+ -- -- -- -- -- -- --",
        "     1)      1841.212 1  Rx        0181 -  8    00 01 00 00 03 E8 00 10",
        "     2)      1842.003 2  Rx        0281 -  4    00 19 00 20",
        "     3)      1843.500 1  Rx    18FF0001 -  2    11 22",
        "     4)      1844.100 1  Rx        0181 -  8    RTR",
    ]))


def trc_2_0():
    # Version 2.0: columns named by ;$COLUMNS; types DT (data), RR (remote
    # request), FD (CAN FD), ER (error frame, no id), ST (hardware status).
    write("trc_2_0.trc", crlf([
        ";$FILEVERSION=2.0",
        ";$STARTTIME=45634.4166666667",
        ";$COLUMNS=N,O,T,I,d,l,D",
        ";",
        ";   Written by hand from PEAK-System's \"PEAK CAN TRC File Format\", version 2.0",
        ";-------------------------------------------------------------------------------",
        ";   Message   Time    Type ID     Rx/Tx",
        ";   Number    Offset  |    [hex]  |  Data Length",
        ";   |         [ms]    |    |      |  |  Data [hex] ...",
        ";   |         |       |    |      |  |  |",
        ";---+-- ------+------ +- --+----- +- +- +- -- -- -- -- -- -- --",
        "      1      1059.900 DT     0181 Rx 8  00 01 00 00 03 E8 00 10",
        "      2      1283.231 DT 18FF0001 Rx 2  11 22",
        "      3      1298.945 RR     0181 Rx 8",
        "      4      1334.416 FD     0181 Tx 12 00 01 02 03 04 05 06 07 08 09 0A 0B",
        "      5      1334.500 ER          Rx 04 00 02 00 00",
        "      6      1335.000 ST          Rx 00 00 00 08",
    ]))


def trc_2_1():
    # Version 2.1: the bus (B), a reserved column (R) and the data length
    # code (L) instead of the length; FB, FE and BI are CAN FD frames with
    # the bit rate switch, the error state indicator or both.
    write("trc_2_1.trc", crlf([
        ";$FILEVERSION=2.1",
        ";$STARTTIME=45634.4166666667",
        ";$COLUMNS=N,O,T,B,I,d,R,L,D",
        ";",
        ";   Written by hand from PEAK-System's \"PEAK CAN TRC File Format\", version 2.1",
        ";-------------------------------------------------------------------------------",
        ";   Message   Time    Type    ID     Rx/Tx",
        ";   Number    Offset  |  Bus  [hex]  |  Reserved",
        ";   |         [ms]    |  |    |      |  |  Data Length Code",
        ";   |         |       |  |    |      |  |  |    Data [hex] ...",
        ";   |         |       |  |    |      |  |  |    |",
        ";---+-- ------+------ +- +- --+----- +- +- +--- +- -- -- -- -- -- -- --",
        "      1      1059.900 DT 1      0181 Rx -  8    00 01 00 00 03 E8 00 10",
        "      2      1283.231 RR 2      0281 Rx -  4",
        "      3      1298.945 FB 1      0181 Tx -  9    00 01 02 03 04 05 06 07 08 09 0A 0B",
        "      4      1300.000 BI 1  18FF0001 Rx -  1    AA",
        "      5      1301.000 EC 1           Rx -  0",
    ]))


def asc_9_decimals():
    write("asc_9_decimals.asc", "".join(line + "\n" for line in [
        "date Mon Dec 9 10:00:00.000 am 2024",
        "base hex  timestamps absolute",
        "internal events logged",
        "// Written by hand from Vector's \"CAN, Log & Trigger ASC Logging Format\" document,",
        "// with time stamps of nine decimals",
        "Begin Triggerblock Mon Dec 9 10:00:00.000 am 2024",
        "   0.000000000 Start of measurement",
        "   0.311250987 1  181             Rx   d 8 00 01 00 00 03 E8 00 10  Length = 240000 BitCount = 124 ID = 385",
        "   0.411250001 2  18FF0001x       Rx   d 2 11 22",
        "   0.500000999 1  181             Tx   r 8",
        "   0.600000000 CANFD   1 Rx        181                                   1 0 9 12 00 01 02 03 04 05 06 07 08 09 0A 0B   130000  130     3000 0 0 0 0 0",
        "   0.700000000 1  ErrorFrame",
        "   0.800000000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%",
        "End TriggerBlock",
    ]).encode("ascii"))


def asc_events():
    # What real exports hold besides frames: the comment of a log split into
    # files (no blank after "//"), events without a channel, bus statistics,
    # a classic remote frame on a CANFD line (flags 0x10, no EDL; DLC 8, no
    # data), and a CAN FD frame with BRS.
    write("asc_events.asc", "".join(line + "\n" for line in [
        "date Mon Dec 9 10:00:00.000 am 2024",
        "base hex  timestamps absolute",
        "internal events logged",
        "//0.000000 previous log file: Logging_002.asc",
        "// version 13.0.0",
        "Begin Triggerblock Mon Dec 9 10:00:00.000 am 2024",
        "   0.000000 Start of measurement",
        "   0.100000 1  181             Rx   d 2 00 01",
        "   0.150000 CAN 1 Status:chip status error active",
        "   0.200000 CANFD   1 Rx        181                                   0 0 8  0   42000  58     10 0 0 0 0 0",
        "   0.300000 CANFD   2 Tx        281   Motor                           1 0 2  2 11 22   12000  40     3000 0 2000 0 0 0",
        "   0.400000 1  Statistic: D 2 R 1 XD 0 XR 0 E 0 O 0 B 0.01%",
        "End TriggerBlock",
    ]).encode("ascii"))


# BLF ------------------------------------------------------------------------

LOGG_HEADER_SIZE = 144
CAN_MESSAGE2, LOG_CONTAINER, CAN_ERROR_EXT, APP_TEXT, CAN_FD_MESSAGE_64 = 86, 10, 73, 65, 101
TIME_TEN_MICS, TIME_ONE_NANS = 1, 2


def header_v1(obj_type, payload_size, stamp, unit=TIME_ONE_NANS):
    size = 32 + payload_size
    return struct.pack("<4sHHLL", b"LOBJ", 32, 1, size, obj_type) + struct.pack("<LHHQ", unit, 0, 0, stamp)


def header_v2(obj_type, payload_size, stamp_ns):
    size = 40 + payload_size
    return (struct.pack("<4sHHLL", b"LOBJ", 40, 2, size, obj_type)
            + struct.pack("<LBBHQQ", TIME_ONE_NANS, 0, 0, 0, stamp_ns, 0))


def pad(obj):
    return obj + b"\0" * (len(obj) % 4)


def can_message2(channel, flags, dlc, can_id, data, stamp_ns, version=1, unit=TIME_ONE_NANS):
    # channel, flags (0x80 remote), dlc, id (bit 31: extended), 8 data bytes,
    # then frame length in ns, bit count, two reserved fields.
    payload = struct.pack("<HBBL8sLBBH", channel, flags, dlc, can_id, data.ljust(8, b"\0"), 248000, 125, 0, 0)
    if version == 2:
        return pad(header_v2(CAN_MESSAGE2, len(payload), stamp_ns) + payload)
    return pad(header_v1(CAN_MESSAGE2, len(payload), stamp_ns, unit) + payload)


def can_fd_message64(channel, can_id, data, stamp_ns):
    # channel (1 byte), dlc, valid bytes, tx count, id, frame length, flags
    # (0x1000 EDL, 0x2000 BRS), bit rate configurations, offsets, bit count,
    # direction, ext data offset, crc; then the data.
    flags = 0x1000 | 0x2000
    payload = struct.pack("<BBBBLLLLLLLHBBL", channel, 9, len(data), 0, can_id, 0, flags, 0, 0, 0, 0, 0, 0, 0, 0) + data
    return pad(header_v1(CAN_FD_MESSAGE_64, len(payload), stamp_ns) + payload)


def can_error_ext(channel, stamp_ns):
    payload = struct.pack("<HHLBBBxLLH2x8s", channel, 0, 0, 0, 0, 0, 0, 0, 0, b"\0" * 8)
    return pad(header_v1(CAN_ERROR_EXT, len(payload), stamp_ns) + payload)


def app_text(text, stamp_ns):
    payload = struct.pack("<LLL4x", 0, 0, len(text)) + text
    return pad(header_v1(APP_TEXT, len(payload), stamp_ns) + payload)


def container(data, compress):
    body = zlib.compress(data) if compress else data
    method = 2 if compress else 0
    size = 32 + len(body)
    obj = struct.pack("<4sHHLL", b"LOBJ", 16, 1, size, LOG_CONTAINER) + struct.pack("<H6xL4x", method, len(data)) + body
    return pad(obj)


def file_header(file_size, objects):
    # SYSTEMTIME of the start: year, month, day of week, day, hour, minute,
    # second, milliseconds (local time of the recording machine).
    start = (2024, 12, 1, 9, 10, 0, 0, 250)
    head = struct.pack("<4sLBBBBBBBBQQLL8H8H", b"LOGG", LOGG_HEADER_SIZE, 5, 0, 0, 0, 2, 6, 8, 1,
                       file_size, 0, objects, 0, *start, *start)
    return head.ljust(LOGG_HEADER_SIZE, b"\0")


def blf_can_message2():
    objects = [
        can_message2(1, 0, 8, 0x181, bytes([0, 1, 0, 0, 3, 0xE8, 0, 0x10]), 1000000),
        can_message2(2, 0, 2, 0x80000000 | 0x18FF0001, b"\x11\x22", 2500000, version=2),
        app_text(b"a comment that is no frame", 2600000),
        can_message2(1, 0x80, 8, 0x181, b"", 3000000),
        can_fd_message64(1, 0x181, bytes(range(12)), 4000000),
        can_error_ext(1, 5000000),
        can_message2(1, 0x01, 4, 0x281, b"\x00\x19\x00\x20", 6000000),
    ]
    stream = b"".join(objects)
    # A stored container, then a compressed one; the fourth object begins in
    # the first and ends in the second.
    cut = len(b"".join(objects[:3])) + 20
    body = container(stream[:cut], False) + container(stream[cut:], True)
    write("blf_can_message2.blf", file_header(LOGG_HEADER_SIZE + len(body), len(objects)) + body)


def blf_time_units():
    # Time stamps in both units: 10 us (TIME_TEN_MICS) and 1 ns, the latter
    # far beyond what 10 us could hold in 64 bits after the multiplication
    # by ten; one of 10 us that does not fit; an identifier out of range in
    # a compressed container.
    stored = [
        can_message2(1, 0, 2, 0x181, b"\x00\x01", 12345, unit=TIME_TEN_MICS),             # 0.123450 s
        can_message2(1, 0, 2, 0x182, b"\x00\x02", 1_000_000_000_000_000_123),             # 1e9 s on
        can_message2(1, 0, 2, 0x183, b"\x00\x03", 1 << 62, unit=TIME_TEN_MICS),           # does not fit
        can_message2(2, 0, 2, 0x184, b"\x00\x04", 3_000_000_000, unit=TIME_TEN_MICS),     # 30000 s
    ]
    packed = [
        can_message2(1, 0, 1, 0x185, b"\x05", 500_000_000),
        can_message2(1, 0, 1, 0x800, b"\x06", 600_000_000),                                # 11 bits hold 0x7FF
        can_message2(1, 0, 1, 0x186, b"\x07", 70_000, unit=TIME_TEN_MICS),                # 0.7 s
    ]
    body = container(b"".join(stored), False) + container(b"".join(packed), True)
    write("blf_time_units.blf", file_header(LOGG_HEADER_SIZE + len(body), len(stored) + len(packed)) + body)


if __name__ == "__main__":
    trc_1_1()
    trc_1_2()
    trc_1_3()
    trc_2_0()
    trc_2_1()
    asc_9_decimals()
    asc_events()
    blf_can_message2()
    blf_time_units()
