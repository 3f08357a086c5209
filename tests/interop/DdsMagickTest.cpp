// DXT1 and DXT5 data written by an independent encoder (ImageMagick's DDS
// writer) decodes with our codec to the pixels an independent decoder
// (Pillow) gives: colour within 1 per channel, alpha exactly.

#include "formats/TextureCodec.h"

#include "InteropSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

using namespace paddock;
using namespace paddock::testing;

namespace {

// Empty when both tools are there; otherwise what is missing.
std::string missingTools()
{
    std::string missing;
    if (!havePillow())
        missing += "Pillow for /usr/bin/python3 (python3-pil) ";
    if (!haveMagick())
        missing += "ImageMagick's convert (imagemagick)";
    return missing;
}

std::uint32_t u32At(const std::string& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// Livery-like content: flat panels, a hard diagonal edge, a gradient, a
// little grain; alpha hard-edged, soft or opaque.
std::string makeRgba(int width, int height, bool withAlpha, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char* p = &rgba[static_cast<std::size_t>(y * width + x) * 4];
            const int grain = static_cast<int>(rng() % 6);
            int r = 200, g = 20, b = 30;
            if (x + y > width / 2)
                r = 240, g = 240, b = 235;
            if (y > height * 2 / 3)
                r = 10 + 200 * x / width, g = 80, b = 120 + 100 * x / width;
            p[0] = static_cast<char>(std::min(255, r + grain));
            p[1] = static_cast<char>(std::min(255, g + grain));
            p[2] = static_cast<char>(std::min(255, b + grain));
            int a = 255;
            if (withAlpha) {
                if (x < width / 4)
                    a = 0;
                else if (x < width / 2)
                    a = 255 * (x - width / 4) / (width / 4);
            }
            p[3] = static_cast<char>(a);
        }
    }
    return rgba;
}

} // namespace

TEST(DdsMagickInterop, ImageMagickDdsDecodesToPillowsPixels)
{
    const std::string missing = missingTools();
    if (!missing.empty())
        GTEST_SKIP() << "missing: " << missing;
    TempDir dir;
    struct Case {
        DXTFormat format;
        int width, height;
        bool alpha;
    };
    // ImageMagick writes opaque DXT1 (it never writes three-colour blocks);
    // the sizes include ones that are not multiples of 4.
    const Case cases[] = {{DXTFormat::DXT1, 64, 48, false}, {DXTFormat::DXT1, 30, 18, false},
                          {DXTFormat::DXT5, 64, 48, true}, {DXTFormat::DXT5, 37, 21, true}};
    int index = 0;
    for (const Case& c : cases) {
        std::string name = "t";
        name += std::to_string(index++);
        const std::string raw = dir / (name + ".rgba"), dds = dir / (name + ".dds"), pillow = dir / (name + ".pil");
        WriteBytes(raw, makeRgba(c.width, c.height, c.alpha, static_cast<unsigned>(index)));
        // (Commands are built by appending: GCC 12 at -O3 warns falsely about
        // "literal" + std::string temporaries.)
        std::string magick = "MAGICK_THREAD_LIMIT=1 ";
        magick += Convert;
        magick += " -size ";
        magick += std::to_string(c.width);
        magick += 'x';
        magick += std::to_string(c.height);
        magick += " -depth 8 rgba:";
        magick += quoted(raw);
        magick += c.format == DXTFormat::DXT1 ? " -define dds:compression=dxt1" : " -define dds:compression=dxt5";
        magick += " -define dds:mipmaps=0 dds:";
        magick += quoted(dds);
        ASSERT_TRUE(run(magick)) << name;
        std::string pil = Python;
        pil += " -c ";
        pil += quoted("import sys\nfrom PIL import Image\nwith Image.open(sys.argv[1]) as im:\n"
                      "    open(sys.argv[2], 'wb').write(im.convert('RGBA').tobytes())");
        pil += ' ';
        pil += quoted(dds);
        pil += ' ';
        pil += quoted(pillow);
        ASSERT_TRUE(run(pil)) << name;

        const std::string file = ReadBytes(dds);
        ASSERT_GE(file.size(), 128u) << name;
        ASSERT_EQ(file.substr(0, 4), "DDS ") << name;
        ASSERT_EQ(u32At(file, 12), static_cast<std::uint32_t>(c.height)) << name;
        ASSERT_EQ(u32At(file, 16), static_cast<std::uint32_t>(c.width)) << name;
        ASSERT_EQ(FormatFromFourCC(u32At(file, 84)), c.format) << name;
        const std::size_t size = DXTDataSize(c.format, c.width, c.height);
        ASSERT_GE(file.size(), 128 + size) << name;
        const TPicture ours = DecodeDXT(c.format, reinterpret_cast<const std::uint8_t*>(file.data()) + 128, c.width,
                                        c.height);

        const std::string theirs = ReadBytes(pillow);
        ASSERT_EQ(theirs.size(), ours.Pixels.size()) << name;
        int off = 0;
        for (std::size_t i = 0; i < ours.Pixels.size(); i += 4) {
            const std::uint8_t* p = &ours.Pixels[i];
            const auto* q = reinterpret_cast<const std::uint8_t*>(theirs.data() + i); // red, green, blue, alpha
            const bool close = std::abs(p[2] - q[0]) <= 1 && std::abs(p[1] - q[1]) <= 1 && std::abs(p[0] - q[2]) <= 1 &&
                               p[3] == q[3];
            if (!close && off++ < 5)
                ADD_FAILURE() << name << " pixel " << i / 4 << ": ours BGRA " << int(p[0]) << "," << int(p[1]) << ","
                              << int(p[2]) << "," << int(p[3]) << " Pillow RGBA " << int(q[0]) << "," << int(q[1])
                              << "," << int(q[2]) << "," << int(q[3]);
        }
        EXPECT_EQ(off, 0) << name << ": pixels that differ";

        // The file holds the picture, not something that merely decodes alike:
        // the opaque texels come back near the source.
        const std::string source = ReadBytes(raw);
        long long squared = 0, count = 0;
        for (std::size_t i = 0; i < source.size(); i += 4) {
            if (static_cast<std::uint8_t>(source[i + 3]) != 255)
                continue;
            for (std::size_t ch = 0; ch < 3; ++ch) {
                const int d = static_cast<std::uint8_t>(source[i + ch]) - ours.Pixels[i + 2 - ch];
                squared += d * d;
                ++count;
            }
        }
        ASSERT_GT(count, 0) << name;
        EXPECT_LT(static_cast<double>(squared) / static_cast<double>(count), 30.0) << name;
    }
}
