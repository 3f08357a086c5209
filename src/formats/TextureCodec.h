// The DXT1/DXT5 converter: turns a texture's stored level-0 data into a 32-bit
// picture and back. The pure conversions are thread-safe; TextureCodec wraps
// them for the container reader and writer with the codec's messages.
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace paddock {

class TStream;

enum class DXTFormat { DXT1, DXT5 };

inline constexpr std::uint32_t FourCCDXT1 = 0x31545844; // "DXT1"
inline constexpr std::uint32_t FourCCDXT5 = 0x35545844; // "DXT5"
// The largest width or height the codec accepts.
inline constexpr int MaxTextureSide = 16384;

std::optional<DXTFormat> FormatFromFourCC(std::uint32_t fourCC);
// Bytes of level-0 data: ceil(w/4) * ceil(h/4) * (8 for DXT1, 16 for DXT5).
std::size_t DXTDataSize(DXTFormat format, int width, int height);

// Decodes DXTDataSize bytes into a picture of width x height. DXT1 texels are
// opaque except those of three-colour blocks' fourth index, which are black
// with alpha 0. Sizes that are not multiples of 4 use the covering blocks.
// A width or height of 0 or less gives an empty picture (0 x 0).
TPicture DecodeDXT(DXTFormat format, const std::uint8_t* data, int width, int height);
// Encodes a picture into exactly DXTDataSize bytes. DXT1 makes a texel
// transparent when its alpha is below 128. threads = 0 uses every core; the
// result is the same for any number of threads. A picture whose Pixels do not
// hold Width x Height texels throws std::invalid_argument.
std::vector<std::uint8_t> EncodeDXT(DXTFormat format, const TPicture& picture, unsigned threads = 0);
// The grey view of a picture's alpha channel: blue = green = red = alpha, and
// the fourth byte 0.
TPicture MakeAlphaView(const TPicture& picture);

// What the codec takes from a texture record.
struct TTextureParams {
    int Width = 0;
    int Height = 0;
    std::uint32_t Levels = 0;
    std::uint32_t FourCC = 0;
};

// The codec as the container reader and writer use it: opened for one read or
// write, closed at its end. Failures are shown as the codec's numbered
// messages and affect only the texture at hand.
class TextureCodec {
public:
    // A software codec needs no device: opening always succeeds.
    bool Open();
    void Close();

    // Reads the level-0 data that follows the record from the stream and
    // decodes it. nullopt (with the message shown) when the texture cannot be
    // decoded; a stream that ends too early throws EReadError.
    std::optional<TPicture> Decode(const TTextureParams& params, TStream& stream);
    // Encodes the picture and appends the level-0 data to the stream. False
    // (with the message shown) when nothing was written.
    bool Encode(const TTextureParams& params, const TPicture& picture, TStream& stream);

private:
    bool open_ = false;
};

} // namespace paddock
