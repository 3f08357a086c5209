// The 3DS files we write open in an independent reader, assimp (Debian's
// assimp-utils): object by object, the triangles it reports have the corners
// of the mesh's own shapes' polygons, in the same order, and the materials
// carry our names.

#include "app/Streams.h"
#include "formats/GP4GP4.h"

#include "DemoMeshes.h"
#include "InteropSupport.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace paddock;
using namespace paddock::testing;

namespace {

constexpr const char* Assimp = "/usr/bin/assimp";

bool haveAssimp()
{
    return std::filesystem::exists(Assimp) && run(std::string(Assimp) + " version");
}

struct AssimpMesh {
    std::vector<std::array<std::size_t, 3>> faces;
    std::vector<std::array<double, 3>> positions;
};

struct AssimpScene {
    std::vector<std::string> materials;
    std::vector<AssimpMesh> meshes;
};

// The text between the first tag named `tag` at or after `from` and its end
// tag; `from` moves to the end tag, or to npos when there is none. A name
// ending in a space tells "<Mesh " from "<MeshList".
std::string element(const std::string& xml, const std::string& tag, std::size_t& from)
{
    const std::size_t open = xml.find("<" + tag, from);
    if (open == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    const std::size_t start = xml.find('>', open) + 1;
    const std::string name = tag.back() == ' ' ? tag.substr(0, tag.size() - 1) : tag;
    const std::size_t end = xml.find("</" + name + ">", start);
    from = end;
    return xml.substr(start, end - start);
}

// The scene of assimp's XML dump: material names, and per mesh its faces and
// vertex positions as assimp holds them (before any node's transformation).
AssimpScene readDump(const std::string& xml)
{
    AssimpScene scene;
    for (std::size_t at = xml.find("\"?mat.name\""); at != std::string::npos; at = xml.find("\"?mat.name\"", at + 1)) {
        const std::size_t open = xml.find('"', xml.find('>', at) + 1);
        scene.materials.push_back(xml.substr(open + 1, xml.find('"', open + 1) - open - 1));
    }
    std::size_t from = xml.find("<MeshList");
    while (true) {
        const std::string mesh = element(xml, "Mesh ", from);
        if (from == std::string::npos)
            break;
        AssimpMesh m;
        std::size_t f = 0;
        const std::string faces = element(mesh, "FaceList", f);
        std::size_t face = 0;
        while (true) {
            std::istringstream corners(element(faces, "Face ", face));
            if (face == std::string::npos)
                break;
            std::array<std::size_t, 3> c{};
            corners >> c[0] >> c[1] >> c[2];
            m.faces.push_back(c);
        }
        std::size_t p = 0;
        std::istringstream positions(element(mesh, "Positions", p));
        std::array<double, 3> v{};
        while (positions >> v[0] >> v[1] >> v[2])
            m.positions.push_back(v);
        scene.meshes.push_back(std::move(m));
    }
    return scene;
}

} // namespace

TEST(GP4AssimpInterop, AssimpReadsTheShapesOfOurThreeDSFiles)
{
    if (!haveAssimp())
        GTEST_SKIP() << "missing: assimp (assimp-utils)";
    ScopedScript script;
    TempDir dir;
    demo::DemoMesh wide = demo::LargeDemoMesh(3000);
    // Enough textures for materials 1 and 10 to be told apart by name.
    for (int t = 1; t <= 11; ++t)
        wide.Textures.push_back("large" + std::to_string(t) + ".tex");
    for (const demo::DemoMesh& source : {demo::DemoCarMesh(), demo::DemoTrackSideMesh(), wide}) {
        SCOPED_TRACE(source.Filename);
        WriteBytes(dir / "mesh.gp4", demo::BuildGP4Mesh(source));
        const TGP4File mesh(dir / "mesh.gp4");
        ASSERT_TRUE(mesh.Save3DS(dir / "mesh.3ds"));
        std::filesystem::remove(dir / "mesh.assxml");
        ASSERT_TRUE(run(std::string(Assimp) + " dump " + quoted(dir / "mesh.3ds") + " " + quoted(dir / "mesh.assxml")));
        const AssimpScene scene = readDump(ReadBytes(dir / "mesh.assxml"));

        // Our materials, "mate" and their zero-padded numbers, and assimp's
        // default one.
        ASSERT_EQ(scene.materials.size(), source.Textures.size() + 1);
        for (std::size_t i = 0; i < source.Textures.size(); ++i) {
            const std::string number = std::to_string(i);
            EXPECT_EQ(scene.materials[i], "mate" + std::string(5 - number.size(), '0') + number);
        }

        // One mesh per shape, each triangle on the corners of the shape's
        // polygon of the same place.
        ASSERT_EQ(scene.meshes.size(), mesh.Shapes.size());
        for (std::size_t s = 0; s < mesh.Shapes.size(); ++s) {
            SCOPED_TRACE(mesh.Shapes[s].Name);
            const AssimpMesh& read = scene.meshes[s];
            const std::vector<std::int32_t> polygons = mesh.WalkShape(static_cast<int>(s)).Polygons;
            ASSERT_EQ(read.faces.size(), polygons.size());
            ASSERT_EQ(polygons.size(), source.Shapes[s].Triangles.size());
            for (std::size_t k = 0; k < polygons.size(); ++k) {
                for (int c = 0; c < 3; ++c) {
                    const auto corner = static_cast<std::size_t>(source.Shapes[s].Triangles[k][static_cast<std::size_t>(c)]);
                    const std::array<float, 3>& expected = source.Positions[corner];
                    ASSERT_LT(read.faces[k][static_cast<std::size_t>(c)], read.positions.size());
                    const std::array<double, 3>& got = read.positions[read.faces[k][static_cast<std::size_t>(c)]];
                    for (std::size_t axis = 0; axis < 3; ++axis)
                        ASSERT_NEAR(got[axis], expected[axis], 2e-6 * std::max(1.0, std::fabs(double(expected[axis]))))
                            << "face " << k << " corner " << c;
                }
            }
        }
    }
    EXPECT_EQ(script->verify(), "");
}
