// Writes the seed corpora of the fuzz targets from the demo game's own
// builders, small enough to keep the fuzzers fast:
//   make-fuzz-seeds FOLDER [LINK_MAP SOURCE_ROOT]
// FOLDER/<target>/ receives the seeds of each target. With a link map (the
// build's PADDOCK.MAP) an excerpt of it becomes a link-map seed, and that
// excerpt's debug information, with the lines of the sources below
// SOURCE_ROOT, a DebugInfo.EIF seed.
#include "DemoCars.h"
#include "DemoMeshes.h"
#include "DemoTextures.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "diag/MAPModule.h"
#include "formats/PNG.h"
#include "formats/TGA.h"
#include "formats/TextureCodec.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace paddock;
using namespace paddock::demo;

namespace {

std::string root;

void write(const std::string& target, const std::string& name, const std::string& bytes)
{
    const std::string folder = root + "/" + target;
    ForceDirectories(folder);
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("Cannot write " + folder + "/" + name);
}

std::string bytesOf(const std::vector<std::uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        s[at + static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

std::string le32(std::uint32_t v)
{
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}

// A container as the game's liveries are: a picture and its smaller copies.
std::string liveryContainer(int team, int kind, int size, DXTFormat format, int levels)
{
    std::vector<DemoTexture> textures;
    for (int level = 0; level < levels; ++level)
        textures.push_back({DrawLivery(team, kind, size >> level), format, 1});
    return BuildTEX(textures, 1, 0x00000001, 0);
}

void texSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds = {
        {"livery_dxt5.TEX", liveryContainer(0, 0, 16, DXTFormat::DXT5, 3)},
        {"numbers_dxt1.TEX", liveryContainer(2, 2, 16, DXTFormat::DXT1, 2)},
        {"layout0_two.TEX", BuildTEX({{MakeTestPicture(8, 8, 1, true), DXTFormat::DXT1, 1},
                                      {MakeTestPicture(8, 4, 2, true), DXTFormat::DXT5, 1}},
                                     0)},
        {"odd_size.TEX", BuildTEX({{MakeTestPicture(6, 5, 3, true), DXTFormat::DXT5, 1}}, 1)},
        {"empty.TEX", BuildTEX({}, 0)},
    };
    // A record of a format the codec does not know, kept as it is.
    std::string other = BuildTEX({{MakeTestPicture(4, 4, 4, false), DXTFormat::DXT1, 1}}, 1);
    std::memcpy(other.data() + 340 + 84, "ARGB", 4);
    seeds.emplace_back("other_fourcc.TEX", other);
    for (const char* target : {"tex_file", "tex_buffer", "tex_roundtrip"})
        for (const auto& [name, bytes] : seeds)
            write(target, name, bytes);
}

void tgaSeeds()
{
    write("tga", "rle_top.tga", bytesOf(EncodeTGA(MakeTestPicture(8, 8, 5, true))));
    write("tga", "rle_livery.tga", bytesOf(EncodeTGA(DrawLivery(4, 1, 16))));
    // Uncompressed, bottom row first, with an image ID and a colour map.
    const TPicture picture = MakeTestPicture(4, 4, 6, true);
    std::string raw(18, '\0');
    raw[0] = 3;
    raw[1] = 1;
    raw[2] = 2;
    raw[5] = 2; // two colour map entries of 24 bits
    raw[7] = 24;
    raw[12] = 4;
    raw[14] = 4;
    raw[16] = 32;
    raw += "IDs";
    raw += std::string(6, '\x7F');
    for (int y = 3; y >= 0; --y)
        raw.append(reinterpret_cast<const char*>(picture.Row(y)), picture.RowBytes());
    write("tga", "raw_bottom.tga", raw);
}

void pngSeeds()
{
    write("png", "livery.png", bytesOf(EncodePNG(DrawLivery(4, 1, 16))));
    write("png", "test_8x4.png", bytesOf(EncodePNG(MakeTestPicture(8, 4, 5, true))));
}

void dxtSeeds()
{
    auto seed = [](DXTFormat format, int width, int height, const TPicture& picture) {
        std::string bytes(1, format == DXTFormat::DXT5 ? '\1' : '\0');
        bytes += le32(static_cast<std::uint32_t>(width)) + le32(static_cast<std::uint32_t>(height));
        return bytes + bytesOf(EncodeDXT(format, picture, 1));
    };
    write("dxt", "dxt1_8x8", seed(DXTFormat::DXT1, 8, 8, MakeTestPicture(8, 8, 7, true)));
    write("dxt", "dxt5_16x16", seed(DXTFormat::DXT5, 16, 16, DrawLivery(1, 0, 16)));
    write("dxt", "dxt5_6x5", seed(DXTFormat::DXT5, 6, 5, MakeTestPicture(6, 5, 8, true)));
    write("dxt", "dxt1_1x9", seed(DXTFormat::DXT1, 1, 9, MakeTestPicture(1, 9, 9, false)));
}

void wadSeeds()
{
    const std::vector<std::pair<std::string, std::string>> members = {
        {"cars\\readme.txt", "Demo archive written for Paddock's own tests.\r\n"},
        {"cars\\hi_ferrari_1.TEX", liveryContainer(0, 0, 16, DXTFormat::DXT5, 3)},
        {"cars\\ferrari_3.TEX", liveryContainer(0, 2, 8, DXTFormat::DXT1, 1)},
        {"sounds\\engine\\v10_idle.bin", std::string(40, '\x5A')},
        {"empty.dat", ""},
    };
    const std::string wad = BuildWAD(members);
    // The same archive with the offsets of the earlier rule (no gap bytes
    // counted), one member lying past the end, and no members at all.
    std::string earlier = wad;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::size_t at = 4 + 136 * i + 128;
        std::uint32_t offset = 0;
        for (int k = 0; k < 4; ++k)
            offset |= static_cast<std::uint32_t>(static_cast<unsigned char>(earlier[at + static_cast<std::size_t>(k)])) << (8 * k);
        put32(earlier, at, offset - static_cast<std::uint32_t>(i));
    }
    std::string outside = BuildWAD({members[0], members[3]});
    outside.resize(outside.size() - 20);
    for (const char* target : {"wad_directory", "wad_member"}) {
        write(target, "cars.wad", wad);
        write(target, "earlier_rule.wad", earlier);
        write(target, "member_outside.wad", outside);
        write(target, "empty.wad", le32(0));
    }
    // The round trip's files: control byte (name length - 1, 0x10 for the
    // subfolder), the name, a 16-bit length and the bytes.
    auto file = [](bool sub, const std::string& name, const std::string& bytes) {
        std::string s(1, static_cast<char>((sub ? 0x10 : 0) | (name.size() - 1)));
        s += name;
        s += static_cast<char>(bytes.size() & 0xFF);
        s += static_cast<char>(bytes.size() >> 8);
        return s + bytes;
    };
    write("wad_roundtrip", "three_files", file(false, "readme", "Demo archive\r\n") +
                                              file(true, "ferrari", liveryContainer(0, 2, 8, DXTFormat::DXT1, 1)) +
                                              file(false, "empty", ""));
    write("wad_roundtrip", "one_file", file(false, "a", "x"));
}

void meshSeeds()
{
    write("gp4", "DEMOCAR.GP4", BuildGP4Mesh(DemoCarMesh()));
    write("gp4", "TRACKSIDE.GP4", BuildGP4Mesh(DemoTrackSideMesh()));
    // A small mesh whose run list names a run the file does not hold and
    // whose second shape's name has no quotes.
    DemoMesh mesh;
    mesh.Type = "M_05";
    mesh.VertexUnknown1 = 7;
    mesh.Textures = {"tex_a.tga"};
    mesh.Materials = {"mat_a"};
    DemoShape box{"box", true, {}, -1};
    mesh.AddBox(box, {0, 0, 0}, {1, 2, 3});
    DemoShape pyramid{"pyramid", false, {}, 4};
    mesh.AddPyramid(pyramid, {3, 0, 0}, 1, 2);
    mesh.Shapes = {box, pyramid};
    mesh.RunListsOverride = {{0, 7}, {1, 2}};
    write("gp4", "missing_run.GP4", BuildGP4Mesh(mesh));
}

// The map's heading lines, and of every list its first lines: the
// segments, units, publics and the first few line-number blocks.
std::string mapExcerpt(const std::string& map)
{
    std::istringstream in(map);
    std::string line, out;
    int blockLines = 0, lineBlocks = 0;
    bool inBlock = false;
    while (std::getline(in, line)) {
        std::string trimmed = line;
        trimmed.erase(0, trimmed.find_first_not_of(" \t\r"));
        if (trimmed.empty()) {
            inBlock = false;
            out += "\n";
            continue;
        }
        if (trimmed.rfind("Line numbers", 0) == 0 && ++lineBlocks > 4)
            break;
        if (!inBlock) {
            inBlock = true;
            blockLines = 0;
        }
        if (++blockLines <= 4)
            out += line + "\n";
    }
    return out;
}

void debugSeeds(const std::string& mapPath, const std::string& sourceRoot)
{
    const char* const small = "\n Start         Length     Name                   Class\n"
                              " 0001:00000000 00001000H  .text                  CODE\n\n"
                              "Detailed map of segments\n\n"
                              " 0001:00000100 00000300 C=CODE     S=.text    G=(none)   M=src/main ACBP=A9\n\n"
                              "  Address         Publics by Name\n\n 0001:00000110       main\n\n"
                              "  Address         Publics by Value\n\n 0001:00000110       main\n\n"
                              "Line numbers for src/main(main.cpp) segment .text\n\n"
                              "    10 0001:00000110    12 0001:00000140    11 0001:00000150\n\n";
    write("linkmap", "small.MAP", small);
    if (mapPath.empty())
        return;
    TMemoryStream file;
    file.LoadFromFile(mapPath);
    const std::string excerpt =
        mapExcerpt(std::string(reinterpret_cast<const char*>(file.Memory()), static_cast<std::size_t>(file.Size())));
    write("linkmap", "PADDOCK.MAP", excerpt);
    const std::string mapCopy = root + "/linkmap/PADDOCK.MAP";
    const std::string eif = root + "/debuginfo/DebugInfo.EIF";
    ForceDirectories(root + "/debuginfo");
    BuildDebugInfo(mapCopy, eif, {AddTrailingBackslash(sourceRoot)});
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER [LINK_MAP SOURCE_ROOT]\n", argv[0]);
        return 2;
    }
    try {
        root = argv[1];
        texSeeds();
        tgaSeeds();
        pngSeeds();
        dxtSeeds();
        wadSeeds();
        meshSeeds();
        debugSeeds(argc == 4 ? argv[2] : "", argc == 4 ? argv[3] : "");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
