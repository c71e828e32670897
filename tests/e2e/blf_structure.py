#!/usr/bin/env python3
"""Checks the structure of BLF files that readers skip over: header counts and sizes, the
containers (each but the last inflates to 131072 bytes, as its header says), the padding
after every object, and the frame objects in the stream (CAN_FD_MESSAGE_64 and LIN_MESSAGE,
v1 headers with nanosecond times in order).

    blf_structure.py FILE...    exit 0 when every file is sound, else 1 with the reason
"""
import datetime, struct, sys, zlib

PIECE = 131072
SIZES = {101: lambda body: 72 + body[2], 11: lambda body: 56}


class Unsound(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Unsound(what)


def system_time(fields):
    """Epoch milliseconds of a SYSTEMTIME in UTC, its day of week checked."""
    year, month, weekday, day, hour, minute, second, milli = fields
    t = datetime.datetime(year, month, day, hour, minute, second, tzinfo=datetime.timezone.utc)
    expect(t.isoweekday() % 7 == weekday, "day of week %d does not match %s" % (weekday, t))
    return int(t.timestamp()) * 1000 + milli


def objects(data, end, header_size, padded=True):
    """Yields (offset, type, object bytes) of the objects in data[:end], each followed by
    (size mod 4) zero bytes, the last ending at end."""
    pos = 0
    while pos < end:
        sig, hsize, version, size, kind = struct.unpack_from("<4sHHLL", data, pos)
        expect(sig == b"LOBJ" and version == 1, "no object header at %d" % pos)
        expect(hsize == header_size, "header size %d at %d" % (hsize, pos))
        padding = data[pos + size:pos + size + size % 4]
        expect(padding == bytes(size % 4) and pos + size + size % 4 <= end, "padding at %d" % pos)
        yield pos, kind, data[pos:pos + size]
        pos += size + size % 4


def read_blf(path):
    """Returns (start ms, [(type, time ns, body)]) or raises Unsound."""
    with open(path, "rb") as f:
        data = f.read()
    head = struct.unpack_from("<4sL8BQQLL8H8H", data)
    expect(head[0] == b"LOGG" and head[1] == 144, "no LOGG header of 144 bytes")
    expect(head[10] == len(data), "file size %d, header says %d" % (len(data), head[10]))
    stream, uncompressed, containers = b"", 144, data[144:]
    for pos, kind, obj in objects(containers, len(containers), 16):
        method, size = struct.unpack_from("<H6xL4x", obj, 16)
        expect(kind == 10 and method == 2, "container %d: type %d, method %d" % (pos, kind, method))
        piece = zlib.decompress(obj[32:])
        expect(len(piece) == size, "container %d inflates to %d, says %d" % (pos, len(piece), size))
        expect(len(stream) % PIECE == 0, "container before %d holds less than %d" % (pos, PIECE))
        stream += piece
        uncompressed += 32 + size
    expect(head[11] == uncompressed, "uncompressed size %d, header says %d" % (uncompressed, head[11]))
    frames, time = [], 0
    for pos, kind, obj in objects(stream, len(stream), 32):
        flags, client, version, time_ns = struct.unpack_from("<LHHQ", obj, 16)
        expect(flags == 2 and client == 0 and version == 0, "object %d: v1 fields" % pos)
        expect(kind in SIZES and len(obj) == SIZES[kind](obj[32:]), "object %d: type %d" % (pos, kind))
        expect(time_ns >= time, "object %d: time goes back" % pos)
        time = time_ns
        frames.append((kind, time_ns, obj[32:]))
    expect(head[12] == len(frames), "%d objects, header says %d" % (len(frames), head[12]))
    start, last = system_time(head[14:22]), system_time(head[22:30])
    expect(last == start + time // 1000000, "last time %d ms, objects end at %d" % (last, start + time // 1000000))
    return start, frames


def main():
    if not sys.argv[1:]:
        print("usage: blf_structure.py FILE...")
        return 1
    status = 0
    for path in sys.argv[1:]:
        try:
            _, frames = read_blf(path)
            print("%s: %d objects: sound" % (path, len(frames)))
        except (Unsound, struct.error, zlib.error, ValueError) as e:
            print("%s: %s" % (path, e))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
