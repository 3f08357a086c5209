// Our texture decoding and TGA files checked against independent readers and
// writers: Pillow (through /usr/bin/python3) and ImageMagick's convert.

#include "app/Streams.h"
#include "formats/GP4TEX.h"
#include "formats/TGA.h"
#include "formats/TextureCodec.h"

#include "ScriptedInteraction.h"
#include "InteropSupport.h"
#include "DemoTextures.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <tuple>

using namespace paddock;
using namespace paddock::testing;

namespace {

// Reads every picture named on the command line with Pillow and writes its
// RGBA pixels, top row first, to the same name + ".rgba". With "save", writes
// a raw RGBA picture as TGA files in Pillow's variants instead.
const char* const PillowScript = R"PY(
import sys
from PIL import Image
if sys.argv[1] == "read":
    for name in sys.argv[2:]:
        with Image.open(name) as im:
            im.load()
            open(name + ".rgba", "wb").write(im.convert("RGBA").tobytes())
else:
    raw, width, height, prefix = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
    im = Image.frombytes("RGBA", (width, height), open(raw, "rb").read())
    for compression in (None, "tga_rle"):
        for orientation in (1, -1):
            name = "%s_%s_%s.tga" % (prefix, compression or "raw", "top" if orientation == 1 else "bottom")
            im.save(name, compression=compression, orientation=orientation, id_section=b"Paddock test")
)PY";

std::string writePillowScript(const TempDir& dir)
{
    const std::string path = dir / "pillow.py";
    WriteBytes(path, PillowScript);
    return path;
}

std::string bgraToRgba(const TPicture& p)
{
    std::string out(p.Pixels.size(), '\0');
    for (std::size_t i = 0; i < p.Pixels.size(); i += 4) {
        out[i] = static_cast<char>(p.Pixels[i + 2]);
        out[i + 1] = static_cast<char>(p.Pixels[i + 1]);
        out[i + 2] = static_cast<char>(p.Pixels[i]);
        out[i + 3] = static_cast<char>(p.Pixels[i + 3]);
    }
    return out;
}

// Random pixels, alpha included, with runs of equal pixels.
TPicture mixedPicture(int width, int height, unsigned seed)
{
    return demo::MakeRunsPicture(width, height, seed, 4);
}

// A plain DDS header for a texture of one level.
TTEXTextureHeader ddsRecord(std::uint32_t fourCC, int width, int height)
{
    TTEXTextureHeader r;
    r.SetField(0, 0x20534444);   // "DDS "
    r.SetField(4, 124);          // size of the description
    r.SetField(8, 0x00081007);   // caps, height, width, pixel format, linear size
    r.SetField(TTEXTextureHeader::HeightOffset, static_cast<std::uint32_t>(height));
    r.SetField(TTEXTextureHeader::WidthOffset, static_cast<std::uint32_t>(width));
    r.SetField(TTEXTextureHeader::LinearSizeOffset, static_cast<std::uint32_t>(width * height));
    r.SetField(TTEXTextureHeader::MipMapCountOffset, 1);
    r.SetField(76, 32);          // size of the pixel format
    r.SetField(80, 4);           // the FourCC is valid
    r.SetField(TTEXTextureHeader::FourCCOffset, fourCC);
    r.SetField(108, 0x1000);     // a texture
    return r;
}

struct Texture {
    TTEXTextureHeader record;
    std::string data;
};

std::string buildTex(const std::vector<Texture>& textures)
{
    std::string out(TEXHeaderAreaSize, '\xFF');
    auto put = [&out](std::size_t at, std::uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
    put(0, TEXMagic);
    put(4, 0);
    put(8, 0);
    put(12, 0);
    put(16, static_cast<std::uint32_t>(textures.size()));
    for (std::size_t i = 0; i < textures.size(); ++i) {
        put(212 + i * 8, static_cast<std::uint32_t>(out.size()));
        put(212 + i * 8 + 4, static_cast<std::uint32_t>(128 + textures[i].data.size()));
        out.append(reinterpret_cast<const char*>(textures[i].record.Bytes.data()), 128);
        out += textures[i].data;
    }
    return out;
}

// Compares our picture with RGBA bytes: colour within 1, alpha exactly.
void expectClose(const TPicture& ours, const std::string& rgba, const std::string& what)
{
    ASSERT_EQ(rgba.size(), ours.Pixels.size()) << what;
    int reported = 0;
    for (std::size_t i = 0; i < rgba.size() && reported < 5; i += 4) {
        const auto* theirs = reinterpret_cast<const std::uint8_t*>(rgba.data() + i);
        const std::uint8_t* px = &ours.Pixels[i];
        const bool close = std::abs(px[2] - theirs[0]) <= 1 && std::abs(px[1] - theirs[1]) <= 1 &&
                           std::abs(px[0] - theirs[2]) <= 1 && px[3] == theirs[3];
        if (!close) {
            ++reported;
            ADD_FAILURE() << what << ": pixel " << i / 4 << " ours BGRA " << int(px[0]) << "," << int(px[1]) << ","
                          << int(px[2]) << "," << int(px[3]) << " theirs RGBA " << int(theirs[0]) << ","
                          << int(theirs[1]) << "," << int(theirs[2]) << "," << int(theirs[3]);
        }
    }
}

class TexTgaInterop : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(script->verify(), ""); }

    ScopedScript script;
    TempDir dir;
};

} // namespace

TEST_F(TexTgaInterop, PillowDecodesOurTextureRecordsToOurPixels)
{
    if (!havePillow())
        GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";

    std::mt19937 rng(2024);
    auto randomData = [&rng](std::size_t n) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(rng() & 0xFF);
        return s;
    };
    std::vector<Texture> textures;
    // Random blocks hold both DXT1 modes (three-colour blocks with their
    // transparent texels) and both DXT5 alpha modes.
    for (auto [fourCC, w, h] : {std::tuple{FourCCDXT1, 16, 16}, std::tuple{FourCCDXT5, 16, 16},
                                std::tuple{FourCCDXT1, 8, 4}, std::tuple{FourCCDXT5, 12, 20},
                                std::tuple{FourCCDXT1, 6, 10}, std::tuple{FourCCDXT5, 10, 6}}) {
        const std::size_t n = DXTDataSize(fourCC == FourCCDXT1 ? DXTFormat::DXT1 : DXTFormat::DXT5, w, h);
        textures.push_back({ddsRecord(fourCC, w, h), randomData(n)});
    }
    // An encoded picture as well, the kind of data our writer produces.
    const TPicture art = mixedPicture(32, 16, 5);
    for (DXTFormat f : {DXTFormat::DXT1, DXTFormat::DXT5}) {
        const std::vector<std::uint8_t> encoded = EncodeDXT(f, art);
        textures.push_back({ddsRecord(f == DXTFormat::DXT1 ? FourCCDXT1 : FourCCDXT5, 32, 16),
                            std::string(encoded.begin(), encoded.end())});
    }

    const std::string container = buildTex(textures);
    TTEXFile tex;
    ASSERT_TRUE(tex.LoadFromBuffer(container.data(), container.size()));
    ASSERT_EQ(tex.Count, textures.size());

    std::string names;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        const TTEXTextureHeader record = tex.GetHeader(static_cast<int>(i));
        const std::string name = dir / (std::string("t") + std::to_string(i) + ".dds");
        WriteBytes(name, std::string(reinterpret_cast<const char*>(record.Bytes.data()), 128) + textures[i].data);
        names.append(" ").append(quoted(name));
    }
    ASSERT_TRUE(run(std::string(Python) + " " + quoted(writePillowScript(dir)) + " read" + names));
    for (std::size_t i = 0; i < textures.size(); ++i) {
        const TPicture* ours = tex.GetBitmap(static_cast<int>(i));
        ASSERT_NE(ours, nullptr);
        expectClose(*ours, ReadBytes(dir / (std::string("t") + std::to_string(i) + ".dds.rgba")), "texture " + std::to_string(i));
    }
}

TEST_F(TexTgaInterop, OurTGAFilesOpenInPillowAndImageMagick)
{
    const bool pillow = havePillow();
    const bool magick = haveMagick();
    if (!pillow && !magick)
        GTEST_SKIP() << "neither Pillow for /usr/bin/python3 nor ImageMagick is installed";

    std::vector<TPicture> pictures = {mixedPicture(36, 20, 1), mixedPicture(260, 8, 2), TPicture(4, 4)};
    for (auto& b : pictures[2].Pixels)
        b = 0x7F; // one run packet per row
    std::vector<std::string> files;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        files.push_back(dir / (std::string("ours") + std::to_string(i) + ".tga"));
        const std::vector<std::uint8_t> bytes = EncodeTGA(pictures[i]);
        WriteBytes(files.back(), std::string(bytes.begin(), bytes.end()));
    }
    // A texture's export as well.
    TTEXFile tex;
    const std::string container = buildTex({{ddsRecord(FourCCDXT5, 4, 4), std::string(16, '\0')}});
    ASSERT_TRUE(tex.LoadFromBuffer(container.data(), container.size()));
    tex.SetBitmap(0, pictures[0]);
    files.push_back(dir / "export.tga");
    ASSERT_TRUE(tex.ExportTGA(0, files.back()));
    pictures.push_back(pictures[0]);

    if (pillow) {
        std::string names;
        for (const std::string& name : files)
            names.append(" ").append(quoted(name));
        ASSERT_TRUE(run(std::string(Python) + " " + quoted(writePillowScript(dir)) + " read" + names));
        for (std::size_t i = 0; i < files.size(); ++i)
            EXPECT_EQ(ReadBytes(files[i] + ".rgba"), bgraToRgba(pictures[i])) << "Pillow, " << files[i];
    }
    if (magick) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string& name = files[i];
            ASSERT_TRUE(run(std::string(Convert) + " " + quoted(name) + " -auto-orient -depth 8 rgba:" +
                            quoted(name + ".im.rgba")));
            EXPECT_EQ(ReadBytes(name + ".im.rgba"), bgraToRgba(pictures[i])) << "ImageMagick, " << name;
        }
    } else {
        std::cout << "ImageMagick is not installed; only Pillow was checked\n";
    }
    if (!pillow)
        std::cout << "Pillow is not installed; only ImageMagick was checked\n";
}

TEST_F(TexTgaInterop, TGAFilesOfPillowAndImageMagickImportToTheSamePicture)
{
    const bool pillow = havePillow();
    const bool magick = haveMagick();
    if (!pillow && !magick)
        GTEST_SKIP() << "neither Pillow for /usr/bin/python3 nor ImageMagick is installed";

    const TPicture picture = mixedPicture(24, 16, 7);
    const std::string raw = dir / "picture.rgba";
    WriteBytes(raw, bgraToRgba(picture));

    std::vector<std::string> files;
    if (pillow) {
        ASSERT_TRUE(run(std::string(Python) + " " + quoted(writePillowScript(dir)) + " save " + quoted(raw) +
                        " 24 16 " + quoted(dir / "pil")));
        for (const char* variant : {"raw_top", "raw_bottom", "tga_rle_top", "tga_rle_bottom"})
            files.push_back(dir / ("pil_" + std::string(variant) + ".tga"));
    }
    if (magick) {
        // ImageMagick labels its rows with the picture's orientation: a
        // bottom-up file is the flipped picture labelled BottomLeft.
        for (const char* compression : {"None", "RLE"})
            for (bool top : {true, false}) {
                const std::string name = dir / ("im_" + std::string(compression) + (top ? "_top.tga" : "_bottom.tga"));
                ASSERT_TRUE(run(std::string(Convert) + " -size 24x16 -depth 8 rgba:" + quoted(raw) +
                                (top ? " -orient TopLeft" : " -flip -orient BottomLeft") + " -compress " +
                                compression + " -set comment 'Paddock test' " + quoted(name)));
                files.push_back(name);
            }
    }

    const std::string container = buildTex({{ddsRecord(FourCCDXT1, 4, 4), std::string(8, '\0')}});
    for (const std::string& file : files) {
        const std::string bytes = ReadBytes(file);
        ASSERT_GE(bytes.size(), 18u);
        EXPECT_NE(bytes[0], 0) << file << " carries an image ID";
        EXPECT_EQ(bytes[16], 32) << file;
        TTEXFile tex;
        ASSERT_TRUE(tex.LoadFromBuffer(container.data(), container.size()));
        EXPECT_TRUE(tex.ImportTGA(0, file)) << file;
        ASSERT_NE(tex.GetBitmap(0), nullptr);
        EXPECT_EQ(*tex.GetBitmap(0), picture) << file;
    }
    // Both origins and both types were among them.
    std::set<int> kinds;
    for (const std::string& file : files) {
        const std::string bytes = ReadBytes(file);
        kinds.insert(bytes[2] * 100 + (bytes[17] & 0x20));
    }
    EXPECT_EQ(kinds.size(), 4u);
}
