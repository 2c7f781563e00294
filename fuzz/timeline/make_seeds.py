#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_project into fuzz/seeds/project/ (run from anywhere)."""
import os
import struct

PARAM_COUNTS = [3, 4, 13, 2, 3, 8, 6]
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "seeds", "project")


def clip(kind, start, length, params=None):
    params = params or [0.0] * PARAM_COUNTS[kind]
    assert len(params) == PARAM_COUNTS[kind]
    return struct.pack("<iff", kind, start, length) + struct.pack("<%df" % len(params), *params)


def project(layers, order=range(16), tail=b""):
    out = b""
    for layer in order:
        clips = layers.get(layer, [])
        out += struct.pack("<bh", layer, len(clips)) + b"".join(clips)
    return out + tail


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        "empty": project({}),
        "single_box": project({3: [clip(1, 2.0, 1.0, [90.0, 0.0, 0.0, 1.0])]}),
        "every_type": project({k: [clip(k, float(k), 1.5)] for k in range(7)}),
        "mixed": project({
            0: [clip(2, 0.0, 30.0, [float(i) for i in range(13)]), clip(6, 1.0, 2.0)],
            5: [clip(3, 4.0, 8.0, [90.0, 256.0]), clip(5, 4.0, 8.0), clip(4, 4.0, 8.0)],
            15: [clip(0, -1.0, 0.0)],
        }),
        "reversed_with_tail": project({1: [clip(1, 0.5, 0.5)], 14: [clip(0, 1.0, 1.0)]},
                                      order=range(15, -1, -1), tail=b"\xff\xff\x07"),
        "special_floats": project({7: [
            struct.pack("<i", 6) + struct.pack("<8I", 0x7FC01234, 0x80000000, 0x00000001,
                                               0x7F800000, 0xFF800001, 0x807FFFFF, 0x3F800000,
                                               0xFFFFFFFF)]}),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name + ".brz"), "wb") as f:
            f.write(data)
        print(name, len(data))


if __name__ == "__main__":
    main()
