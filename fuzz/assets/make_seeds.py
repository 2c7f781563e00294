#!/usr/bin/env python3
"""Writes the small seed files of the bmp and 3ds fuzz targets into fuzz/seeds/."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "seeds")


def bmp(width, height, bits, pixels, compression=0, palette=(), masks=(), core=False, file_header=True, clr_used=0):
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(struct.pack("<BBB", c & 255, (c >> 8) & 255, c >> 16) for c in palette)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels), 2835, 2835, clr_used, 0)
        info += b"".join(struct.pack("<I", m) for m in masks)
        table = b"".join(struct.pack("<BBBB", c & 255, (c >> 8) & 255, c >> 16, 0) for c in palette)
    body = info + table
    if not file_header:
        return body + pixels
    off = 14 + len(body)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + body + pixels


def chunk(cid, *parts):
    body = b"".join(parts)
    return struct.pack("<HI", cid, len(body) + 6) + body


def vertices(vs):
    return chunk(0x4110, struct.pack("<H", len(vs)), *(struct.pack("<fff", *v) for v in vs))


def faces(fs, *sub):
    return chunk(0x4120, struct.pack("<H", len(fs)), *(struct.pack("<HHHH", *f, 7) for f in fs), *sub)


def mapping(uvs):
    return chunk(0x4140, struct.pack("<H", len(uvs)), *(struct.pack("<ff", *uv) for uv in uvs))


def obj(name, *mesh):
    return chunk(0x4000, name.encode() + b"\0", chunk(0x4100, *mesh))


def main3ds(*objects, extra=b""):
    return chunk(0x4D4D, chunk(0x0002, struct.pack("<I", 3)), chunk(0x3D3D, *objects), extra)


def write(folder, name, data):
    path = os.path.join(ROOT, folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


grey = [0x10101 * i for i in range(256)]
write("bmp", "rgb24_5x2.bmp", bmp(5, 2, 24, bytes(range(15)) + b"\0" + bytes(range(100, 115)) + b"\0"))
write("bmp", "pal8_core.bmp", bmp(3, 2, 8, bytes([0, 1, 2, 0, 2, 1, 0, 0]), palette=grey, core=True))
write("bmp", "pal8_packed16.dib", bmp(3, 2, 8, bytes([1, 15, 16, 0, 9, 2, 1, 0]), palette=grey[:16], clr_used=16, file_header=False))
write("bmp", "mono_topdown.bmp", bmp(10, -2, 1, bytes([0xB0, 0x40, 0, 0, 0x0F, 0xC0, 0, 0]), palette=[0, 0xFFFFFF]))
write("bmp", "pal4.bmp", bmp(3, 1, 4, bytes([0xA3, 0xA0, 0, 0]), palette=grey[:16]))
write("bmp", "rle8.bmp", bmp(4, 3, 8, bytes([3, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 0, 0, 2, 2, 0, 9, 2, 0, 1]), compression=1, palette=grey))
write("bmp", "rle4.bmp", bmp(4, 1, 4, bytes([3, 0x12, 0, 3, 0x21, 0, 0, 1]), compression=2, palette=grey[:16]))
write("bmp", "rgb565.bmp", bmp(2, 1, 16, bytes([0xE0, 0x07, 0x10, 0x84]), compression=3, masks=(0xF800, 0x07E0, 0x1F)))
write("bmp", "bgrx32.bmp", bmp(1, 2, 32, bytes([1, 2, 3, 99, 4, 5, 6, 99])))

tri = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
write("3ds", "triangle.3ds", main3ds(obj("Tri", vertices(tri), faces([(0, 1, 2)]), mapping([(0.5, 1), (0, 0), (1, 0.25)]))))
write("3ds", "two_objects.3ds", main3ds(
    chunk(0xAFFF, b"A" * 20),
    obj("One", vertices(tri + [(0, 0, -1)]), faces([(0, 1, 2), (0, 3, 2)], chunk(0x4150, b"\0" * 8))),
    obj("Two", vertices(tri), faces([(2, 1, 0)])),
    chunk(0x4000, b"Lamp\0", chunk(0x4600, b"\0" * 12)),
    extra=chunk(0xB000, chunk(0xB002, b"\0" * 10))))
write("3ds", "cube.3ds", main3ds(obj("Cube",
    vertices([(x, y, z) for x in (0, 1) for y in (0, 1) for z in (0, 1)]),
    faces([(0, 1, 3), (0, 3, 2), (4, 6, 7), (4, 7, 5), (0, 4, 5), (0, 5, 1), (2, 3, 7), (2, 7, 6), (0, 2, 6), (0, 6, 4), (1, 5, 7), (1, 7, 3)]))))
