#!/usr/bin/python3
"""What python3-canmatrix reads in a DBC file, for the signaldb tests to compare with.

  canmatrix_oracle.py describe FILE ENCODING SEED FACTS
  canmatrix_oracle.py random SEED MESSAGES ENCODING DBC FACTS

"random" first writes DBC, a database of random messages, with canmatrix.
Both then load the DBC with canmatrix (dbcImportEncoding=ENCODING) and write
FACTS, one line per item, fields separated by tabs, texts as the hex of their
UTF-8 ("-" for none):

  M  raw-id extended size name cycle-time transmitters comment fd
  S  name start-bit(DBC) size little-endian signed float-bits factor offset min max unit receivers mux comment
  V  value text                       (value table of the signal before)
  D  data raw...                      (frame.unpack of random data; "x": the signal does not fit)
  E  data raw...                      (frame.encode of random raw values gives data)

Numbers are Python reprs; D and E follow the S lines of their message.
"""
import random
import struct
import sys

import canmatrix
import canmatrix.formats


def text(value):
    value = "" if value is None else str(value)
    return value.encode("utf-8").hex() if value else "-"


def fits(sig, size):
    # canmatrix keeps Motorola start bits in its own numbering, counting
    # from the most significant bit of byte 0: both orders run on from it.
    return sig.start_bit + sig.size <= size * 8 and sig.size >= 1


def bits_of(sig):
    if sig.is_little_endian:
        return {sig.start_bit + i for i in range(sig.size)}
    return {(p // 8) * 8 + 7 - p % 8 for p in range(sig.start_bit, sig.start_bit + sig.size)}


def random_raw(rng, sig):
    if sig.is_float:
        while True:
            if sig.size == 32:
                value = struct.unpack("<f", rng.randbytes(4))[0]
            else:
                value = struct.unpack("<d", rng.randbytes(8))[0]
            if value == value and abs(value) != float("inf"):
                return value
    if sig.is_signed:
        return rng.randrange(-(1 << (sig.size - 1)), 1 << (sig.size - 1))
    return rng.randrange(0, 1 << sig.size)


def describe_frame(frame, rng, out):
    cycle = frame.cycle_time or 0
    out.append(["M", frame.arbitration_id.id, int(frame.arbitration_id.extended), frame.size, text(frame.name),
                cycle, text(",".join(frame.transmitters)), text(frame.comment), int(bool(frame.is_fd))])
    for sig in frame.signals:
        mux = "-"
        if sig.is_multiplexer:
            mux = "M"
        elif sig.multiplex is not None and sig.multiplex != "Multiplexor":
            mux = str(sig.multiplex)
        out.append(["S", text(sig.name), sig.get_startbit(bit_numbering=1), sig.size, int(sig.is_little_endian),
                    int(sig.is_signed), sig.size if sig.is_float else 0, repr(float(sig.factor)),
                    repr(float(sig.offset)), repr(float(sig.min)), repr(float(sig.max)), text(sig.unit),
                    text(",".join(sig.receivers)), mux, text(sig.comment)])
        for value in sorted(sig.values):
            out.append(["V", int(value), text(sig.values[value])])
    if frame.size == 0:
        return
    for _ in range(8):
        data = rng.randbytes(frame.size)
        decoded = frame.unpack(data)
        out.append(["D", data.hex()] +
                   [repr(decoded[s.name].raw_value) if fits(s, frame.size) else "x" for s in frame.signals])
    taken = set()
    for sig in frame.signals:
        if not fits(sig, frame.size) or sig.multiplex is not None or bits_of(sig) & taken:
            return  # encode only frames whose signals are all in place, apart
        taken |= bits_of(sig)
    for _ in range(8):
        raws = [random_raw(rng, s) for s in frame.signals]
        data = frame.encode({s.name: raw for s, raw in zip(frame.signals, raws)})
        out.append(["E", bytes(data).hex()] + [repr(raw) for raw in raws])


def describe(path, encoding, seed, facts):
    rng = random.Random(seed)
    db = canmatrix.formats.loadp_flat(path, dbcImportEncoding=encoding)
    out = []
    for frame in db.frames:
        describe_frame(frame, rng, out)
    with open(facts, "w", encoding="ascii") as f:
        for fields in out:
            f.write("\t".join(str(x) for x in fields) + "\n")


FACTORS = ["1", "0.1", "0.125", "0.01", "2.5", "0.0625", "0.00001", "3", "-0.5", "0.05"]
OFFSETS = ["0", "0", "-40", "0.5", "100", "-273.15", "1000"]
NODES = ["ECU1", "Gateway", "Dash"]


def units(encoding):
    common = ["", "", "\u00b0C", "km/h", "%", "rpm", "\u00b5s"]
    return common + (["\u03a9", "\u20ac", "m\u00b3/h"] if encoding.startswith("utf") else ["\u20ac", "m\u00b3/h"])


def place_signal(rng, frame, taken, index, encoding):
    size = frame.size * 8
    for _ in range(20):
        length = rng.choice([1, 1, 2, 3, 4, 7, 8, 8, 10, 12, 16, 16, 24, 32, 32, 64])
        if length > size:
            continue
        little = rng.random() < 0.5
        start = rng.randrange(0, size - length + 1)
        # Names past 32 characters: canmatrix writes them cut, with the whole one as a long-name attribute.
        name = "S%d_%d" % (index, length) + ("_with_a_name_longer_than_the_format_keeps" if rng.random() < 0.1 else "")
        sig = canmatrix.Signal(name, start_bit=start, size=length, is_little_endian=little,
                               is_signed=rng.random() < 0.5, factor=rng.choice(FACTORS),
                               offset=rng.choice(OFFSETS), unit=rng.choice(units(encoding)),
                               receivers=rng.sample(NODES, rng.randrange(0, 3)))
        if length in (32, 64) and rng.random() < 0.3:
            sig.is_float = True
            sig.is_signed = True
        if bits_of(sig) & taken:
            continue
        taken |= bits_of(sig)
        sig.min, sig.max = sig.calc_min(), sig.calc_max()
        if rng.random() < 0.3:
            for v in rng.sample(range(-3 if sig.is_signed else 0, 8), 3):
                sig.add_values(v, rng.choice(["off", "on", 'a "quoted" state', "err; 2", "\u00b0 high"]))
        if rng.random() < 0.3:
            sig.add_comment(rng.choice(["a comment", 'with "quotes" and ; semicolon', "two\nlines"]))
        return sig
    return None


def random_frame(rng, n, used, encoding):
    extended = rng.random() < 0.3
    while True:
        ident = rng.randrange(1 << 29) if extended else rng.randrange(1 << 11)
        if (ident, extended) not in used:
            used.add((ident, extended))
            break
    name = "Msg%d" % n + ("_whose_name_is_longer_than_a_dbc_name" if rng.random() < 0.1 else "")
    frame = canmatrix.Frame(name, arbitration_id=canmatrix.ArbitrationId(ident, extended=extended),
                            size=rng.randint(1, 8), transmitters=rng.sample(NODES, rng.randrange(0, 2)))
    frame.is_fd = rng.random() < 0.1  # a CAN FD frame of 8 bytes or fewer
    if rng.random() < 0.5:
        frame.cycle_time = rng.choice([10, 20, 100, 1000])
    if rng.random() < 0.3:
        frame.add_comment(rng.choice(["frame comment", 'a "quoted" frame']))
    taken = set()
    if rng.random() < 0.15 and frame.size >= 2:
        mux = canmatrix.Signal("Mux", start_bit=0, size=4, is_little_endian=True, is_signed=False,
                               multiplex="Multiplexor")
        frame.add_signal(mux)
        for value in (1, 2):
            frame.add_signal(canmatrix.Signal("Muxed%d" % value, start_bit=8, size=8, is_little_endian=True,
                                              is_signed=False, multiplex=value))
        return frame
    for i in range(rng.randint(0, 6)):
        sig = place_signal(rng, frame, taken, i, encoding)
        if sig is not None:
            frame.add_signal(sig)
    return frame


def random_database(seed, count, encoding, dbc, facts):
    rng = random.Random(seed)
    db = canmatrix.CanMatrix()
    for node in NODES:
        db.add_ecu(canmatrix.Ecu(node))
    used = set()
    for n in range(count):
        db.add_frame(random_frame(rng, n, used, encoding))
    canmatrix.formats.dumpp({"": db}, dbc, dbcExportEncoding=encoding)
    describe(dbc, encoding, seed, facts)


if __name__ == "__main__":
    if sys.argv[1] == "describe":
        describe(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    else:
        random_database(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6])
