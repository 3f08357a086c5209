// Mesh files (.GP4) of our own making, written by a writer of their own that
// shares nothing with the program's reader: a description of a mesh (shapes
// of triangles over one vertex list, textures, materials, how the runs are
// laid out) and the bytes of the file. The demo game folder gets an "M_05"
// and an "M_07" mesh; tests and benchmarks build others.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace paddock::demo {

struct DemoShape {
    std::string Name;
    bool QuotedName = true; // false: the name's bytes are written without quotes
    std::vector<std::array<std::int32_t, 3>> Triangles; // corners in the mesh's vertex list
    // The shape's triangles from this one on form a second run, placed after
    // every shape's first run (so that the shape's runs do not match its
    // index); -1 for one run.
    int SplitAt = -1;
};

struct DemoMesh {
    std::string Type = "M_07"; // "M_05" or "M_07"
    std::string Filename = "demo.gp4";
    std::array<std::int32_t, 5> Header{}; // Unknown1 ... Unknown5 (Unknown2 only in "M_07")
    std::vector<std::array<float, 3>> Positions;
    // Vertex Unknown1 (23 gives 20-byte runs, anything else 28-byte ones)
    // and the counts of carried words after the position and two more words.
    std::int32_t VertexUnknown1 = 23;
    std::array<std::int32_t, 3> VertexExtra{2, 0, 1};
    std::vector<std::string> Textures;
    std::vector<std::string> Materials;
    std::vector<DemoShape> Shapes;
    // Bytes written between the vertices chunk and the next chunk header.
    std::string GapAfterVertices;
    // Written in place of each run list's entries when not empty: the run
    // lists as they are, whatever the shapes' triangles.
    std::vector<std::vector<std::int32_t>> RunListsOverride;
    bool EndChunk = true;

    // Multiplies every position by factor.
    void Scale(float factor);
    // Adds a vertex and returns its index.
    std::int32_t AddVertex(float x, float y, float z);
    // Closed solids: 12 triangles, 2 * segments + 2 * (segments - 2) triangles,
    // 6 triangles. Their vertices are added to the list and shared by their
    // triangles.
    void AddBox(DemoShape& shape, std::array<float, 3> centre, std::array<float, 3> size);
    void AddWheel(DemoShape& shape, std::array<float, 3> centre, float radius, float width, int segments);
    void AddPyramid(DemoShape& shape, std::array<float, 3> centre, float base, float height);
};

// The bytes of the mesh file.
std::string BuildGP4Mesh(const DemoMesh& mesh);

// A small car of seven shapes ("M_07", 28-byte runs, four bytes between two
// geometry chunks); its rear wing's triangles lie in two runs, the second
// after every other shape's run.
DemoMesh DemoCarMesh();
// Track-side objects ("M_05", 20-byte runs), one run per shape.
DemoMesh DemoTrackSideMesh();
// About the given number of triangles on a wavy surface, in sixteen shapes.
DemoMesh LargeDemoMesh(int triangles);

// Writes DEMOCAR.GP4 and TRACKSIDE.GP4 into folder/meshes.
void WriteDemoMeshes(const std::string& folder);

} // namespace paddock::demo
