#!/usr/bin/python3
"""The independent writer and reader of CAN logs for the reader tests.

python-can (Debian's python3-can) writes the same random frames, the last
few three decades after the others, as a candump log, Vector ASC, Vector BLF
(zlib-compressed and stored containers) and PEAK TRC 2.1, each with what its
writer supports, then reads every file back with
its own LogReader and writes what it read, one frame a line:

    TIME CHANNEL ID EXTENDED REMOTE ERROR FD BRS ESI DATA

TIME in seconds with six decimals, flags as 0/1, DATA as hex ("-" for none).
The tests read the same files with vestrel's reader and compare.

    python_can_oracle.py OUT_DIR [FRAMES]
"""
import os
import random
import sys

import can

FD_LENGTHS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64]


def frames(count, seed):
    rnd = random.Random(seed)
    time = 1733661931.0
    out = []
    for _ in range(count):
        time += rnd.randint(1, 5000) / 1e6
        kind = rnd.random()
        extended = rnd.random() < 0.3
        ident = rnd.randrange(1 << 29) if extended else rnd.randrange(1 << 11)
        channel = rnd.randrange(2)
        if kind < 0.05:
            out.append(can.Message(timestamp=time, is_error_frame=True, channel=channel))
        elif kind < 0.15:
            out.append(can.Message(timestamp=time, arbitration_id=ident, is_extended_id=extended,
                                   is_remote_frame=True, dlc=rnd.randrange(9), channel=channel))
        elif kind < 0.3:
            length = rnd.choice(FD_LENGTHS[1:])
            out.append(can.Message(timestamp=time, arbitration_id=ident, is_extended_id=extended, is_fd=True,
                                   bitrate_switch=rnd.random() < 0.5, error_state_indicator=rnd.random() < 0.3,
                                   data=bytes(rnd.randrange(256) for _ in range(length)), channel=channel))
        else:
            length = rnd.randrange(9)
            out.append(can.Message(timestamp=time, arbitration_id=ident, is_extended_id=extended,
                                   data=bytes(rnd.randrange(256) for _ in range(length)), channel=channel))
    # A few frames 31.7 years on: BLF stamps in 1 ns above 9.2e17, TRC
    # offsets of 13 digits of milliseconds.
    for k in range(3):
        out.append(can.Message(timestamp=time + 1e9 + k / 1000, arbitration_id=0x181, is_extended_id=False,
                               data=bytes([k, 1, 2]), channel=0))
    return out


def supported(name, msg):
    if name == "python.trc":  # python-can writes classic data frames only to TRC
        return not (msg.is_error_frame or msg.is_remote_frame or msg.is_fd)
    return True


def dump(path, out):
    with open(out, "w") as f:
        for m in can.LogReader(path):
            data = "-" if m.is_remote_frame or m.is_error_frame or not m.data else bytes(m.data).hex().upper()
            f.write("%.6f %s %X %d %d %d %d %d %d %s\n" % (
                m.timestamp, m.channel, m.arbitration_id, m.is_extended_id, m.is_remote_frame, m.is_error_frame,
                m.is_fd, m.bitrate_switch, m.error_state_indicator, data))


def main():
    out_dir = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    messages = frames(count, 15)
    writers = {
        "python.log": lambda p: can.CanutilsLogWriter(p),
        "python.asc": lambda p: can.ASCWriter(p),
        "python.blf": lambda p: can.BLFWriter(p),
        "python-stored.blf": lambda p: can.BLFWriter(p, compression_level=0),
        "python.trc": lambda p: can.TRCWriter(p),
    }
    for name, make in writers.items():
        path = os.path.join(out_dir, name)
        writer = make(path)
        for m in messages:
            if supported(name, m):
                writer.on_message_received(m)
        writer.stop()
        dump(path, path + ".read")


if __name__ == "__main__":
    main()
