#include "formats/Writer3DS.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace paddock {

static_assert(std::endian::native == std::endian::little, "3DS numbers are little-endian");

std::int64_t T3DSWriter::Open(std::uint16_t id)
{
    U16(id);
    const std::int64_t lengthAt = stream_.Position();
    U32(0);
    return lengthAt;
}

void T3DSWriter::Close(std::int64_t lengthAt)
{
    const std::int64_t end = stream_.Position();
    stream_.SetPosition(lengthAt);
    U32(static_cast<std::uint32_t>(end - lengthAt + 2));
    stream_.SetPosition(end);
}

void T3DSWriter::Leaf(std::uint16_t id, std::uint32_t dataSize)
{
    U16(id);
    U32(dataSize + 6);
}

void T3DSWriter::U16(std::uint16_t v)
{
    stream_.WriteBuffer(&v, sizeof v);
}

void T3DSWriter::U32(std::uint32_t v)
{
    stream_.WriteBuffer(&v, sizeof v);
}

void T3DSWriter::Float(float v)
{
    stream_.WriteBuffer(&v, sizeof v);
}

void T3DSWriter::Bytes(const void* data, std::size_t count)
{
    stream_.WriteBuffer(data, count);
}

void T3DSWriter::Text(const std::string& text)
{
    stream_.WriteBuffer(text.c_str(), text.size() + 1);
}

// ---------------------------------------------------------------------------

namespace {

enum : std::uint16_t {
    IdMain = 0x4D4D,
    IdVersion = 0x0002,
    IdEditor = 0x3D3D,
    IdMeshVersion = 0x3D3E,
    IdMasterScale = 0x0100,
    IdMaterial = 0xAFFF,
    IdMaterialName = 0xA000,
    IdAmbient = 0xA010,
    IdDiffuse = 0xA020,
    IdSpecular = 0xA030,
    IdColour24 = 0x0011,
    IdShininess = 0xA040,
    IdShininessStrength = 0xA041,
    IdTransparency = 0xA050,
    IdTransparencyFalloff = 0xA052,
    IdReflectionBlur = 0xA053,
    IdSelfIllumination = 0xA084,
    IdPercentage = 0x0030,
    IdShading = 0xA100,
    IdWireSize = 0xA087,
    IdFalloffIn = 0xA08A,
    IdObject = 0x4000,
    IdTriangleMesh = 0x4100,
    IdPointList = 0x4110,
    IdFaceList = 0x4120,
    IdLocalAxes = 0x4160,
};

// The most points or faces a 3DS object can count.
constexpr std::int64_t Max3DSCount = 65535;
// A face's flags: its three edges are visible.
constexpr std::uint16_t FaceFlags = 7;

// The chunk header: a u16 id and a u32 length.
constexpr std::uint64_t HeaderBytes = 6;
// A material entry without its name: three colour containers of one 24-bit
// colour each, six percentage containers of one u16 percentage each, the
// shading, the wire size and the empty falloff-in flag.
constexpr std::uint64_t MaterialBytesWithoutName =
    HeaderBytes + 3 * (HeaderBytes + HeaderBytes + 3) + 6 * (HeaderBytes + HeaderBytes + 2) + (HeaderBytes + 2) +
    (HeaderBytes + 4) + HeaderBytes;

void colour(T3DSWriter& out, std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::int64_t at = out.Open(id);
    out.Leaf(IdColour24, 3);
    const std::uint8_t rgb[3] = {r, g, b};
    out.Bytes(rgb, 3);
    out.Close(at);
}

void percentage(T3DSWriter& out, std::uint16_t id, std::uint16_t value)
{
    const std::int64_t at = out.Open(id);
    out.Leaf(IdPercentage, 2);
    out.U16(value);
    out.Close(at);
}

void material(T3DSWriter& out, std::size_t index)
{
    const std::int64_t at = out.Open(IdMaterial);
    const std::string name = Material3DSName(index);
    out.Leaf(IdMaterialName, static_cast<std::uint32_t>(name.size() + 1));
    out.Text(name);
    // An ambient colour of its own for every material, from a generator
    // seeded from the clock.
    std::mt19937 random(static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> byte(0, 254);
    const auto r = static_cast<std::uint8_t>(byte(random));
    const auto g = static_cast<std::uint8_t>(byte(random));
    const auto b = static_cast<std::uint8_t>(byte(random));
    colour(out, IdAmbient, r, g, b);
    colour(out, IdDiffuse, 178, 178, 178);
    colour(out, IdSpecular, 255, 255, 255);
    percentage(out, IdShininess, 50);
    percentage(out, IdShininessStrength, 5);
    percentage(out, IdTransparency, 0);
    percentage(out, IdTransparencyFalloff, 0);
    percentage(out, IdReflectionBlur, 0);
    percentage(out, IdSelfIllumination, 0);
    out.Leaf(IdShading, 2);
    out.U16(3);
    out.Leaf(IdWireSize, 4);
    out.Float(1.0f);
    out.Leaf(IdFalloffIn, 0);
    out.Close(at);
}

void refuse(const TGP4File& mesh, std::size_t shape, const std::string& what, std::int64_t count)
{
    ShowErrorMessage("GP4GP4 Error 012: Shape " + std::to_string(shape) + " (" + mesh.Shapes[shape].Name + ") has " +
                     std::to_string(count) + " " + what + "; a 3DS object holds at most " +
                     std::to_string(Max3DSCount) + ". No 3DS file was written");
}

} // namespace

std::string Material3DSName(std::size_t index)
{
    std::string digits = std::to_string(index);
    if (digits.size() < 5)
        digits.insert(0, 5 - digits.size(), '0');
    return "mate" + digits;
}

std::uint64_t Object3DSLength(const T3DSObjectCounts& object)
{
    const std::uint64_t points = HeaderBytes + 2 + 12 * static_cast<std::uint64_t>(object.Points);
    const std::uint64_t faces = HeaderBytes + 2 + 8 * static_cast<std::uint64_t>(object.Faces);
    const std::uint64_t axes = HeaderBytes + 48;
    const std::uint64_t triangleMesh = HeaderBytes + points + faces + axes;
    return HeaderBytes + object.NameLength + 1 + triangleMesh;
}

std::uint64_t Main3DSLength(std::size_t materials, const std::vector<T3DSObjectCounts>& objects)
{
    std::uint64_t editor = HeaderBytes + (HeaderBytes + 4) + (HeaderBytes + 4);
    for (std::size_t i = 0; i < materials; ++i)
        editor += MaterialBytesWithoutName + HeaderBytes + Material3DSName(i).size() + 1;
    for (const T3DSObjectCounts& object : objects)
        editor += Object3DSLength(object);
    return HeaderBytes + (HeaderBytes + 4) + editor;
}

bool TGP4File::Save3DS(const std::string& path) const
{
    std::vector<int> all(Shapes.size());
    for (std::size_t s = 0; s < all.size(); ++s)
        all[s] = static_cast<int>(s);
    return Save3DS(path, all);
}

bool TGP4File::Save3DS(const std::string& path, const std::vector<int>& shapes) const
{
    // Everything the file will hold is counted before it is opened: what 3DS
    // cannot count refuses the export with nothing written.
    const std::vector<TGP4ShapeWalk> counts = CountShapes();
    std::vector<std::size_t> chosen;
    std::vector<T3DSObjectCounts> objects;
    TGP4ShapeWalk skipped;
    // Shapes with the same run list hold the same polygons: each list is
    // walked once, however many shapes name it.
    std::map<std::vector<std::int32_t>, std::int64_t> pointsOfList;
    std::vector<std::uint32_t> seenInWalk(Vertices.size(), 0);
    std::uint32_t walks = 0;
    for (const int shape : shapes) {
        if (shape < 0 || static_cast<std::size_t>(shape) >= Shapes.size())
            continue;
        const auto s = static_cast<std::size_t>(shape);
        const TGP4ShapeWalk& count = counts[s];
        skipped.AddSkipped(count);
        if (count.Named > Max3DSCount) {
            refuse(*this, s, "faces", count.Named);
            return false;
        }
        auto known = pointsOfList.find(Shapes[s].Unk21Indices);
        if (known == pointsOfList.end()) {
            ++walks;
            std::int64_t points = 0;
            for (std::int32_t p : WalkShape(shape).Polygons)
                for (std::int32_t c : Polygons[static_cast<std::size_t>(p)].Corners)
                    if (seenInWalk[static_cast<std::size_t>(c)] != walks) {
                        seenInWalk[static_cast<std::size_t>(c)] = walks;
                        ++points;
                    }
            known = pointsOfList.emplace(Shapes[s].Unk21Indices, points).first;
        }
        if (known->second > Max3DSCount) {
            refuse(*this, s, "points", known->second);
            return false;
        }
        chosen.push_back(s);
        objects.push_back({Shapes[s].Name.size(), known->second, count.Named});
    }
    const std::uint64_t length = Main3DSLength(Textures.size(), objects);
    if (length > Max3DSChunkLength) {
        ShowErrorMessage("GP4GP4 Error 014: The 3DS file would be " + std::to_string(length) +
                         " bytes long; a 3DS chunk counts at most " + std::to_string(Max3DSChunkLength) +
                         " bytes. No 3DS file was written");
        return false;
    }

    TSafeFileStream file(path);
    T3DSWriter out(file);
    const std::int64_t main = out.Open(IdMain);
    out.Leaf(IdVersion, 4);
    out.U32(3);
    const std::int64_t editor = out.Open(IdEditor);
    out.Leaf(IdMeshVersion, 4);
    out.U32(3);
    out.Leaf(IdMasterScale, 4);
    out.Float(1.0f);
    for (std::size_t i = 0; i < Textures.size(); ++i)
        material(out, i);

    // Every object lists the vertices its polygons use, in ascending order,
    // and its faces name their corners by their places in that list.
    std::vector<std::int32_t> place(Vertices.size(), -1);
    std::vector<float> points;
    std::vector<std::uint16_t> faces;
    for (const std::size_t s : chosen) {
        const TGP4ShapeWalk walk = WalkShape(static_cast<int>(s));
        std::vector<std::int32_t> used;
        for (std::int32_t p : walk.Polygons)
            for (std::int32_t c : Polygons[static_cast<std::size_t>(p)].Corners)
                if (place[static_cast<std::size_t>(c)] < 0) {
                    place[static_cast<std::size_t>(c)] = 0;
                    used.push_back(c);
                }
        std::sort(used.begin(), used.end());
        points.clear();
        for (std::size_t k = 0; k < used.size(); ++k) {
            const TGP4Vertex& v = Vertices[static_cast<std::size_t>(used[k])];
            points.insert(points.end(), {v.X(), v.Y(), v.Z()});
            place[static_cast<std::size_t>(used[k])] = static_cast<std::int32_t>(k);
        }
        faces.clear();
        for (std::int32_t p : walk.Polygons) {
            for (std::int32_t c : Polygons[static_cast<std::size_t>(p)].Corners)
                faces.push_back(static_cast<std::uint16_t>(place[static_cast<std::size_t>(c)]));
            faces.push_back(FaceFlags);
        }
        for (std::int32_t c : used)
            place[static_cast<std::size_t>(c)] = -1;

        const std::int64_t object = out.Open(IdObject);
        out.Text(Shapes[s].Name);
        const std::int64_t mesh = out.Open(IdTriangleMesh);
        out.Leaf(IdPointList, static_cast<std::uint32_t>(2 + points.size() * 4));
        out.U16(static_cast<std::uint16_t>(used.size()));
        out.Bytes(points.data(), points.size() * 4);
        out.Leaf(IdFaceList, static_cast<std::uint32_t>(2 + faces.size() * 2));
        out.U16(static_cast<std::uint16_t>(walk.Polygons.size()));
        out.Bytes(faces.data(), faces.size() * 2);
        out.Leaf(IdLocalAxes, 48);
        const float axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        out.Bytes(axes, sizeof axes);
        out.Close(mesh);
        out.Close(object);
    }
    out.Close(editor);
    out.Close(main);
    file.Commit();

    if (!skipped.Complete())
        ShowErrorMessage("GP4GP4 Error 013: The 3DS file leaves out what the shapes name but the mesh does not hold: " +
                         skipped.SkippedText());
    return true;
}

} // namespace paddock
