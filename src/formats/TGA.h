// TGA pictures as textures are exchanged with image editors: 32 bits per
// pixel (blue, green, red, alpha), written run-length encoded with the top row
// first, read uncompressed or run-length encoded with either vertical origin.
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paddock {

inline constexpr std::size_t TGAHeaderSize = 18;
// The largest width or height a TGA header can state.
inline constexpr int MaxTGASide = 0xFFFF;

// The whole file image of a picture: an 18-byte header (type 10, 32 bits per
// pixel, top-left origin; the colour-map length 256 and entry size 24 are
// filled in although no colour map follows), then each row from the top
// encoded by itself in packets of at most 128 pixels. Nothing follows the
// pixels. The picture's width and height must not exceed MaxTGASide.
std::vector<std::uint8_t> EncodeTGA(const TPicture& picture);

enum class TGAStatus {
    Ok,
    NotTrueColour32,    // not image type 2 or 10, or not 32 bits per pixel
    SizeNotMultipleOf4, // width or height not a multiple of 4
    SizeOutOfRange,     // width or height 0 or above MaxTextureSide
    Truncated,          // the file ends before the header or the pixels do
    RunPastPicture,     // a run-length packet holds more pixels than are left
};

// Reads a TGA file image held in memory into picture. The image ID and a
// colour map (colour-map type 1) are skipped; the attribute bits are not
// examined, the fourth byte of a pixel is always alpha. The checks run in the
// order of the statuses above; picture is changed only when the result is Ok.
TGAStatus DecodeTGA(const std::uint8_t* data, std::size_t size, TPicture& picture);

} // namespace paddock
