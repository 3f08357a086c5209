#include "DemoTextures.h"

#include <cstring>
#include <random>

namespace paddock::demo {

namespace {

void put32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        bytes[offset + static_cast<std::size_t>(k)] = static_cast<char>((value >> (8 * k)) & 0xFF);
}

} // namespace

std::string MakeTextureRecord(int width, int height, std::uint32_t fourCC, std::uint32_t mipMapCount)
{
    std::string record(128, '\0');
    std::memcpy(record.data(), "DDS ", 4);
    put32(record, 4, 124);         // size of the surface description
    put32(record, 8, 0x000A1007);  // caps, height, width, pixel format, mip-map count, linear size
    put32(record, 12, static_cast<std::uint32_t>(height));
    put32(record, 16, static_cast<std::uint32_t>(width));
    put32(record, 20, static_cast<std::uint32_t>(width * height));
    put32(record, 28, mipMapCount);
    put32(record, 76, 32);         // size of the pixel format
    put32(record, 80, 0x00000004); // the format is named by its FourCC
    put32(record, 84, fourCC);
    put32(record, 108, mipMapCount > 1 ? 0x00401008u : 0x00001000u); // texture (, complex, mip-map)
    return record;
}

std::string BuildTEX(const std::vector<DemoTexture>& textures, std::uint32_t layoutFlag, std::uint32_t header1,
                     std::uint32_t header2)
{
    std::string out(340, '\xFF');
    put32(out, 0, 0x54455800);
    put32(out, 4, header1);
    put32(out, 8, header2);
    put32(out, 12, layoutFlag);
    put32(out, 16, static_cast<std::uint32_t>(textures.size()));
    const std::size_t table = layoutFlag == 0 ? 212 : 276;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        const DemoTexture& t = textures[i];
        const std::uint32_t fourCC = t.Format == DXTFormat::DXT1 ? FourCCDXT1 : FourCCDXT5;
        const std::vector<std::uint8_t> data = EncodeDXT(t.Format, t.Picture);
        const std::size_t start = out.size();
        out += MakeTextureRecord(t.Picture.Width, t.Picture.Height, fourCC, t.MipMapCount);
        out.append(reinterpret_cast<const char*>(data.data()), data.size());
        put32(out, table + 8 * i, static_cast<std::uint32_t>(start));
        put32(out, table + 8 * i + 4, static_cast<std::uint32_t>(out.size() - start));
    }
    return out;
}

TPicture MakeTestPicture(int width, int height, std::uint32_t seed, bool withAlpha)
{
    TPicture p(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.Pixel(x, y);
            const int band = (y * 4) / (height > 0 ? height : 1);
            px[0] = static_cast<std::uint8_t>((band * 60 + seed * 37) & 0xFF);
            px[1] = static_cast<std::uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));
            px[2] = static_cast<std::uint8_t>(((x + y) % 16 < 4) ? 240 : (seed * 91) & 0xFF);
            px[3] = (withAlpha && x < width / 4 && y < height / 4) ? 0 : 255;
        }
    }
    return p;
}

TPicture MakeRunsPicture(int width, int height, std::uint32_t seed, unsigned newValueOneIn)
{
    TPicture p(width, height);
    std::mt19937 rng(seed);
    std::uint32_t current = rng();
    for (std::size_t i = 0; i < p.Pixels.size(); i += 4) {
        if (rng() % newValueOneIn == 0)
            current = rng();
        std::memcpy(&p.Pixels[i], &current, 4);
    }
    return p;
}

} // namespace paddock::demo
