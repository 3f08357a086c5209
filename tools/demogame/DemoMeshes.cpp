#include "DemoMeshes.h"

#include "app/Streams.h"
#include "app/Tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace paddock::demo {

namespace {

constexpr double Pi = 3.14159265358979323846;

// Little-endian pieces of the file.
void i32(std::string& out, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
}

void f32(std::string& out, float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    i32(out, static_cast<std::int32_t>(u));
}

void quoted(std::string& out, const std::string& name, bool quote = true)
{
    if (quote)
        out.push_back('"');
    out += name;
    if (quote)
        out.push_back('"');
}

void chunk(std::string& out, std::int32_t type)
{
    i32(out, 34);
    i32(out, type);
}

// A resource chunk's frame: the word the reader skips, then the count.
void resource(std::string& out, std::int32_t type, std::size_t count)
{
    chunk(out, type);
    i32(out, 0);
    i32(out, static_cast<std::int32_t>(count));
}

// Deterministic filler for the carried words.
std::uint32_t mix(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ (x >> 16);
}

// A shape header's data: integers at words 0-6, 10, 14 and 38-45, floats
// elsewhere, as the workshop shows them; "M_05" stops after word 44.
std::string shapeData(std::size_t shape, std::size_t bytes, std::int32_t triangles)
{
    std::string data;
    for (std::size_t w = 0; w * 4 < bytes; ++w) {
        const bool integer = w <= 6 || w == 10 || w == 14 || w >= 38;
        if (integer)
            i32(data, w == 0 ? static_cast<std::int32_t>(shape) : w == 1 ? triangles
                                                                         : static_cast<std::int32_t>(mix(static_cast<std::uint32_t>(shape * 64 + w)) % 1000) - 100);
        else
            f32(data, static_cast<float>(shape) + static_cast<float>(w) * 0.25f - 3.5f);
    }
    return data;
}

} // namespace

std::int32_t DemoMesh::AddVertex(float x, float y, float z)
{
    Positions.push_back({x, y, z});
    return static_cast<std::int32_t>(Positions.size() - 1);
}

void DemoMesh::Scale(float factor)
{
    for (auto& p : Positions)
        for (float& c : p)
            c *= factor;
}

void DemoMesh::AddBox(DemoShape& shape, std::array<float, 3> c, std::array<float, 3> s)
{
    std::int32_t v[8];
    for (int k = 0; k < 8; ++k)
        v[k] = AddVertex(c[0] + ((k & 1) ? s[0] : -s[0]) / 2, c[1] + ((k & 2) ? s[1] : -s[1]) / 2,
                         c[2] + ((k & 4) ? s[2] : -s[2]) / 2);
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (const auto& f : faces) {
        shape.Triangles.push_back({v[f[0]], v[f[1]], v[f[2]]});
        shape.Triangles.push_back({v[f[0]], v[f[2]], v[f[3]]});
    }
}

void DemoMesh::AddWheel(DemoShape& shape, std::array<float, 3> c, float radius, float width, int segments)
{
    // A cylinder about the x axis.
    std::vector<std::int32_t> left, right;
    for (int k = 0; k < segments; ++k) {
        const double a = 2 * Pi * k / segments;
        const auto y = static_cast<float>(c[1] + radius * std::cos(a));
        const auto z = static_cast<float>(c[2] + radius * std::sin(a));
        left.push_back(AddVertex(c[0] - width / 2, y, z));
        right.push_back(AddVertex(c[0] + width / 2, y, z));
    }
    for (int k = 0; k < segments; ++k) {
        const int n = (k + 1) % segments;
        shape.Triangles.push_back({left[k], right[k], right[n]});
        shape.Triangles.push_back({left[k], right[n], left[n]});
    }
    for (int k = 1; k + 1 < segments; ++k) {
        shape.Triangles.push_back({left[0], left[k + 1], left[k]});
        shape.Triangles.push_back({right[0], right[k], right[k + 1]});
    }
}

void DemoMesh::AddPyramid(DemoShape& shape, std::array<float, 3> c, float base, float height)
{
    const std::int32_t a = AddVertex(c[0] - base / 2, c[1], c[2] - base / 2);
    const std::int32_t b = AddVertex(c[0] + base / 2, c[1], c[2] - base / 2);
    const std::int32_t d = AddVertex(c[0] + base / 2, c[1], c[2] + base / 2);
    const std::int32_t e = AddVertex(c[0] - base / 2, c[1], c[2] + base / 2);
    const std::int32_t top = AddVertex(c[0], c[1] + height, c[2]);
    for (const auto& t : {std::array<std::int32_t, 3>{a, b, top}, {b, d, top}, {d, e, top}, {e, a, top}, {a, d, b},
                          {a, e, d}})
        shape.Triangles.push_back(t);
}

// ---------------------------------------------------------------------------

std::string BuildGP4Mesh(const DemoMesh& mesh)
{
    const bool m07 = mesh.Type == "M_07";
    std::string out = "GP4MESHBIN" + mesh.Type;
    quoted(out, mesh.Filename);
    i32(out, mesh.Header[0]);
    if (m07)
        i32(out, mesh.Header[1]);
    for (int k = 2; k < 5; ++k)
        i32(out, mesh.Header[static_cast<std::size_t>(k)]);
    i32(out, static_cast<std::int32_t>(mesh.Shapes.size()));

    // Polygons shape by shape; a split shape's second part after all others.
    struct Run {
        std::int32_t first, count;
    };
    std::vector<Run> runs;
    std::vector<std::vector<std::int32_t>> lists(mesh.Shapes.size());
    std::vector<std::array<std::int32_t, 3>> polygons;
    for (std::size_t s = 0; s < mesh.Shapes.size(); ++s) {
        const DemoShape& shape = mesh.Shapes[s];
        const std::size_t end = shape.SplitAt >= 0 ? static_cast<std::size_t>(shape.SplitAt) : shape.Triangles.size();
        lists[s].push_back(static_cast<std::int32_t>(runs.size()));
        runs.push_back({static_cast<std::int32_t>(polygons.size()), static_cast<std::int32_t>(end)});
        polygons.insert(polygons.end(), shape.Triangles.begin(), shape.Triangles.begin() + static_cast<std::ptrdiff_t>(end));
    }
    for (std::size_t s = 0; s < mesh.Shapes.size(); ++s) {
        const DemoShape& shape = mesh.Shapes[s];
        if (shape.SplitAt < 0)
            continue;
        lists[s].push_back(static_cast<std::int32_t>(runs.size()));
        runs.push_back({static_cast<std::int32_t>(polygons.size()),
                        static_cast<std::int32_t>(shape.Triangles.size()) - shape.SplitAt});
        polygons.insert(polygons.end(), shape.Triangles.begin() + shape.SplitAt, shape.Triangles.end());
    }
    if (!mesh.RunListsOverride.empty())
        lists = mesh.RunListsOverride;

    for (std::size_t s = 0; s < mesh.Shapes.size(); ++s) {
        i32(out, 1000 + static_cast<std::int32_t>(s));
        quoted(out, mesh.Shapes[s].Name, mesh.Shapes[s].QuotedName);
        out += shapeData(s, m07 ? 188 : 180, static_cast<std::int32_t>(mesh.Shapes[s].Triangles.size()));
    }

    // Resources.
    resource(out, 0x01, mesh.Textures.size());
    for (const std::string& t : mesh.Textures)
        quoted(out, t);
    resource(out, 0x02, mesh.Materials.size());
    for (std::size_t m = 0; m < mesh.Materials.size(); ++m) {
        quoted(out, mesh.Materials[m]);
        for (int g = 0; g < 5; ++g) {
            i32(out, g == 0 ? static_cast<std::int32_t>(m) : -g);
            for (int k = 0; k < 3; ++k)
                f32(out, static_cast<float>(g) * 0.5f + static_cast<float>(k) * 0.125f);
        }
        for (int w = 0; w < 16; ++w)
            i32(out, w == 0 ? static_cast<std::int32_t>(mesh.Textures.empty() ? 0 : m % mesh.Textures.size()) : w - 8);
    }
    resource(out, 0x34, 2);
    for (int r = 0; r < 2; ++r) {
        i32(out, 7 + r);
        quoted(out, r == 0 ? "light_a" : "light_b");
        for (int w = 0; w < 18; ++w)
            f32(out, static_cast<float>(r * 18 + w) / 8);
    }
    resource(out, 0x3B, 1);
    for (int w = 0; w < 20; ++w)
        i32(out, static_cast<std::int32_t>(mix(static_cast<std::uint32_t>(w))));

    // Geometry.
    const std::int32_t carried = mesh.VertexExtra[0] + mesh.VertexExtra[1] + mesh.VertexExtra[2] + 2;
    chunk(out, 0x28);
    i32(out, static_cast<std::int32_t>(polygons.size()));
    i32(out, static_cast<std::int32_t>(mesh.Positions.size()));
    i32(out, mesh.VertexUnknown1);
    for (std::int32_t e : mesh.VertexExtra)
        i32(out, e);
    for (std::size_t v = 0; v < mesh.Positions.size(); ++v) {
        for (float c : mesh.Positions[v])
            f32(out, c);
        for (std::int32_t w = 0; w < carried; ++w)
            i32(out, static_cast<std::int32_t>(mix(static_cast<std::uint32_t>(v * 16 + static_cast<std::size_t>(w)))));
    }
    out += mesh.GapAfterVertices;
    chunk(out, 0x0A);
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        for (std::int32_t c : polygons[p])
            i32(out, c);
        i32(out, static_cast<std::int32_t>(p % 7));
    }
    const int runWords = mesh.VertexUnknown1 == 23 ? 5 : 7;
    chunk(out, 0x16);
    i32(out, 0);
    i32(out, static_cast<std::int32_t>(runs.size()));
    for (std::size_t r = 0; r < runs.size(); ++r) {
        i32(out, runs[r].first);
        i32(out, runs[r].count);
        for (int w = 2; w < runWords; ++w)
            i32(out, static_cast<std::int32_t>(r) * 10 + w);
    }
    chunk(out, 0x21);
    i32(out, 0);
    i32(out, static_cast<std::int32_t>(lists.size()));
    for (std::size_t d = 0; d < lists.size(); ++d) {
        i32(out, 500 + static_cast<std::int32_t>(d));
        i32(out, static_cast<std::int32_t>(lists[d].size()));
        for (std::int32_t r : lists[d])
            i32(out, r);
    }
    if (mesh.EndChunk)
        chunk(out, 0x29);
    return out;
}

// ---------------------------------------------------------------------------

DemoMesh DemoCarMesh()
{
    DemoMesh mesh;
    mesh.Type = "M_07";
    mesh.Filename = "democar.gp4";
    mesh.Header = {3, 7, 0, -1, 65536};
    mesh.VertexUnknown1 = 17;
    mesh.VertexExtra = {3, 0, 2};
    mesh.Textures = {"democar_body.tex", "democar_wing.tex", "democar_tyre.tex"};
    mesh.Materials = {"body_paint", "wing_carbon", "tyre_rubber"};
    mesh.GapAfterVertices = std::string(4, '\0');
    auto shape = [&mesh](const char* name) -> DemoShape& {
        mesh.Shapes.push_back({name, true, {}, -1});
        return mesh.Shapes.back();
    };
    mesh.AddBox(shape("body"), {0, 0.35f, 0}, {0.9f, 0.5f, 4.2f});
    mesh.AddBox(shape("cockpit"), {0, 0.7f, -0.2f}, {0.6f, 0.3f, 1.0f});
    mesh.AddBox(shape("wing_front"), {0, 0.12f, 2.3f}, {1.8f, 0.06f, 0.4f});
    mesh.AddWheel(shape("wheel_front"), {0, 0.33f, 1.5f}, 0.33f, 1.9f, 12);
    mesh.AddWheel(shape("wheel_rear"), {0, 0.36f, -1.5f}, 0.36f, 1.9f, 12);
    mesh.AddPyramid(shape("airbox"), {0, 0.85f, -0.9f}, 0.3f, 0.35f);
    DemoShape& rear = shape("wing_rear");
    mesh.AddBox(rear, {0, 0.95f, -2.2f}, {1.4f, 0.08f, 0.35f});
    mesh.AddBox(rear, {0, 0.6f, -2.2f}, {0.08f, 0.6f, 0.2f});
    rear.SplitAt = 12; // the pylon's triangles form a second run
    mesh.Scale(16);
    return mesh;
}

DemoMesh DemoTrackSideMesh()
{
    DemoMesh mesh;
    mesh.Type = "M_05";
    mesh.Filename = "trackside.gp4";
    mesh.Header = {1, 0, 12, 5, 2};
    mesh.VertexUnknown1 = 23;
    mesh.VertexExtra = {2, 0, 1};
    mesh.Textures = {"cone.tex", "board.tex"};
    mesh.Materials = {"cone_orange", "board_white"};
    auto shape = [&mesh](const char* name) -> DemoShape& {
        mesh.Shapes.push_back({name, true, {}, -1});
        return mesh.Shapes.back();
    };
    mesh.AddPyramid(shape("cone_left"), {-3, 0, 0}, 0.4f, 0.7f);
    mesh.AddPyramid(shape("cone_right"), {3, 0, 0}, 0.4f, 0.7f);
    DemoShape& board = shape("pitboard");
    mesh.AddBox(board, {0, 1.2f, 0}, {1.6f, 0.9f, 0.05f});
    mesh.AddBox(board, {0, 0.4f, 0}, {0.08f, 0.8f, 0.08f});
    mesh.AddWheel(shape("tyre_stack"), {0, 0.25f, 3}, 0.3f, 0.5f, 10);
    mesh.Scale(30);
    return mesh;
}

DemoMesh LargeDemoMesh(int triangles)
{
    DemoMesh mesh;
    mesh.Filename = "large.gp4";
    mesh.VertexUnknown1 = 17;
    mesh.VertexExtra = {3, 0, 2};
    mesh.Textures = {"large.tex"};
    mesh.Materials = {"large"};
    // A grid of columns x rows quads, two triangles each, cut into sixteen
    // bands of rows, each a shape.
    constexpr int Shapes = 16;
    const int columns = 400;
    const int rows = std::max(Shapes, (triangles / 2 + columns - 1) / columns);
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c) {
            // 0.2 units apart: one pixel at the preview's start zoom.
            const double x = c * 0.2, z = r * 0.2;
            mesh.AddVertex(static_cast<float>(x), static_cast<float>(4 * std::sin(x * 0.35) * std::cos(z * 0.25)),
                           static_cast<float>(z));
        }
    for (int s = 0; s < Shapes; ++s) {
        DemoShape shape{"band_" + std::to_string(s), true, {}, -1};
        for (int r = rows * s / Shapes; r < rows * (s + 1) / Shapes; ++r)
            for (int c = 0; c < columns; ++c) {
                const std::int32_t a = r * (columns + 1) + c, b = a + 1, d = a + columns + 1, e = d + 1;
                shape.Triangles.push_back({a, b, e});
                shape.Triangles.push_back({a, e, d});
            }
        mesh.Shapes.push_back(std::move(shape));
    }
    return mesh;
}

void WriteDemoMeshes(const std::string& folder)
{
    const std::string base = AddTrailingBackslash(folder) + "meshes" + PathDelim;
    ForceDirectories(base);
    for (const auto& [name, mesh] : {std::pair{"DEMOCAR.GP4", DemoCarMesh()}, {"TRACKSIDE.GP4", DemoTrackSideMesh()}}) {
        const std::string bytes = BuildGP4Mesh(mesh);
        TFileStream file(base + name, FileMode::Create);
        file.WriteBuffer(bytes.data(), bytes.size());
        file.Close();
    }
}

} // namespace paddock::demo
