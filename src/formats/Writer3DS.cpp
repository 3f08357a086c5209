#include "formats/Writer3DS.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"

#include <algorithm>
#include <chrono>
#include <cstring>
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

// "mate", then the index's digits filled on the right with "0" to five
// characters: material 1 is mate10000, material 12 mate12000.
std::string materialName(std::size_t index)
{
    std::string digits = std::to_string(index);
    digits.resize(5, '0');
    return "mate" + digits;
}

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
    out.Leaf(IdMaterialName, 10);
    out.Text(materialName(index));
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

bool TGP4File::Save3DS(const std::string& path) const
{
    std::vector<int> all(Shapes.size());
    for (std::size_t s = 0; s < all.size(); ++s)
        all[s] = static_cast<int>(s);
    return Save3DS(path, all);
}

bool TGP4File::Save3DS(const std::string& path, const std::vector<int>& shapes) const
{
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
    TGP4ShapeWalk skipped;
    std::vector<std::int32_t> place(Vertices.size(), -1);
    std::vector<float> points;
    std::vector<std::uint16_t> faces;
    for (const int shape : shapes) {
        if (shape < 0 || static_cast<std::size_t>(shape) >= Shapes.size())
            continue;
        const auto s = static_cast<std::size_t>(shape);
        const TGP4ShapeWalk walk = WalkShape(shape);
        skipped.AddSkipped(walk);
        if (walk.Named > Max3DSCount) {
            refuse(*this, s, "faces", walk.Named);
            return false; // the file written so far is removed
        }
        std::vector<std::int32_t> used;
        for (std::int32_t p : walk.Polygons)
            for (std::int32_t c : Polygons[static_cast<std::size_t>(p)].Corners)
                if (place[static_cast<std::size_t>(c)] < 0) {
                    place[static_cast<std::size_t>(c)] = 0;
                    used.push_back(c);
                }
        if (static_cast<std::int64_t>(used.size()) > Max3DSCount) {
            refuse(*this, s, "points", static_cast<std::int64_t>(used.size()));
            return false;
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
