#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Small bitmaps of every depth and coding the reader handles, a few damaged ones, small TGA files of every
image type, and profile texts in the shapes settings files take. Standard library only; the output is the
same on every run, so the corpora can be regenerated and compared.

    python3 fuzz/make_seeds.py            # writes beside this script
    python3 fuzz/make_seeds.py OUT_DIR    # writes OUT_DIR/<target>/
"""

import pathlib
import struct
import sys

FILE_HEADER_BYTES = 14
INFO_HEADER_BYTES = 40
CORE_HEADER_BYTES = 12

# The file fuzzer's routes, chosen by the low three bits of an input's last byte (see BmpFileFuzzer.cpp).
FILE_ROUTES = {"reader": 0, "dispatch": 3, "any_reader": 5, "block": 6}


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def palette_bytes(count, entry_bytes=4):
    """count entries of blue, green, red (and reserved, with 4 bytes), spread over the colour cube."""
    out = bytearray()
    for i in range(count):
        out += bytes(((i * 67) & 255, (i * 151) & 255, (i * 29 + 40) & 255, 0)[:entry_bytes])
    return bytes(out)


def bitmap(width, height, bits, rows, compression=0, palette=None, colors_used=0, gap=b"",
           header_size=INFO_HEADER_BYTES, masks=()):
    """A bitmap file: file header, information header of header_size bytes, palette, an optional gap, then rows.
    A 12-byte core header has 16-bit sides and 3-byte palette entries; bit-field masks follow a 40-byte header
    and lie inside the longer ones."""
    core = header_size == CORE_HEADER_BYTES
    if palette is None:
        palette = palette_bytes(1 << bits, 3 if core else 4) if bits <= 8 else b""
    mask_bytes = struct.pack(f"<{len(masks)}I", *masks)
    if core:
        info = struct.pack("<IHHHH", header_size, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, len(rows),
                           2835, 2835, colors_used, 0)
        info = (info + mask_bytes)[:header_size].ljust(header_size, b"\0") if header_size != 40 else info + mask_bytes
    offset = FILE_HEADER_BYTES + len(info) + len(palette) + len(gap)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    return header + info + palette + gap + rows


def packed_rows(width, height, bits, pixel):
    """Uncompressed rows in stored order (bottom-up); pixel(x, y) gives an index or a packed value."""
    out = bytearray()
    for stored in range(height):
        y = height - 1 - stored
        row = bytearray(row_bytes(width, bits))
        for x in range(width):
            value = pixel(x, y)
            if bits < 8:
                per_byte = 8 // bits
                shift = (per_byte - 1 - x % per_byte) * bits
                row[x // per_byte] |= (value & ((1 << bits) - 1)) << shift
            else:
                row[x * bits // 8:(x + 1) * bits // 8] = value.to_bytes(bits // 8, "little")
        out += row
    return bytes(out)


def rle8_rows():
    """8x4, bottom-up: coded runs, an odd literal run with its pad byte, a delta, end codes."""
    return bytes([
        4, 1, 0, 3, 2, 3, 4, 0, 1, 5, 0, 0,  # row 0: run of 4, literal of 3 (+pad), run of 1
        0, 2, 3, 1,                          # delta 3 right, 1 up: to (3, 2)
        5, 9, 0, 0,                          # row 2 from x = 3
        8, 200, 0, 1,                        # row 3, end of bitmap
    ])


def rle4_rows():
    """8x4, bottom-up: the same shapes with two pixels to a byte."""
    return bytes([
        4, 0x12, 0, 3, 0x34, 0x50, 1, 0x60, 0, 0,
        0, 2, 2, 1,
        6, 0x9A, 0, 0,
        0, 8, 0x12, 0x34, 0x56, 0x78, 0, 1,
    ])


def bitmap_seeds():
    """Named bitmap files."""
    seeds = {
        "pal1_7x3": bitmap(7, 3, 1, packed_rows(7, 3, 1, lambda x, y: (x + y) & 1)),
        "pal4_5x3": bitmap(5, 3, 4, packed_rows(5, 3, 4, lambda x, y: x * 3 + y)),
        "pal8_5x3": bitmap(5, 3, 8, packed_rows(5, 3, 8, lambda x, y: x * 40 + y)),
        # Five colours in the table; indexes above them read as opaque black.
        "pal8_5x2_colors_used": bitmap(5, 2, 8, packed_rows(5, 2, 8, lambda x, y: x * 2 + y), palette=palette_bytes(5),
                                       colors_used=5),
        "rgb16_3x2": bitmap(3, 2, 16, packed_rows(3, 2, 16, lambda x, y: (x << 10) | (y << 5) | 31)),
        "rgb24_3x3": bitmap(3, 3, 24, packed_rows(3, 3, 24, lambda x, y: (x * 80) << 16 | (y * 90) << 8 | 7)),
        "rgb32_2x2": bitmap(2, 2, 32, packed_rows(2, 2, 32, lambda x, y: 0x11223344 + x * 0x01010101 + y)),
        "rgb24_3x2_top_down": bitmap(3, -2, 24, packed_rows(3, 2, 24, lambda x, y: x << 16 | y << 8)),
        "rle8_8x4": bitmap(8, 4, 8, rle8_rows(), compression=1),
        "rle4_8x4": bitmap(8, 4, 4, rle4_rows(), compression=2),
        # The rows do not follow the palette: the file header's offset skips a gap.
        "pal4_4x2_gap": bitmap(4, 2, 4, packed_rows(4, 2, 4, lambda x, y: x + 4 * y), gap=b"\xEE" * 6),
    }
    whole = bitmap(4, 4, 24, packed_rows(4, 4, 24, lambda x, y: x * y * 0x102030))
    seeds["rgb24_4x4_truncated"] = whole[:len(whole) - 20]
    seeds["rle8_8x4_no_end"] = bitmap(8, 4, 8, rle8_rows()[:-2], compression=1)
    return seeds


def header_version_seeds():
    """Bitmaps with the other information header versions, and bit fields."""
    rgb565 = (0xF800, 0x07E0, 0x001F)
    return {
        "core12_pal8_5x3": bitmap(5, 3, 8, packed_rows(5, 3, 8, lambda x, y: x * 40 + y), header_size=12),
        "core12_rgb24_3x2": bitmap(3, 2, 24, packed_rows(3, 2, 24, lambda x, y: x << 16 | y << 8), header_size=12),
        "os2_16_pal4_5x3": bitmap(5, 3, 4, packed_rows(5, 3, 4, lambda x, y: x * 3 + y), header_size=16),
        "os2_64_pal1_7x3": bitmap(7, 3, 1, packed_rows(7, 3, 1, lambda x, y: (x + y) & 1), header_size=64),
        "bitfields40_rgb565_3x2": bitmap(3, 2, 16, packed_rows(3, 2, 16, lambda x, y: x << 13 | y << 6 | 9),
                                         compression=3, masks=rgb565),
        "alphafields40_rgba32_2x2": bitmap(2, 2, 32, packed_rows(2, 2, 32, lambda x, y: 0x80112233 + x + y),
                                           compression=6, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "v2_52_rgb32_1010_2x2": bitmap(2, 2, 32, packed_rows(2, 2, 32, lambda x, y: 0x3FF00000 >> (x + y)),
                                       compression=3, header_size=52, masks=(0x3FF00000, 0xFFC00, 0x3FF)),
        "v3_56_argb4444_3x2": bitmap(3, 2, 16, packed_rows(3, 2, 16, lambda x, y: 0x8F00 | x << 4 | y),
                                     compression=3, header_size=56, masks=(0xF00, 0xF0, 0xF, 0xF000)),
        "v4_108_rgb565_3x2_top_down": bitmap(3, -2, 16, packed_rows(3, 2, 16, lambda x, y: x << 11 | y),
                                             compression=3, header_size=108, masks=rgb565),
        "v5_124_rgba32_2x2": bitmap(2, 2, 32, packed_rows(2, 2, 32, lambda x, y: 0x7F000000 | x << 16 | y),
                                    compression=3, header_size=124, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "v5_124_rle8_8x4": bitmap(8, 4, 8, rle8_rows(), compression=1, header_size=124),
    }


def profile_seeds():
    return {
        "kivclient.ini": b"[COMMON_SETUP]\nOpenPicDlg=1\n",
        "crlf.ini": b"; settings\r\n[COMMON_SETUP]\r\nOpenPicDlg = 0 \r\nOther=text with spaces\r\n\r\n[Next]\r\nA=1\r\n",
        "no_final_newline.ini": b"[a]\nx=1\n[b]\ny=2",
        "comments_and_blanks.ini": b"# top\n\n[ Section One ]\n; key=commented\n  key = value ; not a comment\n\n\n[two]\n",
        "duplicates.ini": b"[s]\nk=first\nk=second\n[S]\nk=third\n",
        "numbers.ini": b"[n]\nplus=+7\nminus=-5\nhuge=99999999999999\ntail=12abc\nempty=\nsign=-\n",
        "odd_lines.ini": b"[unclosed\nno equals here\n=no key\n[]\nk=v\r\r\n[x]y]\nz=\xff\xfe\n",
        "empty.ini": b"",
    }


def tga(image_type, width, height, depth, pixels, descriptor=0, color_map=b"", first=0, length=0, entry_bits=0,
        image_id=b"", tail=b""):
    """A TGA file: 18-byte header, image ID, colour map, pixel data (rows or packets) and any tail."""
    header = struct.pack("<BBBHHBHHHHBB", len(image_id), 1 if length or color_map else 0, image_type, first,
                         length, entry_bits, 0, 0, width, height, depth, descriptor)
    return header + image_id + color_map + pixels + tail


def tga_seeds():
    rgb = bytes(range(3 * 3 * 2))
    footer = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"
    return {
        "rgb24_3x2_bottom_left": tga(2, 3, 2, 24, rgb),
        "rgba32_2x2_top_left": tga(2, 2, 2, 32, bytes(range(16)), descriptor=0x28),
        "rgb16_2x2_top_right": tga(2, 2, 2, 16, struct.pack("<4H", 0x7C00, 0x03E0, 0x001F, 0x8000), descriptor=0x30),
        "grey8_4x1_version2": tga(3, 4, 1, 8, bytes([0, 85, 170, 255]), image_id=b"seed", tail=footer),
        "mapped_3x1_first2": tga(1, 3, 1, 8, bytes([2, 3, 1]), color_map=bytes(range(6)), first=2, length=2,
                                 entry_bits=24),
        "mapped_rle_4x2_16bit_entries": tga(9, 4, 2, 8, bytes([0x83, 0, 0x03, 1, 0, 1, 0]),
                                            color_map=struct.pack("<2H", 0x7FFF, 0x1234), length=2, entry_bits=16),
        "rle24_3x3_runs_cross_rows": tga(10, 3, 3, 24, bytes([0x84, 1, 2, 3, 0x03]) + bytes(range(12)), descriptor=0x20),
        "rle_grey16_2x2": tga(11, 2, 2, 16, bytes([0x81, 9, 255, 0x01, 1, 2, 3, 4])),
        "rle32_2x2_truncated": tga(10, 2, 2, 32, bytes([0x01, 1, 2, 3, 4, 5, 6])),
    }


def wide_string(text):
    """The archive's UTF-16 string form with a one-byte length."""
    data = text.encode("utf-16-le")
    return bytes([0xFF, 0xFE, 0xFF, len(data) // 2]) + data


def media_record(path, title, width, height, icon_width, icon_height):
    """One record's own data: base part, version, strings, picture facts, file facts, icon."""
    out = struct.pack("<HH", 0, 0) + wide_string(path) + wide_string(title)
    out += struct.pack("<iiHIIII", width, height, 24, 0, 1234, 30000000, 4000000000)
    out += struct.pack("<HHii", 0, 0, icon_width, icon_height)
    return out + bytes((i * 37) & 0xFF for i in range(icon_width * icon_height * 3))


def media_cache(records):
    """A cache file: the collection's base part and version, the count, then the records as objects."""
    name = b"CKivClipMediaObj"
    out = struct.pack("<HHH", 0, 0, len(records))
    for index, record in enumerate(records):
        out += struct.pack("<HHH", 0xFFFF, 0, len(name)) + name if index == 0 else struct.pack("<H", 0x8001)
        out += record
    return out


def media_seeds():
    return {
        "empty": media_cache([]),
        "one": media_cache([media_record("/p/a.bmp", "a.bmp", 64, 48, 2, 1)]),
        "two": media_cache([media_record("/p/a.bmp", "a.bmp", 64, 48, 2, 1),
                            media_record("/p/b.tga", "b.tga", -1, 70000, 0, 0)]),
        "no_icon": media_cache([media_record("/p/\u00e9.jpg", "", 0, 0, 0, 0)]),
    }


def media_xml_seeds():
    record = ('<Item Class="CKivClipMediaObj"><CKivClipMediaObj Version="0"><DataMember MediaFile="/p/a.bmp" '
              'ShowName="a.bmp" SZMediaCx="64" SZMediaCy="48" BitCount="24" FileSizeHigh="0" FileSizeLow="1234" '
              'HighDateTime="30000000" LowDateTime="4000000000"/><Icon Version="0" Width="2" Height="1" '
              'Bits="AQIDBAUG"/><BaseObject Version="0"/></CKivClipMediaObj></Item>')
    collection = ('<KivDocument><CKivClipMediaFileCollection Version="0"><DataMember>' + record + record +
                  '</DataMember><BaseObject Version="0"/></CKivClipMediaFileCollection></KivDocument>')
    return {
        "collection.xml": collection.encode(),
        "record.xml": ("<KivDocument>" + record[record.index("<CKivClipMediaObj"):-len("</Item>")] +
                       "</KivDocument>").encode(),
        "bad_icon.xml": collection.replace('Width="2"', 'Width="4096"').encode(),
    }


def write(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent / "corpus"
    routes = list(FILE_ROUTES.items())
    # The header versions come after the first seeds, which keep their routes.
    bitmaps = sorted(bitmap_seeds().items()) + sorted(header_version_seeds().items())
    for index, (name, data) in enumerate(bitmaps):
        # Two routes per file, so every route of the file fuzzer starts with several bitmaps; the two
        # option bytes follow the bitmap, where the reader never looks (a block of 3 x 2 for the block load).
        for route, code in (routes[index % 4], routes[(index + 2) % 4]):
            options = bytes([0x13, code | (index % 3) << 3])
            write(out / "BmpFileFuzzer", f"{name}.{route}", data + options)
        write(out / "BmpResourceFuzzer", f"{name}.lookup{index % 4}", data[FILE_HEADER_BYTES:] + bytes([index % 4]))
    for name, data in profile_seeds().items():
        write(out / "ProfileFuzzer", name, data)
    for index, (name, data) in enumerate(sorted(tga_seeds().items())):
        # The route byte follows the picture, where the reader never looks; two routes per file.
        for route in (index % 4, (index + 1) % 4):
            write(out / "TgaFuzzer", f"{name}.route{route}", data + bytes([route | (index % 4) << 2 | (index % 7) << 4]))
    for name, data in media_seeds().items():
        write(out / "MediaCacheFuzzer", name, data)
    for name, data in media_xml_seeds().items():
        write(out / "MediaXmlFuzzer", name, data)


if __name__ == "__main__":
    main()
