#include "FuzzTargets.h"

#include "app/FileError.h"
#include "app/Interaction.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "diag/MAPModule.h"
#include "formats/GP4GP4.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "formats/PNG.h"
#include "formats/TGA.h"
#include "formats/TextureCodec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace paddock::fuzz {

namespace {

// An unattended interaction (every question answered No) for the length of
// one input; the one before it (a test's) comes back afterwards.
class Silence {
public:
    Silence()
    {
        try {
            previous_ = &Interaction();
        } catch (const std::logic_error&) {
            previous_ = nullptr;
        }
        SetInteraction(&silent_);
    }
    ~Silence() { SetInteraction(previous_); }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    UnattendedInteraction silent_;
    UserInteraction* previous_;
};

// A folder of this process for the files the readers need, in memory
// (/dev/shm) where there is one; removed when the process ends.
class Scratch {
public:
    Scratch()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
#ifdef _WIN32
        const fs::path base = fs::temp_directory_path();
        const auto process = static_cast<unsigned long>(_getpid());
#else
        fs::path base = "/dev/shm";
        if (!fs::is_directory(base, ec) || access(base.c_str(), W_OK) != 0)
            base = fs::temp_directory_path();
        const auto process = static_cast<unsigned long>(getpid());
#endif
        const fs::path folder = base / ("paddock-fuzz-" + std::to_string(process));
        fs::create_directories(folder, ec);
        path_ = AddTrailingBackslash(FromPath(folder));
    }
    ~Scratch() { DeleteTree(path_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& scratch()
{
    static Scratch folder;
    return folder.path();
}

void writeFile(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("Cannot write the scratch file " + path);
    const bool ok = (size == 0 || std::fwrite(data, 1, size, f) == size);
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("Cannot write the scratch file " + path);
}

// The input as a file of the scratch folder.
std::string inputFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratch() + name;
    writeFile(path, data, size);
    return path;
}

[[noreturn]] void broken(const std::string& what)
{
    throw EBrokenPromise(what);
}

void expect(bool condition, const char* what)
{
    if (!condition)
        broken(what);
}

std::size_t pixelBytes(const TPicture& picture)
{
    return static_cast<std::size_t>(std::max(picture.Width, 0)) * static_cast<std::size_t>(std::max(picture.Height, 0)) * 4u;
}

// What a loaded container promises: one record, table entry and picture
// slot per texture, and pictures of their records' sizes.
void checkLoaded(const TTEXFile& tex)
{
    expect(tex.Headers.size() == tex.Count && tex.Table.size() == tex.Count && tex.Pictures.size() == tex.Count,
           "TEX: Count does not match the records, table and pictures");
    for (std::size_t i = 0; i < tex.Count; ++i) {
        const auto& picture = tex.Pictures[i];
        if (!picture)
            continue;
        expect(static_cast<std::uint32_t>(picture->Width) == tex.Headers[i].Width() &&
                   static_cast<std::uint32_t>(picture->Height) == tex.Headers[i].Height(),
               "TEX: a picture's size differs from its record's");
        expect(picture->Pixels.size() == pixelBytes(*picture), "TEX: a picture's pixels do not match its size");
    }
}

// The WAD's files for the round trip: up to 32 of them, each a control byte
// (name length 1 to 16, bit 4 for the subfolder "SUB"), the name's bytes
// turned into letters, digits and "_-.", a 16-bit length and the bytes.
struct MemberFile {
    std::string Relative; // below the folder, with '/'
    std::string Bytes;
};

std::vector<MemberFile> splitMembers(const std::uint8_t* data, std::size_t size)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789_-.";
    std::vector<MemberFile> files;
    std::size_t at = 0;
    while (at < size && files.size() < 32) {
        const std::uint8_t control = data[at++];
        const std::size_t nameLength = std::min<std::size_t>((control & 0x0F) + 1u, size - at);
        std::string name;
        for (std::size_t k = 0; k < nameLength; ++k)
            name.push_back(alphabet[data[at + k] % (sizeof alphabet - 1)]);
        at += nameLength;
        if (name.empty() || name == "." || name == "..")
            name = "x" + name;
        std::size_t length = 0;
        if (size - at >= 2) {
            length = static_cast<std::size_t>(data[at]) | (static_cast<std::size_t>(data[at + 1]) << 8);
            at += 2;
        } else {
            at = size;
        }
        length = std::min(length, size - at);
        MemberFile file{(control & 0x10) ? "SUB/" + name : name,
                        std::string(reinterpret_cast<const char*>(data + at), length)};
        at += length;
        files.push_back(std::move(file));
    }
    return files;
}

// The debug information as SaveDebugInfo can write it: names and texts cut
// to their first 255 bytes, at most 65535 lines a unit.
TMAPStruct storable(TMAPStruct info)
{
    auto cut = [](std::string& s) { s.resize(std::min<std::size_t>(s.size(), 255)); };
    for (TMAPSegDetails& m : info.Modules) {
        cut(m.Name);
        if (m.Lines.size() > 65535)
            m.Lines.resize(65535);
        for (TMAPLineDetails& line : m.Lines)
            cut(line.Text);
    }
    for (TMAPPublic& p : info.Publics)
        cut(p.Name);
    return info;
}

void lookUpSome(const TMAPStruct& info)
{
    for (std::uint32_t rel : {0u, 0x100u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        LookupAddress(rel, info);
    std::size_t n = 0;
    for (const TMAPSegDetails& m : info.Modules) {
        if (++n > 16)
            break;
        LookupAddress(m.Start, info);
        LookupAddress(m.Start + m.Length / 2, info);
    }
}

} // namespace

// ---- Texture containers -----------------------------------------------------

int FuzzTexFile(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string path = inputFile("input.TEX", data, size);
    try {
        TTEXFile tex;
        if (!tex.LoadFromFile(path))
            return 0;
        checkLoaded(tex);
        TMemoryStream out;
        tex.SaveToStream(out);
    } catch (const EFileError&) {
    }
    return 0;
}

int FuzzTexBuffer(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    try {
        TTEXFile decoded;
        if (decoded.LoadFromBuffer(data, size, true)) {
            checkLoaded(decoded);
            for (std::uint32_t i = 0; i < decoded.Count; ++i)
                if (const auto alpha = decoded.GetAlphaBitmap(static_cast<int>(i)))
                    expect(alpha->Pixels.size() == pixelBytes(*alpha), "TEX: an alpha view does not match its size");
        }
        TTEXFile layout;
        if (layout.LoadFromBuffer(data, size, false)) {
            checkLoaded(layout);
            for (const auto& picture : layout.Pictures)
                expect(!picture, "TEX: a load without decoding gave a picture");
        }
    } catch (const EFileError&) {
    }
    return 0;
}

int FuzzTexRoundTrip(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    TTEXFile first;
    try {
        if (!first.LoadFromBuffer(data, size, true))
            return 0;
    } catch (const EFileError&) {
        return 0;
    }
    TMemoryStream saved;
    expect(first.SaveToStream(saved), "TEX round trip: a loaded container was not saved");
    TTEXFile second;
    expect(second.LoadFromBuffer(saved.Memory(), static_cast<std::size_t>(saved.Size()), true),
           "TEX round trip: a saved container was refused");
    expect(second.Count == first.Count && second.Header1 == first.Header1 && second.Header2 == first.Header2 &&
               second.LayoutFlag == first.LayoutFlag,
           "TEX round trip: the header changed");
    expect(second.Headers == first.Headers, "TEX round trip: a texture record changed");
    expect(second.Pictures == first.Pictures, "TEX round trip: a picture changed");
    return 0;
}

// ---- Pictures ---------------------------------------------------------------

int FuzzTga(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    TPicture picture(4, 4);
    picture.Pixels[5] = 0xA5;
    const TPicture before = picture;
    if (DecodeTGA(data, size, picture) != TGAStatus::Ok) {
        expect(picture == before, "TGA: a refused file changed the picture");
        return 0;
    }
    expect(picture.Width > 0 && picture.Height > 0 && picture.Width % 4 == 0 && picture.Height % 4 == 0 &&
               picture.Width <= MaxTextureSide && picture.Height <= MaxTextureSide,
           "TGA: an accepted picture has a size out of range");
    expect(picture.Pixels.size() == pixelBytes(picture), "TGA: a picture's pixels do not match its size");
    const std::vector<std::uint8_t> again = EncodeTGA(picture);
    TPicture reread;
    expect(DecodeTGA(again.data(), again.size(), reread) == TGAStatus::Ok && reread == picture,
           "TGA: a picture written and read back changed");
    return 0;
}

int FuzzPng(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    TPicture picture(4, 4);
    picture.Pixels[5] = 0xA5;
    const TPicture before = picture;
    if (DecodePNG(data, size, picture) != PNGStatus::Ok) {
        expect(picture == before, "PNG: a refused file changed the picture");
        return 0;
    }
    expect(picture.Width > 0 && picture.Height > 0 && picture.Width % 4 == 0 && picture.Height % 4 == 0 &&
               picture.Width <= MaxTextureSide && picture.Height <= MaxTextureSide,
           "PNG: an accepted picture has a size out of range");
    expect(picture.Pixels.size() == pixelBytes(picture), "PNG: a picture's pixels do not match its size");
    const std::vector<std::uint8_t> again = EncodePNG(picture);
    TPicture reread;
    expect(DecodePNG(again.data(), again.size(), reread) == PNGStatus::Ok && reread == picture,
           "PNG: a picture written and read back changed");
    return 0;
}

int FuzzDxt(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    constexpr std::size_t head = 9;
    if (size < head)
        return 0;
    const DXTFormat format = (data[0] & 1) ? DXTFormat::DXT5 : DXTFormat::DXT1;
    std::int32_t width, height;
    std::memcpy(&width, data + 1, 4);
    std::memcpy(&height, data + 5, 4);
    if (DXTDataSize(format, width, height) > size - head)
        return 0;
    const TPicture picture = DecodeDXT(format, data + head, width, height);
    expect(picture.Pixels.size() == pixelBytes(picture) && picture.Width >= 0 && picture.Height >= 0,
           "DXT: a picture's pixels do not match its size");
    if (width > 0 && height > 0)
        expect(picture.Width == width && picture.Height == height, "DXT: the picture is not of the size asked for");
    return 0;
}

// ---- Archives ---------------------------------------------------------------

int FuzzWadDirectory(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string path = inputFile("input.wad", data, size);
    try {
        TWADFile wad(path);
        wad.ReadDirectory();
        expect(wad.Count >= 0 && static_cast<std::size_t>(wad.Count) == wad.Entries.size(),
               "WAD: Count does not match the directory");
        expect(wad.ListEntries().size() == wad.Entries.size(), "WAD: the listing misses entries");
        wad.IndexOf("cars\\hi_bar_1.TEX");
        wad.HealthMeasure();
        const auto drift = wad.GapRuleDrift();
        // A repair and its undoing give the directory back.
        const std::vector<TWADEntry> read = wad.Entries;
        wad.RepairOffsets(1);
        wad.ReadDirectory();
        const auto repaired = wad.GapRuleDrift();
        // Offsets are 32-bit fields: one that a repair carries past 4 GiB
        // wraps, and the drift then follows no rule.
        const bool wraps = std::any_of(read.begin(), read.end(), [&read](const TWADEntry& e) {
            return std::uint64_t{e.Offset} + read.size() > 0xFFFFFFFFu;
        });
        expect(!drift || wraps || (repaired && *repaired == *drift + 1), "WAD: a repair did not move the drift by one");
        wad.RepairOffsets(-1);
        wad.ReadDirectory();
        expect(wad.Entries.size() == read.size() &&
                   (read.empty() || std::memcmp(wad.Entries.data(), read.data(), read.size() * sizeof(TWADEntry)) == 0),
               "WAD: a repair undone did not give the directory back");
    } catch (const EFileError&) {
    }
    return 0;
}

int FuzzWadMember(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string path = inputFile("input.wad", data, size);
    // Extraction goes two levels below a folder of its own, so that a name
    // that climbs out of its folder leaves something where it can be seen.
    const std::string jail = scratch() + "jail";
    const std::string out = jail + "/inner/extracted";
    try {
        TWADFile wad(path);
        wad.ReadDirectory();
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < std::min(wad.Count, 64); ++i) {
            const TWADEntry& e = wad.Entries[static_cast<std::size_t>(i)];
            if (wad.LiesOutside(i))
                continue;
            expect(wad.ReadMember(i, bytes), "WAD: a member inside the file was not read");
            expect(bytes.size() == e.Size && (e.Size == 0 || std::memcmp(bytes.data(), data + e.Offset, e.Size) == 0),
                   "WAD: a member's bytes differ from the file's");
            wad.LoadTexture(i, true);
            wad.LoadTexture(i, false);
        }
        wad.ExtractAll(out);
    } catch (const EFileError&) {
    }
    auto only = [](const std::string& folder, const char* name) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            expect(it->path().filename() == name, "WAD: a member was written outside its folder");
    };
    only(jail, "inner");
    only(jail + "/inner", "extracted");
    DeleteTree(jail);
    return 0;
}

int FuzzWadRoundTrip(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string folder = scratch() + "members";
    const std::string target = scratch() + "created.wad";
    DeleteTree(folder);
    ForceDirectories(folder + "/SUB");
    std::map<std::string, std::string> expected; // by archive name
    for (const MemberFile& file : splitMembers(data, size)) {
        writeFile(folder + "/" + file.Relative, file.Bytes.data(), file.Bytes.size());
        expected[ReplaceAll(file.Relative, "/", "\\")] = file.Bytes;
    }
    TWADFile created;
    created.CreateFromDirectory(target, folder, true);
    TWADFile wad(target);
    wad.ReadDirectory();
    expect(wad.Entries.size() == expected.size(), "WAD round trip: the member count changed");
    std::vector<std::uint8_t> bytes;
    std::map<std::string, int> seen;
    for (int i = 0; i < wad.Count; ++i) {
        const std::string name = wad.Entries[static_cast<std::size_t>(i)].NameString();
        const auto found = expected.find(name);
        expect(found != expected.end() && ++seen[name] == 1, "WAD round trip: a member's name changed");
        expect(!wad.LiesOutside(i) && wad.ReadMember(i, bytes), "WAD round trip: a member was not read");
        expect(std::string(bytes.begin(), bytes.end()) == found->second, "WAD round trip: a member's bytes changed");
    }
    expect(wad.Count == 0 || wad.HealthMeasure() == 1, "WAD round trip: a new archive is not healthy");
    expect(wad.Count < 2 || wad.GapRuleDrift() == 0, "WAD round trip: a new archive breaks the gap rule");
    DeleteTree(folder);
    std::remove(target.c_str());
    return 0;
}

// ---- Meshes -----------------------------------------------------------------

int FuzzGp4(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    TGP4File mesh;
    try {
        TMemoryStreamEx stream;
        stream.SetPointer(data, size);
        mesh.LoadFromStream(stream);
    } catch (const EFileError&) {
        return 0;
    }
    const auto polygons = static_cast<std::int64_t>(mesh.Polygons.size());
    const auto vertices = static_cast<std::int64_t>(mesh.Vertices.size());
    const std::vector<TGP4ShapeWalk> counts = mesh.CountShapes();
    expect(counts.size() == mesh.Shapes.size(), "GP4: the counts miss shapes");
    std::vector<int> all;
    std::vector<std::uint8_t> flags;
    for (int s = 0; s < static_cast<int>(std::min<std::size_t>(mesh.Shapes.size(), 64)); ++s) {
        all.push_back(s);
        const TGP4ShapeWalk walk = mesh.WalkShape(s);
        for (std::int32_t p : walk.Polygons) {
            expect(p >= 0 && p < polygons, "GP4: a walk gives a polygon outside the list");
            for (std::int32_t c : mesh.Polygons[static_cast<std::size_t>(p)].Corners)
                expect(c >= 0 && c < vertices, "GP4: a walk gives a polygon with a corner outside the list");
        }
        const TGP4ShapeWalk& count = counts[static_cast<std::size_t>(s)];
        expect(count.MissingRuns == walk.MissingRuns && count.MissingPolygons == walk.MissingPolygons &&
                   count.BrokenPolygons == walk.BrokenPolygons && count.OverLimit == walk.OverLimit,
               "GP4: a shape's counts differ from its walk");
        mesh.CountUsedVertices(s, flags);
    }
    GP4ShapesCentre(mesh, all);
    const std::string path = scratch() + "export.3ds";
    try {
        mesh.Save3DS(path);
    } catch (const EFileError&) {
    }
    std::remove(path.c_str());
    return 0;
}

// ---- Debug information ----------------------------------------------------------

int FuzzLinkMap(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string sources = scratch() + "source/";
    static const bool written = [&sources] {
        ForceDirectories(sources + "src");
        std::string text;
        for (int line = 1; line <= 40; ++line)
            text += "// line " + std::to_string(line) + (line % 3 ? "\n" : "\r\n");
        writeFile(sources + "src/main.cpp", text.data(), text.size());
        return true;
    }();
    (void)written;
    const std::string path = inputFile("PADDOCK.MAP", data, size);
    const std::string eif = scratch() + "map.EIF";
    try {
        const TMAPStruct info = ReadLinkMap(path, {sources});
        lookUpSome(info);
        SaveDebugInfo(info, eif);
        expect(LoadDebugInfo(eif) == storable(info), "Link map: the debug information written reads back otherwise");
    } catch (const EFileError&) {
    }
    return 0;
}

int FuzzDebugInfo(const std::uint8_t* data, std::size_t size)
{
    Silence silence;
    const std::string path = inputFile("DebugInfo.EIF", data, size);
    const std::string again = scratch() + "again.EIF";
    TMAPStruct info;
    try {
        info = LoadDebugInfo(path);
    } catch (const EFileError&) {
        return 0;
    }
    lookUpSome(info);
    SaveDebugInfo(info, again);
    expect(LoadDebugInfo(again) == info, "DebugInfo: what was read, written and read again changed");
    return 0;
}

// ---------------------------------------------------------------------------

const std::vector<FuzzTarget>& FuzzTargets()
{
    static const std::vector<FuzzTarget> targets = {
        {"tex_file", FuzzTexFile},
        {"tex_buffer", FuzzTexBuffer},
        {"tex_roundtrip", FuzzTexRoundTrip},
        {"tga", FuzzTga},
        {"png", FuzzPng},
        {"dxt", FuzzDxt},
        {"wad_directory", FuzzWadDirectory},
        {"wad_member", FuzzWadMember},
        {"wad_roundtrip", FuzzWadRoundTrip},
        {"gp4", FuzzGp4},
        {"linkmap", FuzzLinkMap},
        {"debuginfo", FuzzDebugInfo},
    };
    return targets;
}

} // namespace paddock::fuzz
