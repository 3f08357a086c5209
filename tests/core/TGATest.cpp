#include "app/FileError.h"
#include "app/Streams.h"
#include "formats/GP4TEX.h"
#include "formats/PNG.h"
#include "formats/TGA.h"
#include "formats/TextureCodec.h"

#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "DemoTextures.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>

using namespace paddock;
using namespace paddock::testing;

namespace {

const std::string Err013 = "GP4TEX Error 013: Invalid TGA. Width and height must be multiples of 4";
const std::string Err014 = "GP4TEX Error 014: Invalid TGA. Needs to be 32 Bit (24 Bit Colors + Alpha Channel)";
const std::string Err018 = "GP4TEX Error 018: Invalid TGA. Width and height must be from 4 to 16384";
const std::string Err019 = "GP4TEX Error 019: Invalid TGA. The file ends before the picture does";
const std::string Err020 = "GP4TEX Error 020: Invalid TGA. A run-length packet runs past the end of the picture";

std::string asString(const std::vector<std::uint8_t>& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TPicture filled(int width, int height, std::uint32_t bgra)
{
    TPicture p(width, height);
    for (std::size_t i = 0; i < p.Pixels.size(); i += 4)
        std::memcpy(&p.Pixels[i], &bgra, 4);
    return p;
}

// Random pixels with runs of equal pixels mixed in, as real art has them.
TPicture mixedPicture(int width, int height, unsigned seed)
{
    return demo::MakeRunsPicture(width, height, seed, 3);
}

// A TGA header of our own making for the reader's tests.
std::string tgaHeader(std::uint8_t type, int width, int height, std::uint8_t depth, bool topFirst,
                      std::uint8_t idLength = 0, std::uint8_t colourMapType = 0, std::uint16_t mapLength = 0,
                      std::uint8_t mapEntryBits = 0)
{
    std::string h(18, '\0');
    h[0] = static_cast<char>(idLength);
    h[1] = static_cast<char>(colourMapType);
    h[2] = static_cast<char>(type);
    h[5] = static_cast<char>(mapLength & 0xFF);
    h[6] = static_cast<char>(mapLength >> 8);
    h[7] = static_cast<char>(mapEntryBits);
    h[12] = static_cast<char>(width & 0xFF);
    h[13] = static_cast<char>(width >> 8);
    h[14] = static_cast<char>(height & 0xFF);
    h[15] = static_cast<char>(height >> 8);
    h[16] = static_cast<char>(depth);
    h[17] = static_cast<char>(topFirst ? 0x28 : 0x08);
    return h;
}

std::string rowsOf(const TPicture& p, bool topFirst)
{
    std::string out;
    for (int i = 0; i < p.Height; ++i) {
        const int y = topFirst ? i : p.Height - 1 - i;
        out.append(reinterpret_cast<const char*>(p.Row(y)), p.RowBytes());
    }
    return out;
}

TGAStatus decode(const std::string& bytes, TPicture& picture)
{
    // An exact-size heap copy, so that a read past it shows under the
    // address sanitizer.
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    return DecodeTGA(copy.data(), copy.size(), picture);
}

PNGStatus decodePNG(const std::string& bytes, TPicture& picture)
{
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    return DecodePNG(copy.data(), copy.size(), picture);
}

// The pixels of a picture in the order red, green, blue, alpha.
std::string rgbaOf(const TPicture& p)
{
    std::string out;
    for (std::size_t i = 0; i < p.Pixels.size(); i += 4)
        out += {static_cast<char>(p.Pixels[i + 2]), static_cast<char>(p.Pixels[i + 1]), static_cast<char>(p.Pixels[i]),
                static_cast<char>(p.Pixels[i + 3])};
    return out;
}

struct Packet {
    bool run;
    int count;
};

// Splits run-length data into its packets; fails the test on bad data.
std::vector<Packet> packetsOf(const std::string& data)
{
    std::vector<Packet> packets;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const auto header = static_cast<std::uint8_t>(data[pos++]);
        const Packet p{(header & 0x80) != 0, (header & 0x7F) + 1};
        pos += p.run ? 4 : static_cast<std::size_t>(p.count) * 4;
        packets.push_back(p);
    }
    EXPECT_EQ(pos, data.size());
    return packets;
}

// A container of textures of the given sizes, all DXT5, with random data.
std::string texWith(const std::vector<std::pair<int, int>>& sizes)
{
    std::string out(TEXHeaderAreaSize, '\xFF');
    auto put = [&out](std::size_t at, std::uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
    put(0, TEXMagic);
    put(4, 0);
    put(8, 0);
    put(12, 0);
    put(16, static_cast<std::uint32_t>(sizes.size()));
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        TTEXTextureHeader r;
        r.SetField(0, 0x20534444);
        r.SetField(TTEXTextureHeader::WidthOffset, static_cast<std::uint32_t>(sizes[i].first));
        r.SetField(TTEXTextureHeader::HeightOffset, static_cast<std::uint32_t>(sizes[i].second));
        r.SetField(TTEXTextureHeader::FourCCOffset, FourCCDXT5);
        r.SetField(100, 0x12345678);
        const std::size_t n = DXTDataSize(DXTFormat::DXT5, sizes[i].first, sizes[i].second);
        put(212 + i * 8, static_cast<std::uint32_t>(out.size()));
        put(212 + i * 8 + 4, static_cast<std::uint32_t>(128 + n));
        out.append(reinterpret_cast<const char*>(r.Bytes.data()), 128);
        for (std::size_t k = 0; k < n; ++k)
            out.push_back(static_cast<char>(rng() & 0xFF));
    }
    return out;
}

class TGATexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string bytes = texWith({{8, 8}, {4, 4}, {4, 4}});
        ASSERT_TRUE(tex.LoadFromBuffer(bytes.data(), bytes.size()));
    }
    void TearDown() override { EXPECT_EQ(script->verify(), ""); }

    ScopedScript script;
    TempDir dir;
    TTEXFile tex;
};

} // namespace

TEST(TGAWriter, FourByFourFlatPictureIsThirtyEightBytes)
{
    const std::string bytes = asString(EncodeTGA(filled(4, 4, 0x80112233)));
    const std::string header("\x00\x00\x0A\x00\x00\x00\x01\x18\x00\x00\x00\x00\x04\x00\x04\x00\x20\x20", 18);
    ASSERT_EQ(bytes.size(), 38u);
    EXPECT_EQ(bytes.substr(0, 18), header);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(bytes.substr(18 + static_cast<std::size_t>(row) * 5, 5), std::string("\x83\x33\x22\x11\x80", 5));
}

TEST(TGAWriter, PacketsHoldAtMost128PixelsAndNeverCrossARow)
{
    // 300 equal pixels per row, then rows of all-different pixels.
    TPicture p(300, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 300; ++x) {
            const std::uint32_t v = y < 2 ? 0xFF00FF00u : static_cast<std::uint32_t>(y * 1000 + x);
            std::memcpy(p.Pixel(x, y), &v, 4);
        }
    const std::string bytes = asString(EncodeTGA(p));
    const std::vector<Packet> packets = packetsOf(bytes.substr(18));
    std::vector<int> counts;
    for (const Packet& k : packets)
        counts.push_back(k.run ? k.count : -k.count);
    EXPECT_EQ(counts, (std::vector<int>{128, 128, 44, 128, 128, 44, -128, -128, -44, -128, -128, -44}));

    TPicture back;
    ASSERT_EQ(decode(bytes, back), TGAStatus::Ok);
    EXPECT_EQ(back, p);
}

TEST(TGAWriter, MixedPicturesRoundTripWithRowBoundPackets)
{
    for (auto [w, h] : {std::pair{4, 4}, std::pair{132, 8}, std::pair{256, 64}}) {
        const TPicture p = mixedPicture(w, h, static_cast<unsigned>(w));
        const std::string bytes = asString(EncodeTGA(p));
        int inRow = 0;
        for (const Packet& k : packetsOf(bytes.substr(18))) {
            inRow += k.count;
            ASSERT_LE(inRow, w);
            if (inRow == w)
                inRow = 0;
        }
        EXPECT_EQ(inRow, 0);
        TPicture back;
        ASSERT_EQ(decode(bytes, back), TGAStatus::Ok);
        EXPECT_EQ(back, p);
    }
}

TEST(TGAReader, BothOriginsBothTypesAndSkippedExtrasGiveTheSamePicture)
{
    const TPicture p = mixedPicture(8, 12, 5);
    const std::string rle = asString(EncodeTGA(p)).substr(18); // top row first

    std::vector<std::string> files = {
        tgaHeader(2, 8, 12, 32, true) + rowsOf(p, true),
        tgaHeader(2, 8, 12, 32, false) + rowsOf(p, false),
        tgaHeader(10, 8, 12, 32, true) + rle,
        tgaHeader(2, 8, 12, 32, true, 5) + "12345" + rowsOf(p, true),
        // A colour map of 3 entries of 24 bits before the pixels.
        tgaHeader(2, 8, 12, 32, false, 2, 1, 3, 24) + "ID" + std::string(9, 'm') + rowsOf(p, false),
        // Colour-map fields without a colour map are not a map.
        tgaHeader(2, 8, 12, 32, true, 0, 0, 256, 24) + rowsOf(p, true),
    };
    // Bottom-up run-length data with packets that cross rows.
    std::string crossing = tgaHeader(10, 8, 12, 32, false);
    const std::string bottomUp = rowsOf(p, false);
    for (std::size_t at = 0; at < bottomUp.size(); at += 12 * 4) {
        crossing.push_back(static_cast<char>(11));
        crossing += bottomUp.substr(at, 12 * 4);
    }
    files.push_back(crossing);

    for (std::size_t i = 0; i < files.size(); ++i) {
        TPicture back;
        ASSERT_EQ(decode(files[i], back), TGAStatus::Ok) << "file " << i;
        EXPECT_EQ(back, p) << "file " << i;
    }
}

TEST(TGAReader, RefusesWhatItCannotTake)
{
    const TPicture p = mixedPicture(32, 32, 9);
    TPicture out = filled(4, 4, 1);
    const TPicture untouched = out;
    auto status = [&](const std::string& bytes) { return decode(bytes, out); };

    EXPECT_EQ(status(tgaHeader(2, 32, 32, 24, true) + std::string(32 * 32 * 3, 'x')), TGAStatus::NotTrueColour32);
    EXPECT_EQ(status(tgaHeader(3, 32, 32, 32, true) + rowsOf(p, true)), TGAStatus::NotTrueColour32);
    EXPECT_EQ(status(tgaHeader(1, 32, 32, 32, true) + rowsOf(p, true)), TGAStatus::NotTrueColour32);
    EXPECT_EQ(status(tgaHeader(2, 30, 32, 24, true)), TGAStatus::NotTrueColour32); // depth is checked first
    EXPECT_EQ(status(tgaHeader(2, 30, 32, 32, true) + rowsOf(p, true)), TGAStatus::SizeNotMultipleOf4);
    EXPECT_EQ(status(tgaHeader(2, 32, 30, 32, true) + rowsOf(p, true)), TGAStatus::SizeNotMultipleOf4);
    EXPECT_EQ(status(tgaHeader(2, 0, 0, 32, true)), TGAStatus::SizeOutOfRange);
    EXPECT_EQ(status(tgaHeader(2, 16388, 4, 32, true)), TGAStatus::SizeOutOfRange);
    EXPECT_EQ(status(tgaHeader(10, 4, 65532, 32, true)), TGAStatus::SizeOutOfRange);
    EXPECT_EQ(out, untouched);

    // Truncations: header, image ID, raw pixels.
    const std::string raw = tgaHeader(2, 32, 32, 32, true, 3) + "abc" + rowsOf(p, true);
    for (std::size_t length : {std::size_t{0}, std::size_t{17}, std::size_t{19}, raw.size() - 1})
        EXPECT_EQ(status(raw.substr(0, length)), TGAStatus::Truncated) << "length " << length;
    EXPECT_EQ(status(tgaHeader(2, 4, 4, 32, true, 0, 1, 0xFFFF, 32) + rowsOf(filled(4, 4, 0), true)),
              TGAStatus::Truncated);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(status(raw), TGAStatus::Ok);
    EXPECT_EQ(out, p);
}

TEST(TGAReader, DamagedRunLengthDataIsRefused)
{
    const TPicture p = mixedPicture(16, 8, 3);
    const std::string good = asString(EncodeTGA(p));
    TPicture out = filled(4, 4, 1);
    const TPicture untouched = out;

    // Every truncation of the packets.
    for (std::size_t length = 18; length < good.size(); ++length)
        ASSERT_EQ(decode(good.substr(0, length), out), TGAStatus::Truncated) << "length " << length;

    const std::string header = tgaHeader(10, 4, 4, 32, true);
    const std::string pixel("\x01\x02\x03\x04", 4);
    std::string runPast = header;
    for (int i = 0; i < 3; ++i)
        runPast += "\x83" + pixel;
    runPast += "\x84" + pixel; // five pixels where four are left
    EXPECT_EQ(decode(runPast, out), TGAStatus::RunPastPicture);

    std::string rawPast = header + "\x8E" + pixel; // fifteen of sixteen
    rawPast += '\x01' + pixel + pixel;             // two raw where one is left
    EXPECT_EQ(decode(rawPast, out), TGAStatus::RunPastPicture);

    // One packet that claims everything at once, past a small picture.
    EXPECT_EQ(decode(header + "\xFF" + pixel, out), TGAStatus::RunPastPicture);
    // A raw packet whose pixels the file does not hold.
    EXPECT_EQ(decode(header + '\x7F' + pixel + std::string(60, 'x'), out), TGAStatus::RunPastPicture);
    EXPECT_EQ(decode(header + '\x0F' + pixel, out), TGAStatus::Truncated);
    // A huge picture claimed by a few bytes is refused before it is allocated.
    EXPECT_EQ(decode(tgaHeader(10, 16384, 16384, 32, true) + "\xFF" + pixel, out), TGAStatus::Truncated);
    EXPECT_EQ(out, untouched);
}

TEST(PNGReader, ReadsColourWithAlphaInThePicturesOrderAndRefusesTheRest)
{
    // A file of our own making reads as its pixels, red and blue swapped
    // into the picture's order; what the writer makes reads back equal.
    const TPicture p = mixedPicture(12, 8, 4);
    TPicture out;
    ASSERT_EQ(decodePNG(StoredPNG(12, 8, 6, rgbaOf(p)), out), PNGStatus::Ok);
    EXPECT_EQ(out, p);
    const TPicture large = mixedPicture(256, 64, 5);
    ASSERT_EQ(decodePNG(asString(EncodePNG(large)), out), PNGStatus::Ok);
    EXPECT_EQ(out, large);
    EXPECT_THROW(EncodePNG(TPicture()), std::invalid_argument);

    out = filled(4, 4, 1);
    const TPicture untouched = out;
    const std::string pixels = rgbaOf(p);
    const std::string good = StoredPNG(12, 8, 6, pixels);
    EXPECT_EQ(decodePNG("", out), PNGStatus::NotPNG);
    EXPECT_EQ(decodePNG(good.substr(0, 32), out), PNGStatus::NotPNG);
    EXPECT_EQ(decodePNG("GIF89a" + good.substr(6), out), PNGStatus::NotPNG);
    EXPECT_EQ(decodePNG(good.substr(0, 12) + "tEXt" + good.substr(16), out), PNGStatus::NotPNG);
    // Colour without alpha, grey with alpha, a palette, 16 bits a channel.
    EXPECT_EQ(decodePNG(StoredPNG(12, 8, 2, std::string(12 * 8 * 3, 'x')), out), PNGStatus::NotTrueColour32);
    EXPECT_EQ(decodePNG(StoredPNG(12, 8, 4, std::string(12 * 8 * 2, 'x')), out), PNGStatus::NotTrueColour32);
    EXPECT_EQ(decodePNG(StoredPNG(12, 8, 3, std::string(12 * 8, 'x')), out), PNGStatus::NotTrueColour32);
    EXPECT_EQ(decodePNG(StoredPNG(12, 8, 6, pixels + pixels, 16), out), PNGStatus::NotTrueColour32);
    EXPECT_EQ(decodePNG(StoredPNG(10, 8, 6, std::string(10 * 8 * 4, 'x')), out), PNGStatus::SizeNotMultipleOf4);
    EXPECT_EQ(decodePNG(StoredPNG(12, 6, 6, std::string(12 * 6 * 4, 'x')), out), PNGStatus::SizeNotMultipleOf4);
    EXPECT_EQ(decodePNG(StoredPNG(0, 8, 6, ""), out), PNGStatus::SizeOutOfRange);
    EXPECT_EQ(decodePNG(StoredPNG(16388, 4, 6, ""), out), PNGStatus::SizeOutOfRange);
    // Every cut through the chunks, data that ends before the picture does,
    // and a huge picture claimed by a few bytes, refused before it is
    // allocated.
    for (std::size_t length = 33; length < good.size(); length += 7)
        EXPECT_EQ(decodePNG(good.substr(0, length), out), PNGStatus::Damaged) << "length " << length;
    EXPECT_EQ(decodePNG(StoredPNG(12, 8, 6, pixels.substr(0, pixels.size() - 48)), out), PNGStatus::Damaged);
    EXPECT_EQ(decodePNG(StoredPNG(16384, 16384, 6, std::string(64 * 1024, '\0')), out), PNGStatus::Damaged);
    EXPECT_EQ(out, untouched);
}

TEST_F(TGATexTest, ImportRefusalsKeepTheOldPicture)
{
    const TPicture before = *tex.GetBitmap(0);
    const TTEXTextureHeader record = tex.GetHeader(0);
    const TPicture p32 = mixedPicture(32, 32, 1);
    struct Case {
        std::string bytes;
        std::string message;
    };
    std::string runPast = tgaHeader(10, 4, 4, 32, true) + "\xFF" + std::string(4, 'p');
    const std::vector<Case> cases = {
        {tgaHeader(2, 32, 32, 24, true) + std::string(32 * 32 * 3, 'x'), Err014},
        {tgaHeader(2, 30, 32, 32, true) + rowsOf(mixedPicture(30, 32, 2), true), Err013},
        {tgaHeader(2, 32, 30, 32, true) + rowsOf(mixedPicture(32, 30, 2), true), Err013},
        {tgaHeader(2, 0, 8, 32, true), Err018},
        {tgaHeader(2, 32, 32, 32, true) + rowsOf(p32, true).substr(1), Err019},
        {std::string("\x00\x00\x0A", 3), Err019},
        {runPast, Err020},
    };
    for (const Case& c : cases) {
        WriteBytes(dir / "in.tga", c.bytes);
        script->expectError(c.message);
        EXPECT_FALSE(tex.ImportTGA(0, dir / "in.tga")) << c.message;
        EXPECT_EQ(*tex.GetBitmap(0), before);
        EXPECT_EQ(tex.GetHeader(0), record);
    }

    WriteBytes(dir / "in.tga", tgaHeader(2, 32, 32, 32, false) + rowsOf(p32, false));
    EXPECT_TRUE(tex.ImportTGA(0, dir / "in.tga"));
    EXPECT_EQ(*tex.GetBitmap(0), p32);
    EXPECT_EQ(tex.GetHeader(0).Width(), 32u);
    EXPECT_EQ(tex.GetHeader(0).Height(), 32u);
    EXPECT_EQ(tex.GetHeader(0).LinearSize(), 1024u);
    EXPECT_EQ(tex.GetHeader(0).Field(100), 0x12345678u);

    EXPECT_THROW(tex.ImportTGA(0, dir / "missing.tga"), EFileError);

    // PNG files pass the same checks, each refusal with its message.
    const TPicture p16 = mixedPicture(16, 16, 3);
    const std::vector<Case> pngCases = {
        {"\x89PNG", "GP4TEX Error 022: Invalid PNG. No PNG signature and header found"},
        {StoredPNG(16, 16, 2, std::string(16 * 16 * 3, 'x')),
         "GP4TEX Error 023: Invalid PNG. Needs to be 32 Bit (24 Bit Colors + Alpha Channel, 8 Bit each)"},
        {asString(EncodePNG(mixedPicture(18, 16, 2))),
         "GP4TEX Error 024: Invalid PNG. Width and height must be multiples of 4"},
        {StoredPNG(16, 16384 + 4, 6, ""), "GP4TEX Error 025: Invalid PNG. Width and height must be from 4 to 16384"},
        {asString(EncodePNG(p16)).substr(0, 60), "GP4TEX Error 026: Invalid PNG. The picture data is damaged or ends early"},
    };
    for (const Case& c : pngCases) {
        WriteBytes(dir / "in.png", c.bytes);
        script->expectError(c.message);
        EXPECT_FALSE(tex.ImportPNG(0, dir / "in.png")) << c.message;
        EXPECT_EQ(*tex.GetBitmap(0), p32);
    }
    WriteBytes(dir / "in.png", asString(EncodePNG(p16)));
    EXPECT_TRUE(tex.ImportPNG(0, dir / "in.png"));
    EXPECT_EQ(*tex.GetBitmap(0), p16);
    EXPECT_EQ(tex.GetHeader(0).LinearSize(), 256u);
}

TEST_F(TGATexTest, ExportThenImportLeavesThePictureAlone)
{
    const TPicture before = *tex.GetBitmap(0);
    TTEXTextureHeader record = tex.GetHeader(0);
    ASSERT_TRUE(tex.ExportTGA(0, dir / "t.tga"));
    const std::string file = ReadBytes(dir / "t.tga");
    // Run-length true colour, 8 x 8, 32 bits, top row first.
    const std::string header("\x00\x00\x0A\x00\x00\x00\x01\x18\x00\x00\x00\x00\x08\x00\x08\x00\x20\x20", 18);
    EXPECT_EQ(file.substr(0, 18), header);
    ASSERT_TRUE(tex.ImportTGA(0, dir / "t.tga"));
    EXPECT_EQ(*tex.GetBitmap(0), before);
    record.SetField(TTEXTextureHeader::LinearSizeOffset, 64);
    EXPECT_EQ(tex.GetHeader(0), record);
}

TEST_F(TGATexTest, AllTexturesGoThroughNumberedFiles)
{
    const std::string mask = dir / "out/car*.TGA";
    std::filesystem::create_directories(dir / "out");
    ASSERT_TRUE(tex.ExportAllTGA(mask));
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir / ("out/car" + std::to_string(i) + ".TGA");
        ASSERT_TRUE(std::filesystem::exists(name));
        TPicture exported;
        ASSERT_EQ(decode(ReadBytes(name), exported), TGAStatus::Ok) << name;
        EXPECT_EQ(exported, *tex.GetBitmap(i)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out/car3.TGA"));

    // Replace the files by new pictures; file 1 is damaged, the rest apply.
    const TPicture p0 = mixedPicture(16, 8, 10), p2 = mixedPicture(4, 12, 12);
    WriteBytes(dir / "out/car0.TGA", asString(EncodeTGA(p0)));
    WriteBytes(dir / "out/car1.TGA", tgaHeader(2, 8, 8, 24, true));
    WriteBytes(dir / "out/car2.TGA", asString(EncodeTGA(p2)));
    const TPicture old1 = *tex.GetBitmap(1);
    script->expectError(Err014);
    EXPECT_FALSE(tex.ImportAllTGA(mask));
    EXPECT_EQ(*tex.GetBitmap(0), p0);
    EXPECT_EQ(*tex.GetBitmap(1), old1);
    EXPECT_EQ(*tex.GetBitmap(2), p2);

    WriteBytes(dir / "out/car1.TGA", asString(EncodeTGA(p0)));
    EXPECT_TRUE(tex.ImportAllTGA(mask));
}

TEST_F(TGATexTest, TexturesWithoutPicturesAreNotExported)
{
    std::string bytes = texWith({{4, 4}, {4, 4}});
    std::uint32_t dxt3 = 0x33545844;
    std::memcpy(bytes.data() + 340 + 128 + 16 + 84, &dxt3, 4);
    TTEXFile t;
    script->expectError("GP4TEX Error 004: Invalid texture. Unsupported FourCC");
    ASSERT_TRUE(t.LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_FALSE(t.ExportAllTGA(dir / "t*.tga"));
    EXPECT_TRUE(std::filesystem::exists(dir / "t0.tga"));
    EXPECT_FALSE(std::filesystem::exists(dir / "t1.tga"));
}

TEST(Downsample, SizesShrinkStepByStepToMultiplesOfFour)
{
    auto sizesAfter = [](std::vector<std::pair<int, int>> sizes, std::uint8_t factor) {
        const std::string bytes = texWith(sizes);
        TTEXFile tex;
        EXPECT_TRUE(tex.LoadFromBuffer(bytes.data(), bytes.size()));
        EXPECT_TRUE(tex.Downsample(factor));
        std::vector<std::pair<int, int>> out;
        for (std::uint32_t i = 0; i < tex.Count; ++i) {
            const TTEXTextureHeader h = tex.GetHeader(static_cast<int>(i));
            const TPicture* p = tex.GetBitmap(static_cast<int>(i));
            EXPECT_EQ(p->Width, static_cast<int>(h.Width()));
            EXPECT_EQ(p->Height, static_cast<int>(h.Height()));
            if (i > 0) { // texture 0 is the source and keeps its record
                EXPECT_EQ(h.LinearSize(), h.Width() * h.Height());
            }
            EXPECT_EQ(h.FourCC(), FourCCDXT5);
            out.emplace_back(p->Width, p->Height);
        }
        return out;
    };
    using Sizes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(sizesAfter({{64, 32}, {4, 4}, {4, 4}, {4, 4}}, 2), (Sizes{{64, 32}, {32, 16}, {16, 8}, {8, 4}}));
    EXPECT_EQ(sizesAfter({{12, 12}, {4, 4}, {4, 4}, {4, 4}}, 2), (Sizes{{12, 12}, {8, 8}, {4, 4}, {4, 4}}));
    EXPECT_EQ(sizesAfter({{256, 256}, {4, 4}, {4, 4}}, 3), (Sizes{{256, 256}, {88, 88}, {32, 32}}));
    // A factor larger than the size leaves 0, which stays 0.
    EXPECT_EQ(sizesAfter({{8, 4}, {4, 4}}, 16), (Sizes{{8, 4}, {0, 0}}));
}

TEST(Downsample, TakesWholeSourcePixelsRowsAndColumns)
{
    // Each source pixel names its own column and row, alpha included.
    TPicture source(12, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            std::uint8_t* px = source.Pixel(x, y);
            px[0] = static_cast<std::uint8_t>(x);
            px[1] = static_cast<std::uint8_t>(y);
            px[2] = static_cast<std::uint8_t>(x * 16 + y);
            px[3] = static_cast<std::uint8_t>(255 - x - 12 * y);
        }
    const std::string bytes = texWith({{4, 4}, {4, 4}, {4, 4}});
    TTEXFile tex;
    ASSERT_TRUE(tex.LoadFromBuffer(bytes.data(), bytes.size()));
    tex.SetBitmap(0, source);
    ASSERT_TRUE(tex.Downsample(2));

    const TPicture& half = *tex.GetBitmap(1);
    ASSERT_EQ(half.Width, 8);
    std::vector<int> columns(8, -1), rows(8, -1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t* px = half.Pixel(x, y);
            const int sx = px[0], sy = px[1];
            ASSERT_LT(sx, 12);
            ASSERT_LT(sy, 12);
            EXPECT_EQ(std::memcmp(px, source.Pixel(sx, sy), 4), 0); // a whole source pixel
            // Each destination column takes one source column, each row one row.
            if (columns[static_cast<std::size_t>(x)] < 0)
                columns[static_cast<std::size_t>(x)] = sx;
            if (rows[static_cast<std::size_t>(y)] < 0)
                rows[static_cast<std::size_t>(y)] = sy;
            EXPECT_EQ(columns[static_cast<std::size_t>(x)], sx);
            EXPECT_EQ(rows[static_cast<std::size_t>(y)], sy);
        }
    for (std::size_t i = 1; i < 8; ++i) {
        EXPECT_LT(columns[i - 1], columns[i]);
        EXPECT_LT(rows[i - 1], rows[i]);
    }
    const TPicture& quarter = *tex.GetBitmap(2);
    ASSERT_EQ(quarter.Width, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* px = quarter.Pixel(x, y);
            EXPECT_EQ(std::memcmp(px, source.Pixel(px[0] % 12, px[1] % 12), 4), 0);
        }
}

TEST(Downsample, NothingToDoOrNothingToDrawFrom)
{
    const std::string one = texWith({{8, 8}});
    TTEXFile tex;
    ASSERT_TRUE(tex.LoadFromBuffer(one.data(), one.size()));
    const TPicture before = *tex.GetBitmap(0);
    EXPECT_TRUE(tex.Downsample(2));
    EXPECT_EQ(*tex.GetBitmap(0), before);
    TTEXFile empty;
    EXPECT_TRUE(empty.Downsample(2));

    const std::string two = texWith({{8, 8}, {8, 8}});
    ASSERT_TRUE(tex.LoadFromBuffer(two.data(), two.size()));
    const TPicture second = *tex.GetBitmap(1);
    EXPECT_FALSE(tex.Downsample(0));
    EXPECT_EQ(*tex.GetBitmap(1), second);
}

TEST(ScalePicture, EachPixelIsTheAreaItCoversWeightedByAlpha)
{
    auto picture = [](int width, int height, std::vector<std::uint32_t> argb) {
        TPicture p(width, height);
        for (std::size_t i = 0; i < argb.size(); ++i)
            for (int c = 0; c < 4; ++c)
                p.Pixels[4 * i + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(argb[i] >> (8 * c));
        return p;
    };
    auto argbAt = [](const TPicture& p, int x, int y) {
        const std::uint8_t* px = p.Pixel(x, y);
        return std::uint32_t(px[3]) << 24 | std::uint32_t(px[2]) << 16 | std::uint32_t(px[1]) << 8 | px[0];
    };

    // The same size: the same picture.
    TPicture mixed(12, 8);
    std::mt19937 random(7);
    for (std::uint8_t& b : mixed.Pixels)
        b = static_cast<std::uint8_t>(random());
    EXPECT_EQ(ScalePicture(mixed, 12, 8), mixed);

    // Three grey pixels to two: each takes one whole pixel and half of the
    // middle one; one pixel to three: three copies.
    const TPicture row = picture(3, 1, {0xFF000000, 0xFF5A5A5A, 0xFFB4B4B4});
    const TPicture two = ScalePicture(row, 2, 1);
    EXPECT_EQ(argbAt(two, 0, 0), 0xFF1E1E1Eu); // (0 * 2 + 90) / 3 = 30
    EXPECT_EQ(argbAt(two, 1, 0), 0xFF969696u); // (90 + 180 * 2) / 3 = 150
    EXPECT_EQ(ScalePicture(picture(1, 1, {0x80102030}), 3, 1), picture(3, 1, {0x80102030, 0x80102030, 0x80102030}));

    // What is transparent lends no colour, however much of the area it
    // covers; where all is transparent, the colours are averaged plainly.
    const TPicture quad = picture(2, 2, {0xFFFF0000, 0x000000FF, 0x000000FF, 0x000000FF});
    EXPECT_EQ(argbAt(ScalePicture(quad, 1, 1), 0, 0), 0x40FF0000u);
    EXPECT_EQ(argbAt(ScalePicture(picture(2, 1, {0x00FF0000, 0x000000FF}), 1, 1), 0, 0), 0x00800080u);

    EXPECT_TRUE(ScalePicture(row, 0, 4).Empty());
    EXPECT_TRUE(ScalePicture(TPicture(), 4, 4).Empty());
}
