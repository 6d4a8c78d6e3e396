// Loading BMP pictures (and raw memory dumps) into an Image or onto the
// screen's work page.
#pragma once

#include <string_view>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

// Reads the file `file_name` (at most its first 259 characters count; relative
// to the working directory; '/' separates directories) into `destination`, or
// onto the screen's work page when it is nullptr. Program thread.
//
// BMP files: signature "BM", a 40-byte information header, 1, 4, 8, 24 or 32
// bits per pixel, uncompressed (compression 0) or with bit-field masks
// (compression 3; masks right after the information header, and only red
// 0x00FF0000, green 0x0000FF00, blue 0x000000FF are accepted). Rows are
// bottom-up for a positive height, top-down for a negative one; either way
// the picture lands upright, with height |H|. The palette entries are the
// (pixel data offset - 54, less 12 for the masks) / 4 entries before the pixel
// data; they are written into entries 0..n-1 of the layer's palette table,
// and palette pixels are looked up in that table (an index of n or more takes
// what an earlier load left there, or black). Pixels become 32-bit Colors:
// palette and 24-bit pixels with alpha 0xFF, 32-bit pixels with their four
// bytes unchanged (alpha is the fourth byte).
//
// Destination:
//   - an Image in the 32-byte form keeps its header; picture pixel (x, y),
//     counted from the top-left, goes to Image pixel (x, y) for x and y below
//     both widths and both heights; the rest of the Image keeps its pixels.
//   - an Image in any other form is re-formed into the 32-byte form: type 7,
//     bpp 4, width W, height |H|, pitch 4 W rounded up to a multiple of 16
//     (bytes 20-31 not written); its storage grows to 32 + |H| x pitch bytes
//     when it is smaller, and the whole picture is copied.
//   - the screen: the top-left of the work page, cut to the page; every
//     row-changed flag is set when the work page is the visible page.
// Pixels are written only into 4-byte-pixel destinations.
//
// Raw memory dumps: a first byte 0xFD (7-byte header, length in the
// little-endian 16-bit word at bytes 5-6) or 0xFE (5-byte header, 32-bit
// length at bytes 1-4). That many bytes are copied unchanged to the start of
// the destination's block, header included, at most to the end of its
// storage (the screen: at most one page). A dump shorter than its length
// copies what it has and gives Ok; a header cut short gives FileIoError.
//
// Results, and what is changed:
//   Ok           loaded.
//   IllegalCall  no destination and no screen; a BMP with no screen open;
//                15 or 16 bits per pixel; an Image whose header does not fit
//                its storage, or whose pixel size is not 4 bytes (a re-form
//                needs a screen of 4 bytes per pixel). Nothing changed.
//   FileNotFound the file cannot be opened, or is a directory. Nothing changed.
//   FileIoError  nothing changed when: the first byte is none of 'B', 0xFD,
//                0xFE; the header is shorter than 54 bytes, the signature is
//                not "BM" or the information header size not 40; another bit
//                count; a compression other than 0 and 3; a pixel data offset
//                below 54; more than 256 palette entries; a negative width;
//                a width or height above 32768; a file cut off in its masks
//                or palette; storage that cannot be had.
//                After a re-form: masks other than the usual three (no pixel
//                written); a file cut off in its pixel rows (the rows read
//                so far are written, the bottom ones of a bottom-up file).
//
// The display lock is held from the palette write to the last pixel row, for
// an Image as well as for the screen; a caller holding it keeps it.
Status image_load_bmp(std::string_view file_name, Image* destination);

}  // namespace gfx
