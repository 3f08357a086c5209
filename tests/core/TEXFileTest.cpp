#include "app/FileError.h"
#include "app/Streams.h"
#include "formats/GP4TEX.h"
#include "formats/TextureCodec.h"

#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

using namespace paddock;
using namespace paddock::testing;

namespace {

const std::string Err001 = "GP4TEX Error 001: Invalid TEX. No header found";
const std::string Err002 = "GP4TEX Error 002: Invalid TEX. Magic ID not found";
const std::string Err004 = "GP4TEX Error 004: Invalid texture. Unsupported FourCC";
const std::string Err015 = "GP4TEX Error 015: Invalid TEX. More textures than the offset table holds";
const std::string Err016 = "GP4TEX Error 016: Invalid TEX. Table or texture runs past the end of the data";
const std::string Err017 = "GP4TEX Error 017: Invalid TEX. Texture width or height above 16384";
const std::string Err021 = "GP4TEX Error 021: Invalid TEX. Two textures share the same bytes";

constexpr std::uint32_t FourCCDXT3 = 0x33545844;

std::uint32_t u32At(const std::string& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t v)
{
    std::memcpy(bytes.data() + at, &v, 4);
}

// A record laid out as a DDS header. The bytes the program does not interpret
// carry a pattern so that their preservation shows.
TTEXTextureHeader makeRecord(std::uint32_t fourCC, std::uint32_t width, std::uint32_t height)
{
    TTEXTextureHeader r;
    for (std::size_t i = 0; i < r.Bytes.size(); ++i)
        r.Bytes[i] = static_cast<std::uint8_t>(0x40 + i);
    r.SetField(0, 0x20534444); // "DDS "
    r.SetField(4, 124);
    r.SetField(TTEXTextureHeader::HeightOffset, height);
    r.SetField(TTEXTextureHeader::WidthOffset, width);
    r.SetField(TTEXTextureHeader::LinearSizeOffset, 0xDEADBEEF);
    r.SetField(TTEXTextureHeader::MipMapCountOffset, 1);
    r.SetField(TTEXTextureHeader::FourCCOffset, fourCC);
    return r;
}

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

struct TestTexture {
    TTEXTextureHeader record;
    std::string data;
};

// A texture with random level-0 data: every bit pattern is a valid DXT block,
// and no encoder would produce these exact bytes again.
TestTexture randomTexture(std::uint32_t fourCC, int width, int height, unsigned seed)
{
    const auto format = FormatFromFourCC(fourCC);
    const std::size_t n = format ? DXTDataSize(*format, width, height) : 40;
    return {makeRecord(fourCC, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)),
            randomBytes(n, seed)};
}

struct Layout {
    std::uint32_t header1 = 0x01020304;
    std::uint32_t header2 = 0xA0B0C0D0;
    std::uint32_t layoutFlag = 0;
    std::vector<int> order;                    // block order in the file; empty: 0, 1, ...
    std::size_t gap = 0;                       // bytes between blocks
    std::optional<std::uint32_t> countOverride;
};

// Our own container bytes: header area, table, then the blocks as laid out.
std::string buildTex(const std::vector<TestTexture>& textures, const Layout& layout = {})
{
    const auto count = static_cast<std::uint32_t>(textures.size());
    std::string out(TEXHeaderAreaSize, '\xFF');
    putU32(out, 0, TEXMagic);
    putU32(out, 4, layout.header1);
    putU32(out, 8, layout.header2);
    putU32(out, 12, layout.layoutFlag);
    putU32(out, 16, layout.countOverride.value_or(count));
    std::vector<int> order = layout.order;
    if (order.empty())
        for (std::uint32_t i = 0; i < count; ++i)
            order.push_back(static_cast<int>(i));
    const std::size_t table = TTEXFile::TableStart(layout.layoutFlag);
    for (int i : order) {
        out.append(layout.gap, '\x55');
        const auto& t = textures[static_cast<std::size_t>(i)];
        putU32(out, table + static_cast<std::size_t>(i) * 8, static_cast<std::uint32_t>(out.size()));
        putU32(out, table + static_cast<std::size_t>(i) * 8 + 4, static_cast<std::uint32_t>(128 + t.data.size()));
        out.append(reinterpret_cast<const char*>(t.record.Bytes.data()), 128);
        out += t.data;
    }
    return out;
}

std::string saveToString(TTEXFile& tex)
{
    TMemoryStream stream;
    EXPECT_TRUE(tex.SaveToStream(stream));
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
}

bool loadString(TTEXFile& tex, const std::string& bytes)
{
    return tex.LoadFromBuffer(bytes.data(), bytes.size());
}

class TEXFileTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(script->verify(), ""); }

    ScopedScript script;
    TempDir dir;
};

} // namespace

TEST_F(TEXFileTest, RefusesStreamsTooShortForAHeaderOrWithoutTheMagic)
{
    const std::string container = buildTex({});
    TTEXFile tex;

    script->expectError(Err001);
    EXPECT_FALSE(loadString(tex, container.substr(0, 276)));
    script->expectError(Err001);
    EXPECT_FALSE(tex.LoadFromBuffer(nullptr, 0));

    // 277 bytes pass the size test: a container of no textures needs no more.
    EXPECT_TRUE(loadString(tex, container.substr(0, 277)));
    EXPECT_EQ(tex.Count, 0u);
    EXPECT_EQ(tex.Header1, 0x01020304u);

    std::string wrongMagic = container;
    std::memcpy(wrongMagic.data(), "TEX\0", 4);
    script->expectError(Err002);
    EXPECT_FALSE(loadString(tex, wrongMagic));
}

TEST_F(TEXFileTest, EmptyContainerSavesAsTheBareHeaderArea)
{
    TTEXFile tex;
    Layout layout;
    layout.layoutFlag = 7;
    ASSERT_TRUE(loadString(tex, buildTex({}, layout)));
    const std::string saved = saveToString(tex);
    ASSERT_EQ(saved.size(), 340u);
    EXPECT_EQ(u32At(saved, 0), TEXMagic);
    EXPECT_EQ(u32At(saved, 4), 0x01020304u);
    EXPECT_EQ(u32At(saved, 8), 0xA0B0C0D0u);
    EXPECT_EQ(u32At(saved, 12), 7u);
    EXPECT_EQ(u32At(saved, 16), 0u);
    EXPECT_EQ(saved.substr(20), std::string(320, '\xFF'));

    // A new object saves the same area with zero values.
    TTEXFile fresh;
    EXPECT_EQ(saveToString(fresh).size(), 340u);
}

TEST_F(TEXFileTest, BothLayoutsHoldTheSameTexturesAndDifferOnlyInTheTablePlace)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 8, 8, 1), randomTexture(FourCCDXT5, 4, 8, 2),
                                               randomTexture(FourCCDXT1, 12, 4, 3)};
    Layout flat, high;
    high.layoutFlag = 1;
    TTEXFile a, b;
    ASSERT_TRUE(loadString(a, buildTex(textures, flat)));
    ASSERT_TRUE(loadString(b, buildTex(textures, high)));
    ASSERT_EQ(a.Count, 3u);
    ASSERT_EQ(b.Count, 3u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(a.GetBitmap(i), nullptr);
        EXPECT_EQ(*a.GetBitmap(i), *b.GetBitmap(i));
        EXPECT_EQ(a.GetHeader(i), textures[static_cast<std::size_t>(i)].record);
    }

    const std::string savedA = saveToString(a);
    const std::string savedB = saveToString(b);
    ASSERT_EQ(savedA.size(), savedB.size());
    for (std::size_t at = 0; at < savedA.size(); ++at) {
        const bool tableA = at >= 212 && at < 212 + 24;
        const bool tableB = at >= 276 && at < 276 + 24;
        if (at >= 12 && at < 16)
            continue; // the flag itself
        if (tableA || tableB) {
            // The other layout has 0xFF where this one has its table.
            EXPECT_EQ(static_cast<unsigned char>((tableA ? savedB : savedA)[at]), 0xFF) << "byte " << at;
        } else {
            EXPECT_EQ(savedA[at], savedB[at]) << "byte " << at;
        }
    }
    EXPECT_EQ(savedA.substr(212, 24), savedB.substr(276, 24));
    EXPECT_EQ(u32At(savedA, 212), 340u);
    EXPECT_EQ(savedA, buildTex(textures, flat));
    EXPECT_EQ(savedB, buildTex(textures, high));
}

TEST_F(TEXFileTest, UntouchedContainerSavesByteForByte)
{
    // Random data in both formats, sizes not multiples of 4 included: the
    // exact bytes can only come back if the read data is kept.
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 16, 16, 11), randomTexture(FourCCDXT5, 8, 8, 12),
                                               randomTexture(FourCCDXT1, 6, 10, 13), randomTexture(FourCCDXT5, 5, 3, 14)};
    Layout layout;
    layout.layoutFlag = 2;
    const std::string original = buildTex(textures, layout);
    const std::string path = dir / "in.TEX";
    WriteBytes(path, original);

    TTEXFile tex(path);
    EXPECT_EQ(tex.FileName, path);
    ASSERT_EQ(tex.Count, 4u);
    EXPECT_EQ(tex.GetBitmap(2)->Width, 6);
    EXPECT_EQ(tex.GetBitmap(2)->Height, 10);
    EXPECT_EQ(tex.Table[1].Offset, 340u + 128u + 128u);

    const std::string out = dir / "sub/folder/out.TEX";
    ASSERT_TRUE(tex.SaveToFile(out));
    EXPECT_EQ(ReadBytes(out), original);
    EXPECT_EQ(tex.FileName, path);
    EXPECT_EQ(OursLeftIn(dir.path()), "");

    // Setting a texture to the very picture it has changes nothing either.
    const TPicture same = *tex.GetBitmap(1);
    tex.SetBitmap(1, same);
    tex.Headers[1].SetField(TTEXTextureHeader::LinearSizeOffset, 0xDEADBEEF);
    EXPECT_EQ(saveToString(tex), original);
}

TEST_F(TEXFileTest, ChangedPicturesAreEncodedAgainAndTheRestKept)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 8, 8, 21), randomTexture(FourCCDXT5, 8, 8, 22)};
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex(textures)));

    TPicture flat(12, 8);
    for (std::size_t i = 0; i < flat.Pixels.size(); i += 4) {
        flat.Pixels[i] = 0;
        flat.Pixels[i + 1] = 255;
        flat.Pixels[i + 2] = 255;
        flat.Pixels[i + 3] = 128;
    }
    tex.SetBitmap(1, flat);
    const TTEXTextureHeader h = tex.GetHeader(1);
    EXPECT_EQ(h.Width(), 12u);
    EXPECT_EQ(h.Height(), 8u);
    EXPECT_EQ(h.LinearSize(), 96u);
    EXPECT_EQ(h.FourCC(), FourCCDXT5);
    for (std::size_t i = 0; i < 128; ++i) {
        if (i != 12 && i != 13 && i != 16 && i != 17 && i != 20 && i != 21 && i != 22 && i != 23) {
            EXPECT_EQ(h.Bytes[i], textures[1].record.Bytes[i]) << "record byte " << i;
        }
    }

    const std::string saved = saveToString(tex);
    EXPECT_EQ(tex.Table[1].Size, 128u + 3u * 2u * 16u);
    EXPECT_EQ(saved.size(), 340u + 128u + 32u + 128u + 96u);
    // Texture 0 kept its data; texture 1 was encoded from the new picture:
    // six DXT5 blocks of alpha 128 at both ends and yellow (5:6:5 0xFFE0) at
    // both ends, every index 0.
    EXPECT_EQ(saved.substr(340 + 128, 32), textures[0].data);
    std::string blocks;
    for (int b = 0; b < 6; ++b)
        blocks += std::string("\x80\x80\0\0\0\0\0\0\xE0\xFF\xE0\xFF\0\0\0\0", 16);
    EXPECT_EQ(saved.substr(340 + 128 + 32 + 128), blocks);

    // Those blocks hold the new picture exactly.
    TTEXFile again;
    ASSERT_TRUE(loadString(again, saved));
    EXPECT_EQ(*again.GetBitmap(1), flat);
}

TEST_F(TEXFileTest, UnsupportedFourCCKeepsItsRecordButNoData)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 4, 4, 31), randomTexture(FourCCDXT3, 4, 4, 32),
                                               randomTexture(FourCCDXT5, 4, 4, 33)};
    TTEXFile tex;
    script->expectError(Err004);
    ASSERT_TRUE(loadString(tex, buildTex(textures)));
    EXPECT_EQ(tex.GetBitmap(1), nullptr);
    EXPECT_FALSE(tex.GetAlphaBitmap(1));
    EXPECT_NE(tex.GetBitmap(2), nullptr);

    script->expectError(Err004);
    const std::string saved = saveToString(tex);
    EXPECT_EQ(tex.Table[1].Size, 128u);
    EXPECT_EQ(tex.Table[2].Offset, tex.Table[1].Offset + 128u);
    EXPECT_EQ(saved.substr(tex.Table[1].Offset, 128),
              std::string(reinterpret_cast<const char*>(textures[1].record.Bytes.data()), 128));

    EXPECT_EQ(saved.substr(tex.Table[2].Offset + 128), textures[2].data);

    TTEXFile again;
    script->expectError(Err004);
    ASSERT_TRUE(loadString(again, saved));
    EXPECT_EQ(again.GetBitmap(1), nullptr);
    EXPECT_NE(again.GetBitmap(2), nullptr);
    EXPECT_EQ(again.GetHeader(2), textures[2].record);
}

TEST_F(TEXFileTest, BlocksOutOfOrderOrWithGapsAreSavedContiguously)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 8, 4, 41), randomTexture(FourCCDXT5, 4, 4, 42),
                                               randomTexture(FourCCDXT1, 4, 8, 43)};
    Layout scattered;
    scattered.layoutFlag = 1;
    scattered.order = {2, 0, 1};
    scattered.gap = 13;
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex(textures, scattered)));
    EXPECT_EQ(tex.Table[2].Offset, 340u + 13u);

    Layout contiguous;
    contiguous.layoutFlag = 1;
    EXPECT_EQ(saveToString(tex), buildTex(textures, contiguous));
    EXPECT_EQ(tex.Table[0].Offset, 340u);
    EXPECT_EQ(tex.Table[1].Offset, 340u + 128u + 16u);
}

TEST_F(TEXFileTest, InvalidIndexesGiveNothing)
{
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex({randomTexture(FourCCDXT1, 4, 4, 51)})));
    const TTEXTextureHeader zeros{};
    for (int index : {-1, 1, 1000}) {
        EXPECT_EQ(tex.GetHeader(index), zeros);
        EXPECT_EQ(tex.GetBitmap(index), nullptr);
        EXPECT_FALSE(tex.GetAlphaBitmap(index));
        tex.SetBitmap(index, TPicture(8, 8));
        EXPECT_FALSE(tex.ExportTGA(index, dir / "x.tga"));
        EXPECT_FALSE(tex.ImportTGA(index, dir / "missing.tga"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.tga"));
    EXPECT_EQ(tex.Count, 1u);
    EXPECT_EQ(tex.GetBitmap(0)->Width, 4);

    const std::optional<TPicture> alpha = tex.GetAlphaBitmap(0);
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->Width, 4);
}

TEST_F(TEXFileTest, CountsAndSizesBeyondTheLimitsAreRefused)
{
    TTEXFile tex;
    std::vector<TestTexture> many;
    for (unsigned i = 0; i < 17; ++i)
        many.push_back(randomTexture(FourCCDXT1, 4, 4, 60 + i));

    // 16 entries fit the table at 212, 8 the one at 276.
    Layout flat, high;
    high.layoutFlag = 1;
    EXPECT_TRUE(loadString(tex, buildTex({many.begin(), many.begin() + 16}, flat)));
    EXPECT_EQ(tex.Count, 16u);
    EXPECT_TRUE(loadString(tex, buildTex({many.begin(), many.begin() + 8}, high)));
    EXPECT_EQ(tex.Count, 8u);

    // A refused load leaves the loaded container as it was.
    Layout tooMany = flat;
    tooMany.countOverride = 17;
    script->expectError(Err015);
    EXPECT_FALSE(loadString(tex, buildTex({many.begin(), many.begin() + 16}, tooMany)));
    tooMany = high;
    tooMany.countOverride = 9;
    script->expectError(Err015);
    EXPECT_FALSE(loadString(tex, buildTex({many.begin(), many.begin() + 8}, tooMany)));
    tooMany.countOverride = 0xFFFFFFFF;
    script->expectError(Err015);
    EXPECT_FALSE(loadString(tex, buildTex({many.begin(), many.begin() + 8}, tooMany)));
    EXPECT_EQ(tex.Count, 8u);
    EXPECT_EQ(tex.Pictures.size(), 8u);

    // Sizes: 16384 is allowed (and then needs its data), 16385 is not.
    std::string big = buildTex({randomTexture(FourCCDXT5, 4, 4, 70)});
    putU32(big, 340 + 16, 16384);
    putU32(big, 340 + 12, 16384);
    script->expectError(Err016);
    EXPECT_FALSE(loadString(tex, big));
    putU32(big, 340 + 16, 16385);
    script->expectError(Err017);
    EXPECT_FALSE(loadString(tex, big));
    putU32(big, 340 + 16, 4);
    putU32(big, 340 + 12, 0xFFFFFFFF);
    script->expectError(Err017);
    EXPECT_FALSE(loadString(tex, big));

    // A table entry pointing far beyond the data.
    std::string far = buildTex({randomTexture(FourCCDXT1, 4, 4, 71)});
    putU32(far, 212, 0xFFFFFF00);
    script->expectError(Err016);
    EXPECT_FALSE(loadString(tex, far));
    EXPECT_EQ(tex.Count, 8u);

    // Every texture's bytes are its own: entries that point at one block, or
    // into another texture's record or data, would decode the same bytes
    // again and again (sixteen times a 4096 x 4096 picture from an 8 MiB
    // file). Blocks that only touch are fine.
    std::vector<TestTexture> two = {randomTexture(FourCCDXT5, 8, 8, 72), randomTexture(FourCCDXT1, 4, 4, 73)};
    const std::string adjacent = buildTex(two);
    EXPECT_TRUE(loadString(tex, adjacent));
    EXPECT_EQ(tex.Table[1].Offset, 340u + 128u + 64u);
    for (const std::uint32_t second : {340u, 340u + 128u + 63u, 340u + 1u}) {
        std::string shared = adjacent;
        putU32(shared, 212 + 8, second);
        script->expectError(Err021);
        EXPECT_FALSE(loadString(tex, shared)) << second;
    }
    // The first texture's block is the record alone when its format is not
    // read; the second may not start inside that record either.
    two[0] = {makeRecord(FourCCDXT3, 8, 8), ""};
    std::string unread = buildTex(two);
    script->expectError(Err004);
    EXPECT_TRUE(loadString(tex, unread));
    putU32(unread, 212 + 8, 340u + 127u);
    script->expectError(Err021);
    EXPECT_FALSE(loadString(tex, unread));
    // Sixteen entries on one block, in a container read with and without
    // decoding.
    std::string sixteen = buildTex(std::vector<TestTexture>(16, randomTexture(FourCCDXT1, 64, 64, 75)));
    for (std::size_t i = 1; i < 16; ++i)
        putU32(sixteen, 212 + 8 * i, 340);
    script->expectError(Err021).expectError(Err021);
    EXPECT_FALSE(loadString(tex, sixteen));
    EXPECT_FALSE(tex.LoadFromBuffer(sixteen.data(), sixteen.size(), false));
    EXPECT_EQ(tex.Count, 2u);
}

TEST_F(TEXFileTest, EveryTruncationIsRefusedCleanly)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 8, 4, 81), randomTexture(FourCCDXT3, 4, 4, 82),
                                               randomTexture(FourCCDXT5, 4, 8, 83)};
    for (std::uint32_t flag : {0u, 1u}) {
        Layout layout;
        layout.layoutFlag = flag;
        const std::string whole = buildTex(textures, layout);
        // The last byte belongs to the last texture's data, so every shorter
        // block lacks something the container claims.
        for (std::size_t length = 0; length < whole.size(); ++length) {
            // An exact-size heap copy, so that any read past it shows under
            // the address sanitizer.
            std::vector<std::uint8_t> block(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            TTEXFile tex;
            script->expectError(length <= 276 ? Err001 : Err016);
            EXPECT_FALSE(tex.LoadFromBuffer(block.data(), block.size())) << "length " << length;
            EXPECT_EQ(tex.Count, 0u);
            EXPECT_TRUE(tex.Pictures.empty());
        }
        TTEXFile tex;
        script->expectError(Err004);
        EXPECT_TRUE(loadString(tex, whole));
    }
}

TEST_F(TEXFileTest, SavingNeverReplacesAGoodFileWithABadOne)
{
    const std::string target = dir / "keep.TEX";
    WriteBytes(target, "the good file");
    std::vector<TestTexture> textures;
    for (unsigned i = 0; i < 9; ++i)
        textures.push_back(randomTexture(FourCCDXT1, 4, 4, 90 + i));
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex(textures)));

    // Nine textures do not fit the table of the other layout.
    tex.LayoutFlag = 1;
    script->expectError(Err015);
    EXPECT_FALSE(tex.SaveToFile(target));
    TMemoryStream stream;
    script->expectError(Err015);
    EXPECT_FALSE(tex.SaveToStream(stream));
    EXPECT_EQ(stream.Size(), 0);

    // A failure that ends the save with an exception part-way.
    tex.LayoutFlag = 0;
    tex.Count = 10;
    EXPECT_THROW(tex.SaveToFile(target), std::logic_error);

    EXPECT_EQ(ReadBytes(target), "the good file");
    EXPECT_EQ(OursLeftIn(dir.path()), "");

    tex.Count = 9;
    ASSERT_TRUE(tex.SaveToFile(target));
    EXPECT_EQ(ReadBytes(target), buildTex(textures));
}

TEST_F(TEXFileTest, SaveToStreamStartsAtThePositionAndEndsAtTheEnd)
{
    const std::vector<TestTexture> textures = {randomTexture(FourCCDXT1, 4, 4, 101)};
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex(textures)));
    TMemoryStream stream;
    stream.WriteBuffer("prefix", 6);
    ASSERT_TRUE(tex.SaveToStream(stream));
    EXPECT_EQ(stream.Position(), stream.Size());
    stream.WriteBuffer("!", 1);
    const std::string bytes(reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
    EXPECT_EQ(bytes, "prefix" + buildTex(textures) + "!");
    EXPECT_EQ(tex.Table[0].Offset, 340u);
}

TEST_F(TEXFileTest, MissingFilesRaiseFileErrors)
{
    TTEXFile tex;
    EXPECT_THROW(tex.LoadFromFile(dir / "none.TEX"), EFileError);
    EXPECT_THROW(TTEXFile(dir / "none.TEX"), EFileError);
}

TEST_F(TEXFileTest, DecodedPicturesFollowTheTableOrder)
{
    // One flat-coloured DXT1 block per texture: colour0 = colour1, indices 0.
    auto flatBlock = [](std::uint16_t rgb565) {
        std::string b(8, '\0');
        b[0] = b[2] = static_cast<char>(rgb565 & 0xFF);
        b[1] = b[3] = static_cast<char>(rgb565 >> 8);
        return b;
    };
    const std::vector<TestTexture> textures = {{makeRecord(FourCCDXT1, 4, 4), flatBlock(0xF800)},
                                               {makeRecord(FourCCDXT1, 4, 4), flatBlock(0x001F)}};
    Layout reversed;
    reversed.order = {1, 0};
    TTEXFile tex;
    ASSERT_TRUE(loadString(tex, buildTex(textures, reversed)));
    const TPicture* red = tex.GetBitmap(0);
    const TPicture* blue = tex.GetBitmap(1);
    ASSERT_TRUE(red && blue);
    EXPECT_EQ(red->Pixel(3, 3)[2], 255); // red byte
    EXPECT_EQ(red->Pixel(3, 3)[0], 0);
    EXPECT_EQ(blue->Pixel(0, 0)[0], 255); // blue byte
    EXPECT_EQ(blue->Pixel(0, 0)[3], 255);
}
