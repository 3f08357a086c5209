// PNG pictures, the kind image editors save by default, exchanged as TGA
// pictures are: 32 bits per pixel (8-bit red, green, blue and alpha), read
// into and written from the blue, green, red, alpha order of a picture.
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paddock {

// The signature and the header chunk (IHDR) that every PNG file starts with.
inline constexpr std::size_t PNGHeaderSize = 33;

// The whole file image of a picture: 8-bit colour with alpha (colour type 6),
// not interlaced, deflate level 8 with each row's filter chosen by the
// encoder; the same bytes for the same picture on every machine. The
// picture must not be empty (std::invalid_argument).
std::vector<std::uint8_t> EncodePNG(const TPicture& picture);

enum class PNGStatus {
    Ok,
    NotPNG,             // no PNG signature, or no header chunk right after it
    NotTrueColour32,    // not 8-bit colour with alpha (colour type 6, bit depth 8)
    SizeNotMultipleOf4, // width or height not a multiple of 4
    SizeOutOfRange,     // width or height 0 or above MaxTextureSide
    Damaged,            // the chunks or the compressed picture end early or do not decode
};

// Reads a PNG file image held in memory into picture. The header is checked
// before anything is decoded, in the order of the statuses above, and the
// compressed data must be long enough for the picture it states (deflate
// shrinks at most 1032 to 1), so that a small file cannot make the decoder
// allocate much more than it could ever fill. Chunks other than the picture
// data (gamma, colour profile, text) are ignored. picture is changed only
// when the result is Ok. Running out of memory throws std::bad_alloc.
PNGStatus DecodePNG(const std::uint8_t* data, std::size_t size, TPicture& picture);

} // namespace paddock
