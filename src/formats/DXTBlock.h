// One 4 x 4 block of DXT1/DXT5 data: decoding into texels and encoding from
// them. The texture codec (TextureCodec.h) cuts pictures into such blocks.
//
// A DXT1 block is 8 bytes: two 5:6:5 colours c0 and c1 (little-endian) and
// 16 two-bit indices, texel 0 (top left) in the lowest bits, row after row.
// With c0 > c1 the palette is c0, c1, (2 c0 + c1) / 3, (c0 + 2 c1) / 3; with
// c0 <= c1 it is c0, c1, (c0 + c1) / 2 and transparent black. A DXT5 block is
// an 8-byte alpha block (a0, a1, 16 three-bit indices) followed by a colour
// block that always uses the four-colour palette. With a0 > a1 the alpha
// palette is a0, a1 and six values between; otherwise a0, a1, four values
// between, 0 and 255. Interpolated values are truncated after the division.
#pragma once

#include <cstdint>

namespace paddock::dxt {

// A texel as the picture holds it: blue | green << 8 | red << 16 | alpha << 24
// (the bytes blue, green, red, alpha in memory on a little-endian machine).
using Texel = std::uint32_t;

// Decodes one block (8 bytes of DXT1, or 16 of DXT5) into its 16 texels,
// row after row.
void DecodeBlock(const std::uint8_t* block, bool dxt5, Texel texels[16]);

// The texels given to the encoder: 16 pixels (blue, green, red, alpha bytes
// each, row after row) and a mask whose bit i is set when texel i lies inside
// the picture. Texels outside it are ignored; at least one must be inside.
struct BlockTexels {
    std::uint8_t bgra[64];
    unsigned mask = 0xFFFF;
};

// Encodes the colour of a block into 8 bytes. With dxt1, texels whose alpha
// is below 128 become transparent (a three-colour block); without it (the
// colour half of DXT5) the block always uses four colours and alpha is not
// looked at.
void EncodeColourBlock(const BlockTexels& texels, bool dxt1, std::uint8_t* out);
// Encodes the alpha of a block into the 8-byte alpha half of a DXT5 block.
void EncodeAlphaBlock(const BlockTexels& texels, std::uint8_t* out);

// The encoder uses eight-lane vector code where the processor has AVX2 and
// four-lane code elsewhere; both give the same blocks. For tests: true
// forces the four-lane code, false returns to the processor's best.
void UsePortableCode(bool portable);

} // namespace paddock::dxt
