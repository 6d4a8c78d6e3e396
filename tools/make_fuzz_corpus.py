#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus into fuzz/corpus/<entry>/.

Usage, from the source tree's root: tools/make_fuzz_corpus.py
BMPs of every depth are written by ImageMagick's convert (Debian package
imagemagick); the rest (top-down and bit-field BMPs, raw dumps, the text
entry's inputs, whose layout is described in fuzz/entries.cpp) is made here.
Every picture is drawn from a seeded generator, so a run gives the same files.
"""
import os
import random
import shutil
import struct
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
BMP_ENTRIES = ["bmp_into_fresh_image", "bmp_into_formed_image", "bmp_onto_screen"]


def picture(width, height, colours, alpha, seed):
    rng = random.Random(seed)
    palette = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(colours)]
    pixels = []
    for _ in range(width * height):
        r, g, b = rng.choice(palette)
        pixels.append((r, g, b, rng.randrange(256) if alpha else 255))
    return pixels


def write_pam(path, width, height, pixels, alpha):
    depth, kind = (4, "RGB_ALPHA") if alpha else (3, "RGB")
    with open(path, "wb") as f:
        f.write(f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH {depth}\nMAXVAL 255\nTUPLTYPE {kind}\nENDHDR\n".encode())
        for p in pixels:
            f.write(bytes(p[:depth]))


def convert(source, args, output):
    subprocess.run(["convert", source, *args, output], check=True)


def bmp(width, height, bits, rows, palette=(), masks=(), compression=0):
    """A BMP with the 40-byte header; rows top to bottom, already packed."""
    row_bytes = (width * bits + 31) // 32 * 4
    offset = 54 + 4 * len(masks) + 4 * len(palette)
    body = b"".join(r.ljust(row_bytes, b"\0") for r in (rows if height < 0 else reversed(rows)))
    header = b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(body), 2835, 2835, 0, 0)
    extra = b"".join(struct.pack("<I", m) for m in masks) + b"".join(struct.pack("<I", p) for p in palette)
    return header + info + extra + body


def bmp_seeds(work):
    seeds = {}
    w, h = 9, 4
    for name, colours, alpha, args in [
        ("magick_1bit.bmp", 2, False, ["-type", "bilevel"]),
        ("magick_4bit.bmp", 12, False, ["-type", "palette", "-compress", "none"]),
        ("magick_8bit.bmp", 40, False, ["-type", "palette", "-compress", "none"]),
        ("magick_8bit_rle.bmp", 40, False, ["-type", "palette", "-compress", "rle"]),
        ("magick_24bit.bmp", 36, False, ["-type", "truecolor"]),
        ("magick_32bit.bmp", 36, True, ["-define", "bmp3:alpha=true"]),
    ]:
        source = os.path.join(work, name + ".pam")
        write_pam(source, w, h, picture(w, h, colours, alpha, len(seeds) + 1), alpha)
        out = os.path.join(work, name)
        convert(source, args, "BMP3:" + out)
        seeds[name] = open(out, "rb").read()
    source = os.path.join(work, "v5.pam")
    write_pam(source, 3, 2, picture(3, 2, 6, False, 99), False)
    convert(source, ["-type", "truecolor"], "BMP:" + os.path.join(work, "v5.bmp"))
    seeds["magick_v5_header.bmp"] = open(os.path.join(work, "v5.bmp"), "rb").read()

    rng = random.Random(7)
    rows24 = [bytes(rng.randrange(256) for _ in range(3 * 5)) for _ in range(3)]
    seeds["top_down_24bit.bmp"] = bmp(5, -3, 24, rows24)
    rows32 = [bytes(rng.randrange(256) for _ in range(4 * 3)) for _ in range(2)]
    seeds["bit_fields_32bit.bmp"] = bmp(3, 2, 32, rows32, masks=(0xFF0000, 0xFF00, 0xFF), compression=3)
    seeds["height_0.bmp"] = bmp(4, 0, 24, [])
    rows4 = [bytes([0x01, 0x23, 0x40]) for _ in range(2)]
    seeds["4bit_short_palette.bmp"] = bmp(5, 2, 4, rows4, palette=(0x112233, 0x445566, 0x778899))
    seeds["raw_dump_fd.raw"] = bytes([0xFD, 0, 0, 0, 0, 24, 0]) + bytes(range(24))
    seeds["raw_dump_fe.raw"] = bytes([0xFE, 40, 0, 0, 0]) + bytes(range(100, 130))
    return seeds


def text_input(flags, font_width, font_height, x, y, mode, colour, text, first, last, widths, extra_pitch=0, seed=1):
    rng = random.Random(seed)
    long_form = flags & 4
    pitch = font_width * 4 + (extra_pitch if long_form else 0)
    pixels = bytearray(rng.randrange(256) for _ in range(pitch * font_height))
    for i in range(0, len(pixels), 8):  # some transparent-key pixels
        pixels[i:i + 4] = b"\xff\x00\xff\x80"
    header = bytes([0, first, last]) + bytes(widths)
    pixels[:len(header)] = header
    params = bytes([flags, font_width, font_height, extra_pitch]) + struct.pack("<hhB", x * 2, y * 2, mode)
    params += struct.pack("<I", colour) + bytes([len(text)])
    return params + text + bytes(pixels)


def text_seeds():
    widths_8 = [2] * 96
    varied = [(c * 7) % 13 for c in range(26)]
    return {
        "short_form_transparent": text_input(0, 192, 18, 3, 5, 0, 0, b"Hello, World!", 32, 127, widths_8),
        "long_form_copy": text_input(4, 192, 18, -4, 470, 1, 0, b"cut at the bottom", 32, 127, widths_8, 12),
        "first_after_last_blend": text_input(0, 192, 9, 630, -3, 4, 66, b"swap", 127, 32, widths_8),
        "varied_widths_add": text_input(4, 80, 12, -20, 7, 3, 255, b"AZWEQ\x01\xff", 65, 90, varied, 4),
        "screen_target_alpha": text_input(16, 192, 18, 600, 200, 2, 0, b"screen", 32, 127, widths_8),
        "builtin_font": text_input(64, 8, 4, -3, 2, 0, 0xFF7F7FD7, b"built-in \xdb", 0, 0, []),
        "builtin_font_foreground": text_input(64 | 128, 8, 4, 20, 18, 0, 0, b"fg", 0, 0, []),
        "version_1": text_input(0, 32, 6, 0, 0, 0, 0, b"v", 32, 40, [4] * 9, seed=3),
        "cut_block": text_input(8 | 4, 32, 6, 0, 0, 1, 0, b"cut", 32, 40, [4] * 9, 20),
        "font_is_target": text_input(32, 64, 10, 0, 2, 1, 0, b"self", 100, 120, [3] * 21),
    }


def main():
    with tempfile.TemporaryDirectory() as work:
        bmps = bmp_seeds(work)
    corpora = {entry: bmps for entry in BMP_ENTRIES}
    corpora["text_with_font_image"] = text_seeds()
    for entry, seeds in corpora.items():
        folder = os.path.join(CORPUS, entry)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        print(f"{folder}: {len(seeds)} files")


if __name__ == "__main__":
    main()
