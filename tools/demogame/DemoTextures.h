// TEX containers and pictures of our own making, for the demo game folder and
// for the tests.
#pragma once

#include "formats/Picture.h"
#include "formats/TextureCodec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paddock::demo {

struct DemoTexture {
    TPicture Picture;
    DXTFormat Format = DXTFormat::DXT1;
    std::uint32_t MipMapCount = 1;
};

// A texture record laid out as a DDS file's header (magic, then the surface
// description) for a texture of the given size and format.
std::string MakeTextureRecord(int width, int height, std::uint32_t fourCC, std::uint32_t mipMapCount = 1);

// The bytes of a container holding the textures in order, each encoded in its
// format, with its blocks contiguous from offset 340.
std::string BuildTEX(const std::vector<DemoTexture>& textures, std::uint32_t layoutFlag = 0,
                     std::uint32_t header1 = 0x00000001, std::uint32_t header2 = 0x00000000);

// A picture with a pattern that shows where it is looked at: colour bands,
// a diagonal stripe and, when withAlpha, a transparent corner.
TPicture MakeTestPicture(int width, int height, std::uint32_t seed, bool withAlpha);

// Random pixels, alpha included, with runs of equal pixels as real art has
// them: each pixel starts a new value with a chance of one in newValueOneIn.
TPicture MakeRunsPicture(int width, int height, std::uint32_t seed, unsigned newValueOneIn);

} // namespace paddock::demo
