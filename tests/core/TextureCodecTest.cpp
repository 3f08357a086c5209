#include "app/FileError.h"
#include "app/Streams.h"
#include "formats/DXTBlock.h"
#include "formats/TextureCodec.h"

#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#ifdef PADDOCK_HAVE_SQUISH
#include <squish.h>
#endif

#include <cmath>
#include <string>
#include <random>

using namespace paddock;
using namespace paddock::testing;

namespace {

constexpr std::uint32_t FourCCDXT3 = 0x33545844;

// A picture of smooth colour with fine noise and an alpha ramp, like paint
// with wear and a fading edge.
TPicture paint(int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    TPicture pic(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = pic.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>((x * 7 + rng() % 24) & 255);
            p[1] = static_cast<std::uint8_t>((y * 5 + rng() % 24) & 255);
            p[2] = static_cast<std::uint8_t>(((x + y) * 3 + rng() % 24) & 255);
            const int ramp = x * 255 / std::max(1, width - 1);
            p[3] = static_cast<std::uint8_t>(std::min(255, ramp + static_cast<int>(rng() % 8)));
        }
    }
    return pic;
}

std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// Texels below alpha 128 among opaque ones, and alpha with and without the
// extremes 0 and 255 (from x = 4 on): a hard-edged decal over busy paint.
TPicture decal(int width, int height)
{
    static const int edge[7] = {0, 255, 40, 90, 127, 128, 200};
    TPicture pic(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = pic.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 53 + y * 17);
            p[1] = static_cast<std::uint8_t>(x * x * 9 + y * 31);
            p[2] = static_cast<std::uint8_t>(200 - x * 11 - y * 23);
            p[3] = static_cast<std::uint8_t>(x < 4 ? edge[(x * 5 + y * 3) % 7] : 130 + (x * 7 + y * 13) % 100);
        }
    }
    return pic;
}

// The encoder's bytes for decal(8, 4) in DXT5.
const char* const Decal8x4DXT5 = "21c3e6be87210c7383b03674e0787a5ed79db9eb96e53401b46ea360b83424ee";

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// FNV-1a of 64 bits: a fingerprint of encoded data too long to write out.
std::uint64_t fingerprint(const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes)
        h = (h ^ b) * 0x100000001b3ull;
    return h;
}

#ifdef PADDOCK_HAVE_SQUISH
// libsquish's decoding of the same data, turned into blue, green, red, alpha.
TPicture squishDecode(DXTFormat format, const std::vector<std::uint8_t>& data, int width, int height)
{
    TPicture pic(width, height);
    const std::size_t blockBytes = format == DXTFormat::DXT1 ? 8 : 16;
    const std::uint8_t* block = data.data();
    std::uint8_t rgba[64];
    for (int by = 0; by < height; by += 4) {
        for (int bx = 0; bx < width; bx += 4, block += blockBytes) {
            squish::Decompress(rgba, block, format == DXTFormat::DXT1 ? squish::kDxt1 : squish::kDxt5);
            for (int y = 0; y < 4 && by + y < height; ++y) {
                for (int x = 0; x < 4 && bx + x < width; ++x) {
                    const std::uint8_t* s = rgba + 16 * y + 4 * x;
                    std::uint8_t* d = pic.Pixel(bx + x, by + y);
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = s[3];
                }
            }
        }
    }
    return pic;
}

// libsquish's cluster fit of a picture, one block at a time.
std::vector<std::uint8_t> squishClusterFit(DXTFormat format, const TPicture& pic)
{
    std::vector<std::uint8_t> out(DXTDataSize(format, pic.Width, pic.Height));
    const std::size_t blockBytes = format == DXTFormat::DXT1 ? 8 : 16;
    std::uint8_t* block = out.data();
    std::uint8_t rgba[64];
    for (int by = 0; by < pic.Height; by += 4) {
        for (int bx = 0; bx < pic.Width; bx += 4, block += blockBytes) {
            int mask = 0;
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 4; ++x) {
                    if (bx + x >= pic.Width || by + y >= pic.Height)
                        continue;
                    const std::uint8_t* s = pic.Pixel(bx + x, by + y);
                    std::uint8_t* d = rgba + 16 * y + 4 * x;
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = s[3];
                    mask |= 1 << (4 * y + x);
                }
            }
            const int flags = format == DXTFormat::DXT1 ? squish::kDxt1 : squish::kDxt5;
            squish::CompressMasked(rgba, mask, block, flags | squish::kColourClusterFit);
        }
    }
    return out;
}
#else
// Never called: the tests that would are skipped.
TPicture squishDecode(DXTFormat, const std::vector<std::uint8_t>&, int, int)
{
    return {};
}
std::vector<std::uint8_t> squishClusterFit(DXTFormat, const TPicture&)
{
    return {};
}
#endif

// libsquish is the independent decoder and encoder these tests compare with;
// it is not built for Windows.
#ifdef PADDOCK_HAVE_SQUISH
#define SKIP_WITHOUT_LIBSQUISH()
#else
#define SKIP_WITHOUT_LIBSQUISH() GTEST_SKIP() << "Skipped on Windows: libsquish, the reference, is not built there"
#endif

// Squared errors of the colour (of the texels that stay opaque in DXT1) and
// of alpha.
struct Errors {
    long long colour = 0, alpha = 0;
};

Errors errors(DXTFormat format, const TPicture& source, const TPicture& decoded)
{
    Errors e;
    for (std::size_t i = 0; i < source.Pixels.size(); i += 4) {
        const std::uint8_t* s = &source.Pixels[i];
        const std::uint8_t* d = &decoded.Pixels[i];
        const int da = s[3] - d[3];
        e.alpha += da * da;
        if (format == DXTFormat::DXT1 && s[3] < 128)
            continue;
        for (int c = 0; c < 3; ++c)
            e.colour += (s[c] - d[c]) * (s[c] - d[c]);
    }
    return e;
}

// A DXT1 block with the given colours and indices (texel 0 in the lowest bits).
std::vector<std::uint8_t> dxt1Block(std::uint16_t c0, std::uint16_t c1, std::uint32_t indices)
{
    std::vector<std::uint8_t> block(8);
    const std::uint32_t words[2] = {c0 | static_cast<std::uint32_t>(c1) << 16, indices};
    for (int i = 0; i < 8; ++i)
        block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(words[i / 4] >> (8 * (i % 4)));
    return block;
}

TTextureParams params(int width, int height, std::uint32_t fourCC)
{
    TTextureParams p;
    p.Width = width;
    p.Height = height;
    p.Levels = 1;
    p.FourCC = fourCC;
    return p;
}

} // namespace

TEST(TextureCodecSizes, DataSizeFollowsTheCoveringBlocks)
{
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT5, 4, 4), 16u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT1, 8, 4), 16u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT1, 1, 1), 8u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT1, 5, 5), 32u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT5, 13, 7), 4u * 2u * 16u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT5, 0, 4), 0u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT1, 4, -4), 0u);
    EXPECT_EQ(DXTDataSize(DXTFormat::DXT5, MaxTextureSide, MaxTextureSide), 256u * 1024u * 1024u);
    EXPECT_EQ(FormatFromFourCC(FourCCDXT1), DXTFormat::DXT1);
    EXPECT_EQ(FormatFromFourCC(FourCCDXT5), DXTFormat::DXT5);
    EXPECT_EQ(FormatFromFourCC(FourCCDXT3), std::nullopt);
}

TEST(TextureCodecSizes, EncodingGivesExactlyTheDataSizeAndDecodesToTheSameSize)
{
    for (DXTFormat format : {DXTFormat::DXT1, DXTFormat::DXT5}) {
        for (auto [w, h] : {std::pair{4, 4}, {8, 4}, {1, 1}, {3, 5}, {13, 7}, {64, 36}}) {
            const TPicture pic = paint(w, h, static_cast<unsigned>(w * 100 + h));
            const std::vector<std::uint8_t> data = EncodeDXT(format, pic);
            EXPECT_EQ(data.size(), DXTDataSize(format, w, h)) << w << "x" << h;
            const TPicture back = DecodeDXT(format, data.data(), w, h);
            EXPECT_EQ(back.Width, w);
            EXPECT_EQ(back.Height, h);
            EXPECT_EQ(back.Pixels.size(), static_cast<std::size_t>(w * h * 4));
        }
    }
    EXPECT_TRUE(EncodeDXT(DXTFormat::DXT1, TPicture()).empty());
}

TEST(TextureCodecDecoding, EqualsLibsquishOnRandomBlocksOfBothFormats)
{
    SKIP_WITHOUT_LIBSQUISH();
    // Random bytes give both colour modes of DXT1 (c0 > c1 and c0 <= c1) and
    // both alpha modes of DXT5 about equally often; the 64 x 64 texture has
    // 256 blocks. The odd size checks that pixels of covering blocks outside
    // the picture are left out.
    for (DXTFormat format : {DXTFormat::DXT1, DXTFormat::DXT5}) {
        for (auto [w, h] : {std::pair{64, 64}, {37, 22}}) {
            const unsigned seed = 7u + static_cast<unsigned>(w);
            const std::vector<std::uint8_t> data = randomBytes(DXTDataSize(format, w, h), seed);
            EXPECT_EQ(DecodeDXT(format, data.data(), w, h), squishDecode(format, data, w, h))
                << (format == DXTFormat::DXT1 ? "DXT1 " : "DXT5 ") << w << "x" << h;
        }
    }
}

TEST(TextureCodecDecoding, ThreeColourBlocksGiveTransparentBlackAndTheAlphaViewShowsIt)
{
    // c0 = pure blue, c1 = pure red: c0 <= c1 as 16-bit values makes a
    // three-colour block. Indices 0, 1, 2, 3 across every row.
    const std::uint16_t blue = 0x001F, red = 0xF800;
    const std::vector<std::uint8_t> block = dxt1Block(blue, red, 0xE4E4E4E4u);
    const TPicture pic = DecodeDXT(DXTFormat::DXT1, block.data(), 4, 4);
    for (int y = 0; y < 4; ++y) {
        const std::uint8_t* c0 = pic.Pixel(0, y);
        EXPECT_EQ(std::vector<int>(c0, c0 + 4), (std::vector<int>{255, 0, 0, 255})); // blue
        const std::uint8_t* c1 = pic.Pixel(1, y);
        EXPECT_EQ(std::vector<int>(c1, c1 + 4), (std::vector<int>{0, 0, 255, 255})); // red
        const std::uint8_t* mid = pic.Pixel(2, y);
        EXPECT_EQ(std::vector<int>(mid, mid + 4), (std::vector<int>{127, 0, 127, 255})); // halfway
        const std::uint8_t* transparent = pic.Pixel(3, y);
        EXPECT_EQ(std::vector<int>(transparent, transparent + 4), (std::vector<int>{0, 0, 0, 0}));
    }
    const TPicture view = MakeAlphaView(pic);
    ASSERT_EQ(view.Width, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* p = view.Pixel(x, y);
            const int grey = x == 3 ? 0 : 255;
            EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{grey, grey, grey, 0})) << x << "," << y;
        }
    }

    // The same colours with c0 > c1 make a four-colour block: no transparency.
    const std::vector<std::uint8_t> four = dxt1Block(red, blue, 0xE4E4E4E4u);
    const TPicture opaque = DecodeDXT(DXTFormat::DXT1, four.data(), 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(opaque.Pixel(x, y)[3], 255);
}

TEST(TextureCodecDecoding, OpaqueDxt5GivesAWhiteAlphaViewWithFourthByteZero)
{
    TPicture pic = paint(12, 8, 3);
    for (std::size_t i = 3; i < pic.Pixels.size(); i += 4)
        pic.Pixels[i] = 255;
    const std::vector<std::uint8_t> data = EncodeDXT(DXTFormat::DXT5, pic);
    const TPicture view = MakeAlphaView(DecodeDXT(DXTFormat::DXT5, data.data(), 12, 8));
    for (std::size_t i = 0; i < view.Pixels.size(); i += 4) {
        EXPECT_EQ(view.Pixels[i], 255);
        EXPECT_EQ(view.Pixels[i + 1], 255);
        EXPECT_EQ(view.Pixels[i + 2], 255);
        EXPECT_EQ(view.Pixels[i + 3], 0);
    }
}

TEST(TextureCodecEncoding, Dxt1MakesTexelsBelowAlpha128TransparentBlack)
{
    TPicture pic(4, 4);
    const int alphas[4] = {0, 127, 128, 255};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = pic.Pixel(x, y);
            p[0] = 40;
            p[1] = 160;
            p[2] = 220;
            p[3] = static_cast<std::uint8_t>(alphas[x]);
        }
    }
    const std::vector<std::uint8_t> data = EncodeDXT(DXTFormat::DXT1, pic);
    ASSERT_EQ(data.size(), 8u);
    const std::uint16_t c0 = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    const std::uint16_t c1 = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
    EXPECT_LE(c0, c1) << "transparent texels need a three-colour block";
    const TPicture back = DecodeDXT(DXTFormat::DXT1, data.data(), 4, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* p = back.Pixel(x, y);
            if (x < 2) {
                EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{0, 0, 0, 0}));
            } else {
                EXPECT_EQ(p[3], 255);
                EXPECT_NEAR(p[0], 40, 4);
                EXPECT_NEAR(p[1], 160, 2);
                EXPECT_NEAR(p[2], 220, 4);
            }
        }
    }

    // Fully transparent blocks, and an opaque picture that must stay opaque.
    TPicture clear(8, 4);
    const std::vector<std::uint8_t> none = EncodeDXT(DXTFormat::DXT1, clear);
    for (std::uint8_t byte : DecodeDXT(DXTFormat::DXT1, none.data(), 8, 4).Pixels)
        EXPECT_EQ(byte, 0);
    TPicture solid = paint(16, 16, 5);
    for (std::size_t i = 3; i < solid.Pixels.size(); i += 4)
        solid.Pixels[i] = 128;
    const std::vector<std::uint8_t> opaque = EncodeDXT(DXTFormat::DXT1, solid);
    const TPicture decoded = DecodeDXT(DXTFormat::DXT1, opaque.data(), 16, 16);
    for (std::size_t i = 3; i < decoded.Pixels.size(); i += 4)
        ASSERT_EQ(decoded.Pixels[i], 255) << "texel " << i / 4;
}

TEST(TextureCodecEncoding, RepresentableContentSurvivesExactly)
{
    // Two 5:6:5 colours per block, an exact alpha of 0, 255 and one other
    // value: everything the formats can hold must come back unchanged, also
    // at the right and bottom edges of a size that is not a multiple of 4.
    auto expand = [](int q, int bits) { return bits == 5 ? (q << 3) | (q >> 2) : (q << 2) | (q >> 4); };
    std::mt19937 rng(11);
    TPicture pic(10, 6);
    for (int by = 0; by < 6; by += 4) {
        for (int bx = 0; bx < 10; bx += 4) {
            int colours[2][3];
            for (auto& c : colours) {
                c[0] = expand(static_cast<int>(rng() % 32), 5);
                c[1] = expand(static_cast<int>(rng() % 64), 6);
                c[2] = expand(static_cast<int>(rng() % 32), 5);
            }
            const int alphas[3] = {0, 255, static_cast<int>(rng() % 254) + 1};
            for (int y = by; y < std::min(by + 4, 6); ++y) {
                for (int x = bx; x < std::min(bx + 4, 10); ++x) {
                    const int* c = colours[rng() % 2];
                    std::uint8_t* p = pic.Pixel(x, y);
                    p[0] = static_cast<std::uint8_t>(c[2]);
                    p[1] = static_cast<std::uint8_t>(c[1]);
                    p[2] = static_cast<std::uint8_t>(c[0]);
                    p[3] = static_cast<std::uint8_t>(alphas[rng() % 3]);
                }
            }
        }
    }
    const std::vector<std::uint8_t> data = EncodeDXT(DXTFormat::DXT5, pic);
    EXPECT_EQ(DecodeDXT(DXTFormat::DXT5, data.data(), 10, 6), pic);
}

TEST(TextureCodecEncoding, AtLeastAsCloseAsLibsquishClusterFit)
{
    SKIP_WITHOUT_LIBSQUISH();
    // Colour for both formats and alpha for DXT5, over a picture with smooth
    // areas, noise and an alpha ramp, and over single colours (every grey and
    // random colours), where a table decides.
    TPicture flat(1024, 8); // one colour per block: every grey, then random colours
    std::mt19937 rng(9);
    for (int bx = 0; bx < 256; ++bx) {
        const std::uint8_t random[3] = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                                        static_cast<std::uint8_t>(rng())};
        for (int y = 0; y < 8; ++y) {
            for (int x = 4 * bx; x < 4 * bx + 4; ++x) {
                std::uint8_t* p = flat.Pixel(x, y);
                for (int c = 0; c < 3; ++c)
                    p[c] = y < 4 ? static_cast<std::uint8_t>(bx) : random[c];
                p[3] = static_cast<std::uint8_t>(bx);
            }
        }
    }
    for (const TPicture& pic : {paint(128, 64, 21), flat}) {
        for (DXTFormat format : {DXTFormat::DXT1, DXTFormat::DXT5}) {
            const std::vector<std::uint8_t> ours = EncodeDXT(format, pic);
            const std::vector<std::uint8_t> theirs = squishClusterFit(format, pic);
            const Errors e = errors(format, pic, DecodeDXT(format, ours.data(), pic.Width, pic.Height));
            const Errors s = errors(format, pic, DecodeDXT(format, theirs.data(), pic.Width, pic.Height));
            EXPECT_LE(e.colour, s.colour) << (format == DXTFormat::DXT1 ? "DXT1 " : "DXT5 ") << pic.Width;
            if (format == DXTFormat::DXT5) {
                EXPECT_LE(e.alpha, s.alpha) << pic.Width;
            }
        }
    }
}

TEST(TextureCodecEncoding, SameBytesOnEveryMachineForAnyThreadsAndVectorWidth)
{
    // The encoder's float arithmetic is built without fused multiply-adds,
    // so these bytes must come out on every processor, with the four-lane
    // code as with the eight-lane code chosen where AVX2 exists. Smooth paint
    // with noise and an alpha ramp, a decal with transparent texels among
    // opaque ones, and a size whose edge blocks are partly outside.
    struct Fixed {
        const char* name;
        TPicture pic;
        DXTFormat format;
        const char* bytes;
    };
    const Fixed small[] = {
        {"paint 8x8 DXT1", paint(8, 8, 31), DXTFormat::DXT1,
         "00000000ffffffffc828a418252db92b00000000ffffffff68312429bda9350f"},
        {"paint 8x8 DXT5", paint(8, 8, 31), DXTFormat::DXT5,
         "7003f1100fe9100fa628c000bdafbfbefe91e9100fe9900ec828a418252db92b"
         "7205f11013f1100f652940198d29a929fe91e9900ef1900e68312429bda9350f"},
        {"decal 8x4 DXT1", decal(8, 4), DXTFormat::DXT1, "f67b27a9b7e7fdcfb46ea360b83424ee"},
        {"decal 8x4 DXT5", decal(8, 4), DXTFormat::DXT5, Decal8x4DXT5},
        {"paint 5x7 DXT1", paint(5, 7, 32), DXTFormat::DXT1,
         "031964209f6f8f0fc328461801030200432105296f8f8f006538a41902030100"},
        {"paint 5x7 DXT5", paint(5, 7, 32), DXTFormat::DXT5,
         "c201f1100ff1100fc420a10887252faeffff000000000000c328461801030200"
         "c302f1100ff100004429e118053f2f00ffff0000000000006538a41902030100"},
    };
    for (const Fixed& f : small) {
        EXPECT_EQ(hex(EncodeDXT(f.format, f.pic)), f.bytes) << f.name;
        dxt::UsePortableCode(true);
        EXPECT_EQ(hex(EncodeDXT(f.format, f.pic)), f.bytes) << f.name << ", four lanes";
        dxt::UsePortableCode(false);
    }

    // Larger pictures by the fingerprint of their bytes: one shared out
    // between threads in several ways, and one so large that even a change
    // in the rounding of rare blocks shows in both formats.
    const TPicture large = paint(512, 512, 3);
    for (auto [format, expected] : {std::pair{DXTFormat::DXT1, 0xe3dbd70f9fdfd150ull},
                                       {DXTFormat::DXT5, 0xade315fe89e74635ull}}) {
        const std::uint64_t print = fingerprint(EncodeDXT(format, large));
        EXPECT_EQ(print, expected) << (format == DXTFormat::DXT1 ? "DXT1" : "DXT5") << std::hex << ": 0x" << print;
    }
    const TPicture pic = paint(200, 180, 17);
    for (auto [format, expected] : {std::pair{DXTFormat::DXT1, 0x4a5adaf1a97228e5ull},
                                       {DXTFormat::DXT5, 0xe8d5e02a4396e8daull}}) {
        const char* name = format == DXTFormat::DXT1 ? "DXT1" : "DXT5";
        const std::vector<std::uint8_t> one = EncodeDXT(format, pic, 1);
        EXPECT_EQ(fingerprint(one), expected) << name << std::hex << ": 0x" << fingerprint(one);
        for (unsigned threads : {2u, 3u, 8u, 0u})
            EXPECT_EQ(EncodeDXT(format, pic, threads), one) << name << ", " << threads << " threads";
        dxt::UsePortableCode(true);
        const std::vector<std::uint8_t> portable = EncodeDXT(format, pic, 2);
        dxt::UsePortableCode(false);
        EXPECT_EQ(portable, one) << name << ", four lanes";
    }
}

TEST(TextureCodecMessages, DecodeRefusesTexturesItCannotMake)
{
    ScopedScript script;
    TextureCodec codec;
    ASSERT_TRUE(codec.Open());
    TMemoryStream stream;
    const std::vector<std::uint8_t> bytes = randomBytes(64, 1);
    stream.WriteBuffer(bytes.data(), bytes.size());
    const std::string err005 = "GP4TEX Error 005: Error while creating texture";
    for (const TTextureParams& p : {params(4, 4, FourCCDXT3), params(0, 4, FourCCDXT1), params(4, -8, FourCCDXT5),
                                    params(MaxTextureSide + 1, 4, FourCCDXT1)}) {
        script->expectError(err005);
        stream.SetPosition(0);
        EXPECT_FALSE(codec.Decode(p, stream).has_value());
        EXPECT_EQ(stream.Position(), 0) << "nothing is read for a refused texture";
    }

    // A good texture reads exactly its data and leaves the stream after it.
    stream.SetPosition(0);
    const std::optional<TPicture> pic = codec.Decode(params(8, 4, FourCCDXT1), stream);
    ASSERT_TRUE(pic.has_value());
    EXPECT_EQ(pic->Width, 8);
    EXPECT_EQ(stream.Position(), 16);
#ifdef PADDOCK_HAVE_SQUISH
    EXPECT_EQ(*pic, squishDecode(DXTFormat::DXT1, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 16), 8, 4));
#else
    SkippedOnWindows("the comparison with libsquish's decoding: libsquish is not built there");
#endif

    // A stream that ends inside the data is a read error, not a message.
    stream.SetPosition(56);
    EXPECT_THROW(codec.Decode(params(4, 4, FourCCDXT5), stream), EReadError);
    codec.Close();
    EXPECT_EQ(script->verify(), "");
}

TEST(TextureCodecMessages, EncodeRefusesBadSizesAndFormats)
{
    ScopedScript script;
    TextureCodec codec;
    ASSERT_TRUE(codec.Open());
    TMemoryStream stream;
    const TPicture pic = decal(8, 4);
    const std::string err005 = "GP4TEX Error 005: Error while creating BMP texture";
    const std::string err008 = "GP4TEX Error 008: Error while creating texture";
    script->expectError(err005);
    EXPECT_FALSE(codec.Encode(params(4, 8, FourCCDXT1), pic, stream)) << "picture of another size";
    script->expectError(err005);
    EXPECT_FALSE(codec.Encode(params(0, 0, FourCCDXT1), TPicture(), stream)) << "empty";
    script->expectError(err005);
    TPicture broken = pic;
    broken.Pixels.resize(10);
    EXPECT_FALSE(codec.Encode(params(8, 4, FourCCDXT1), broken, stream)) << "pixels missing";
    script->expectError(err008);
    EXPECT_FALSE(codec.Encode(params(8, 4, FourCCDXT3), pic, stream));
    EXPECT_EQ(stream.Size(), 0) << "nothing is written for a refused texture";

    // A good texture appends exactly its data.
    stream.WriteBuffer("REC", 3);
    EXPECT_TRUE(codec.Encode(params(8, 4, FourCCDXT5), pic, stream));
    ASSERT_EQ(stream.Size(), 3 + 32);
    EXPECT_EQ(hex(std::vector<std::uint8_t>(stream.Memory() + 3, stream.Memory() + 35)), Decal8x4DXT5);
    codec.Close();
    EXPECT_EQ(script->verify(), "");
}
