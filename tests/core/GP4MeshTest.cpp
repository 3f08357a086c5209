// Mesh files read from bytes of the demo writer's making, and the 3DS files
// written from them read back with a chunk reader of the test's own.
#include "app/FileError.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"
#include "formats/Writer3DS.h"

#include "DemoMeshes.h"
#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

using namespace paddock;
using namespace paddock::testing;
using demo::DemoMesh;

namespace {

const std::string ErrQuote = "Chunkheader: No quote found";

std::string u32Bytes(std::uint32_t v)
{
    std::string b(4, '\0');
    std::memcpy(b.data(), &v, 4);
    return b;
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t v)
{
    std::memcpy(bytes.data() + at, &v, 4);
}

float floatAt(const std::string& bytes, std::size_t at)
{
    float f;
    std::memcpy(&f, bytes.data() + at, 4);
    return f;
}

// Where the content of the first chunk of that type starts.
std::size_t chunkContent(const std::string& bytes, std::uint32_t type)
{
    const std::size_t at = bytes.find(u32Bytes(34) + u32Bytes(type));
    EXPECT_NE(at, std::string::npos) << "no chunk of type " << type;
    return at + 8;
}

// Replaces the first quoted occurrence of name by one byte that is not a quote.
std::string unquote(std::string bytes, const std::string& name)
{
    const std::size_t at = bytes.find('"' + name + '"');
    EXPECT_NE(at, std::string::npos);
    return bytes.replace(at, name.size() + 2, "X");
}

TGP4File load(const std::string& bytes)
{
    TGP4File mesh;
    TMemoryStreamEx stream;
    stream.SetPointer(bytes.data(), bytes.size());
    mesh.LoadFromStream(stream);
    return mesh;
}

// The same small mesh in either variant: shape 1's polygons use vertices
// 3, 5 and 9 of the list only; shapes 0 and 2 share vertex 0.
DemoMesh smallMesh(const std::string& type)
{
    DemoMesh m;
    m.Type = type;
    m.Filename = "small.gp4";
    m.Header = {11, 22, 33, -1, 55};
    for (int v = 0; v < 10; ++v)
        m.AddVertex(static_cast<float>(v), static_cast<float>(v) * 2 + 0.5f, -static_cast<float>(v));
    m.Shapes = {{"first", true, {{0, 1, 2}, {0, 2, 4}}, -1},
                {"second", true, {{3, 5, 9}, {9, 5, 3}}, -1},
                {"third", true, {{0, 6, 7}}, -1}};
    m.Textures = {"a.tex", "b.tex", "c.tex"};
    m.Materials = {"mat_a"};
    return m;
}

// ---- A 3DS reader of the test's own ---------------------------------------

struct Chunk {
    std::uint16_t id = 0;
    std::uint32_t length = 0;
    std::string data; // a leaf's content, or a named object's name
    std::vector<Chunk> children;

    const Chunk& child(std::size_t i) const { return children.at(i); }
    std::vector<const Chunk*> all(std::uint16_t wanted) const
    {
        std::vector<const Chunk*> found;
        for (const Chunk& c : children)
            if (c.id == wanted)
                found.push_back(&c);
        return found;
    }
};

bool isContainer(std::uint16_t id)
{
    static const std::set<std::uint16_t> containers{0x4D4D, 0x3D3D, 0xAFFF, 0xA010, 0xA020, 0xA030, 0xA040,
                                                    0xA041, 0xA050, 0xA052, 0xA053, 0xA084, 0x4000, 0x4100};
    return containers.count(id) > 0;
}

// Reads the chunk at `at`; its children must fill it exactly.
Chunk readChunk(const std::string& bytes, std::size_t at)
{
    Chunk c;
    c.id = static_cast<std::uint16_t>(Le16(bytes, at));
    c.length = Le32(bytes, at + 2);
    EXPECT_LE(at + c.length, bytes.size()) << "chunk " << std::hex << c.id << " runs past the end";
    const std::size_t end = std::min<std::size_t>(at + c.length, bytes.size());
    std::size_t p = at + 6;
    if (!isContainer(c.id)) {
        c.data = bytes.substr(p, end - p);
        return c;
    }
    if (c.id == 0x4000) {
        const std::size_t zero = bytes.find('\0', p);
        c.data = bytes.substr(p, zero - p);
        p = zero + 1;
    }
    while (p < end) {
        c.children.push_back(readChunk(bytes, p));
        p += c.children.back().length;
        if (c.children.back().length < 6)
            break;
    }
    EXPECT_EQ(p, end) << "the children of chunk " << std::hex << c.id << " do not fill it";
    return c;
}

std::vector<std::uint32_t> u16s(const std::string& data)
{
    std::vector<std::uint32_t> v;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        v.push_back(Le16(data, i));
    return v;
}

class GP4MeshTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetFileFault({});
        EXPECT_EQ(script->verify(), "");
    }

    ScopedScript script;
    TempDir dir;
};

} // namespace

// ---- Reading --------------------------------------------------------------

TEST_F(GP4MeshTest, BothVariantsHoldTheSameContentAndLogTheirChunks)
{
    for (const std::string type : {"M_05", "M_07"}) {
        SCOPED_TRACE(type);
        const DemoMesh source = smallMesh(type);
        const std::string bytes = demo::BuildGP4Mesh(source);
        WriteBytes(dir / "small.gp4", bytes);
        std::vector<std::string> sunk;
        TGP4File mesh(dir / "small.gp4",
                      {[&sunk] { sunk = {"cleared"}; }, [&sunk](const std::string& l) { sunk.push_back(l); }});
        EXPECT_EQ(mesh.LoadedPath, dir / "small.gp4");
        EXPECT_EQ(mesh.Variant, type == "M_05" ? 1 : 2);
        EXPECT_EQ(std::string(mesh.ID.data(), 10), "GP4MESHBIN");
        EXPECT_EQ(std::string(mesh.M_Type.data(), 4), type);
        EXPECT_EQ(mesh.Filename, "small.gp4");
        // The second header word is there only in "M_07".
        EXPECT_EQ((std::vector<std::int32_t>{mesh.Unknown1, mesh.Unknown2, mesh.Unknown3, mesh.Unknown4, mesh.Unknown5}),
                  (std::vector<std::int32_t>{11, type == "M_07" ? 22 : 0, 33, -1, 55}));
        ASSERT_EQ(mesh.NumShapes, 3);
        ASSERT_EQ(mesh.Shapes.size(), 3u);
        EXPECT_EQ(mesh.Shapes[1].Name, "second");
        EXPECT_EQ(mesh.Shapes[1].Leading, 1001);
        // 180 or 188 bytes of shape data: word 44 is the last of "M_05".
        EXPECT_EQ(mesh.Shapes[2].DataWord(0), 2u);
        EXPECT_EQ(mesh.Shapes[2].DataWord(1), 1u);
        EXPECT_NE(mesh.Shapes[2].DataWord(44), 0u);
        EXPECT_EQ(mesh.Shapes[2].DataWord(45) == 0, type == "M_05");
        EXPECT_EQ(mesh.Shapes[2].DataWord(46) == 0, type == "M_05");
        EXPECT_EQ(mesh.Shapes[2].DataWord(47), 0u);
        EXPECT_EQ(mesh.Textures, (std::vector<std::string>{"a.tex", "b.tex", "c.tex"}));
        ASSERT_EQ(mesh.Materials.size(), 1u);
        EXPECT_EQ(mesh.Materials[0].Name, "mat_a");
        EXPECT_EQ(mesh.Materials[0].Groups[1].Value, -1);
        EXPECT_EQ(mesh.Materials[0].Groups[2].Floats[1], 1.125f);
        EXPECT_EQ(mesh.Materials[0].Words[15], 7);
        ASSERT_EQ(mesh.Unknown34.size(), 2u);
        EXPECT_EQ(mesh.Unknown34[1].Name, "light_b");
        EXPECT_EQ(mesh.Unknown3B.size(), 1u);

        ASSERT_EQ(mesh.Vertices.size(), 10u);
        EXPECT_EQ(mesh.NumVertices, 10);
        EXPECT_EQ(mesh.VertexUnknown1, 23);
        for (std::size_t v = 0; v < 10; ++v)
            EXPECT_EQ((std::array<float, 3>{mesh.Vertices[v].X(), mesh.Vertices[v].Y(), mesh.Vertices[v].Z()}),
                      source.Positions[v]);
        ASSERT_EQ(mesh.Polygons.size(), 5u);
        EXPECT_EQ(mesh.Polygons[3].Corners, (std::array<std::int32_t, 3>{9, 5, 3}));
        EXPECT_EQ(mesh.Polygons[3].Carried, 3);
        // Vertex Unknown1 23: 20-byte runs, words 5 and 6 zero.
        ASSERT_EQ(mesh.Unknown16.size(), 3u);
        EXPECT_EQ(mesh.Unknown16[1].Words, (std::array<std::int32_t, 7>{2, 2, 12, 13, 14, 0, 0}));
        EXPECT_EQ(mesh.Shapes[2].Unk21First, 502);
        EXPECT_EQ(mesh.Shapes[2].Unk21Indices, std::vector<std::int32_t>{2});

        // One line per geometry chunk, the end chunk's included, each with
        // the position after its header.
        const std::vector<std::string> log{
            GP4ChunkText(0x28, chunkContent(bytes, 0x28)), GP4ChunkText(0x0A, chunkContent(bytes, 0x0A)),
            GP4ChunkText(0x16, chunkContent(bytes, 0x16)), GP4ChunkText(0x21, chunkContent(bytes, 0x21)),
            GP4ChunkText(0x29, bytes.size())};
        EXPECT_EQ(mesh.ChunkLog, log);
        EXPECT_EQ(sunk.front(), "cleared");
        EXPECT_EQ(std::vector<std::string>(sunk.begin() + 1, sunk.end()), log);
    }
    EXPECT_EQ(GP4ChunkText(0x28, 0x1A4), "00000028@ 000001A4");

    // Another vertex Unknown1: 28-byte runs with all seven words.
    DemoMesh m = smallMesh("M_07");
    m.VertexUnknown1 = 5;
    const TGP4File mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_EQ(mesh.Unknown16[2].Words, (std::array<std::int32_t, 7>{4, 1, 22, 23, 24, 25, 26}));
    EXPECT_EQ(mesh.ChunkLog.size(), 5u);
}

TEST_F(GP4MeshTest, NumberedErrorsStopOrStepOneByteOn)
{
    const std::string good = demo::BuildGP4Mesh(smallMesh("M_05"));

    // Error 001 quotes what it read and what it needed; only ID is kept.
    std::string bytes = good;
    bytes.replace(0, 10, "GP4MESHBIX");
    script->expectError("GP4GP4 Error 001: Invalid GP4 file, magic ID not found (Read: GP4MESHBIX; Needed: GP4MESHBIN)");
    TGP4File mesh = load(bytes);
    EXPECT_EQ(std::string(mesh.ID.data(), 10), "GP4MESHBIX");
    EXPECT_EQ(mesh.Variant, 0);
    EXPECT_EQ(std::string(mesh.M_Type.data(), 4), std::string(4, '\0'));
    EXPECT_TRUE(mesh.Filename.empty() && mesh.Shapes.empty() && mesh.ChunkLog.empty());

    bytes = good;
    bytes.replace(10, 4, "M_06");
    script->expectError("GP4GP4 Error 002: Invalid GP4 M_Type: M_06");
    mesh = load(bytes);
    EXPECT_EQ(mesh.Variant, 0);
    EXPECT_TRUE(mesh.Filename.empty());

    // A name without its opening quote: the message, one byte read, and the
    // reading goes on.
    script->expectError("GP4GP4 Error 003: No filename specified");
    mesh = load(unquote(good, "small.gp4"));
    EXPECT_TRUE(mesh.Filename.empty());
    EXPECT_EQ(mesh.Unknown5, 55);

    script->expectError("GP4GP4 Error 004: No shapename specified @ shape no. 1");
    mesh = load(unquote(good, "second"));
    ASSERT_EQ(mesh.Shapes.size(), 3u);
    EXPECT_EQ(mesh.Shapes[0].Name, "first");
    EXPECT_EQ(mesh.Shapes[1].Name, "");
    EXPECT_EQ(mesh.Shapes[2].Name, "third");
    EXPECT_EQ(mesh.ChunkLog.size(), 5u);

    script->expectError("GP4GP4 Error 006: No texture name specified @ texture no. 2")
        .expectError("Gp4GP4 Error 007: No material name specified @ ,aterial no. 0")
        .expectError("GP4GP4 Error 005: No Unknown34 name specified @ Unknown34 no. 1");
    mesh = load(unquote(unquote(unquote(good, "light_b"), "c.tex"), "mat_a"));
    EXPECT_EQ(mesh.Textures, (std::vector<std::string>{"a.tex", "b.tex", ""}));
    EXPECT_EQ(mesh.Materials.at(0).Name, "");
    EXPECT_EQ(mesh.Unknown34.at(0).Name, "light_a");
    EXPECT_EQ(mesh.Polygons.size(), 5u);
}

// A file of thousands of bad records shows the first of each kind and, when
// the reading ends, how many more of that kind followed.
TEST_F(GP4MeshTest, RepeatedMessagesShowTheFirstAndHowManyFollowed)
{
    // 5000 texture names and two shape names without their quotes, three
    // chunk headers without theirs between two geometry chunks.
    DemoMesh m = smallMesh("M_05");
    m.Textures.assign(5000, "zq");
    for (int k = 0; k < 3; ++k)
        m.GapAfterVertices += u32Bytes(1) + u32Bytes(1) + u32Bytes(0x16) + u32Bytes(0) + u32Bytes(0);
    const std::string bytes = unquote(unquote(ReplaceAll(demo::BuildGP4Mesh(m), "\"zq\"", "X"), "first"), "third");
    for (int again = 0; again < 2; ++again) {
        script->expectError("GP4GP4 Error 004: No shapename specified @ shape no. 0")
            .expectError("GP4GP4 Error 006: No texture name specified @ texture no. 0")
            .expectMessage(ErrQuote)
            .expectError("GP4GP4 Error 004: No shapename specified ... and 1 more like it")
            .expectError("GP4GP4 Error 006: No texture name specified ... and 4999 more like it")
            .expectMessage(ErrQuote + " ... and 2 more like it");
        const TGP4File mesh = load(bytes);
        EXPECT_EQ(mesh.Textures, std::vector<std::string>(5000));
        EXPECT_EQ(mesh.Shapes.at(1).Name, "second");
        EXPECT_EQ(mesh.Polygons.size(), 5u);
        EXPECT_EQ(mesh.ChunkLog.size(), 8u);
    }

    // A file that ends early tells the counts before it is refused.
    script->expectError("GP4GP4 Error 004: No shapename specified @ shape no. 0")
        .expectError("GP4GP4 Error 006: No texture name specified @ texture no. 0")
        .expectError("GP4GP4 Error 004: No shapename specified ... and 1 more like it")
        .expectError("GP4GP4 Error 006: No texture name specified ... and 4999 more like it");
    EXPECT_THROW(load(bytes.substr(0, chunkContent(bytes, 0x28) + 4)), EReadError);

    // One bad record of a kind is shown alone.
    script->expectError("GP4GP4 Error 004: No shapename specified @ shape no. 2");
    EXPECT_EQ(load(unquote(demo::BuildGP4Mesh(smallMesh("M_07")), "third")).Shapes.at(2).Name, "");
}

TEST_F(GP4MeshTest, EmptyListsNoShapesAndStepsBetweenChunks)
{
    // Count 0 gives an empty list.
    DemoMesh m = smallMesh("M_07");
    m.Textures.clear();
    m.Materials.clear();
    TGP4File mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_TRUE(mesh.Textures.empty());
    EXPECT_TRUE(mesh.Materials.empty());
    EXPECT_EQ(mesh.Polygons.size(), 5u);

    // No shapes: the reading stops after the resources with an empty log.
    m = smallMesh("M_07");
    m.Shapes.clear();
    bool cleared = false;
    mesh.LogSink.Clear = [&cleared] { cleared = true; };
    TMemoryStreamEx stream;
    const std::string noShapes = demo::BuildGP4Mesh(m);
    stream.SetPointer(noShapes.data(), noShapes.size());
    mesh = TGP4File();
    mesh.LogSink.Clear = [&cleared] { cleared = true; };
    mesh.LoadFromStream(stream);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(mesh.NumShapes, 0);
    EXPECT_TRUE(mesh.ChunkLog.empty());
    EXPECT_TRUE(mesh.Vertices.empty());
    EXPECT_EQ(mesh.Textures.size(), 3u);

    // Four extra bytes between two chunks are stepped over.
    m = smallMesh("M_07");
    m.GapAfterVertices = std::string(4, '\0');
    std::string bytes = demo::BuildGP4Mesh(m);
    mesh = load(bytes);
    EXPECT_EQ(mesh.ChunkLog.size(), 5u);
    EXPECT_EQ(mesh.ChunkLog[1], GP4ChunkText(0x0A, chunkContent(bytes, 0x0A)));
    EXPECT_EQ(mesh.Polygons.size(), 5u);

    // Eight are not: the quote word is taken as the type, which ends reading.
    m.GapAfterVertices = std::string(8, '\0');
    bytes = demo::BuildGP4Mesh(m);
    const std::size_t at = chunkContent(bytes, 0x0A) - 4;
    script->expectMessage(ErrQuote).expectMessage("Unknown ChunkHeader " + GP4ChunkText(0x22, at));
    mesh = load(bytes);
    EXPECT_EQ(mesh.ChunkLog, (std::vector<std::string>{GP4ChunkText(0x28, chunkContent(bytes, 0x28)),
                                                       GP4ChunkText(0x22, at)}));
    EXPECT_TRUE(mesh.Polygons.empty());
    EXPECT_EQ(mesh.Vertices.size(), 10u);
}

// A damaged or hostile file is refused before anything is read or allocated
// beyond its bytes.
TEST_F(GP4MeshTest, TruncatedFilesAndImpossibleCountsAreRefused)
{
    for (const DemoMesh& m : {demo::DemoCarMesh(), demo::DemoTrackSideMesh()}) {
        const std::string bytes = demo::BuildGP4Mesh(m);
        EXPECT_EQ(load(bytes).ChunkLog.size(), 5u);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            try {
                load(bytes.substr(0, length));
                ADD_FAILURE() << "a mesh cut to " << length << " bytes was read";
            } catch (const EReadError&) {
            }
        }
    }
    WriteBytes(dir / "short.gp4", "GP4MESHBINM_07\"na");
    try {
        TGP4File mesh(dir / "short.gp4");
        ADD_FAILURE() << "a name without its closing quote was read";
    } catch (const EReadError& e) {
        EXPECT_EQ(std::string(e.what()), "Read error in \"" + dir / "short.gp4" +
                                             "\": The file ends inside the name that starts at offset 0x0000000E in "
                                             "the header (no closing quote)");
    }

    const std::string good = demo::BuildGP4Mesh(smallMesh("M_07"));
    const std::size_t shapesAt = 10 + 4 + 11 + 20;
    const std::size_t vertices = chunkContent(good, 0x28);
    const std::size_t runs = chunkContent(good, 0x16);
    const std::size_t lists = chunkContent(good, 0x21);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        const char* reason;
    };
    const Case cases[] = {
        {"NumShapes", shapesAt, 0x7FFFFFFF, "The file ends before its 2147483647 shapes in the shape headers"},
        {"negative NumShapes", shapesAt, 0xFFFFFFFF, "The file holds a negative number of shapes (-1)"},
        {"texture count", chunkContent(good, 0x01) + 4, 100000000, "The file ends before its 100000000 textures"},
        {"material count", chunkContent(good, 0x02) + 4, 1000000, "The file ends before its 1000000 materials"},
        {"vertex count", vertices + 4, 0x10000000, "The file ends before its 268435456 vertices"},
        {"vertex words", vertices + 12, 0x7FFFFFF0, "The file ends before its 10 vertices"},
        {"polygon count", vertices, 0x01000000, "The file ends before its 16777216 polygons"},
        {"run count", runs + 4, 0x40000000, "The file ends before its 1073741824 polygon runs"},
        {"run list count", lists + 4, 0x7FFFFFFF, "The file ends before its 2147483647 run lists"},
        {"run list entries", lists + 12, 0x20000000, "The file ends before its 536870912 run list entries"},
        {"negative entries", lists + 12, 0xFFFFFFF0, "The file holds a negative number of run list entries (-16)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        putU32(bytes, c.at, c.value);
        if (std::string(c.what) == "vertex words")
            script->expectError("GP4GP4 Error 008: *");
        try {
            load(bytes);
            ADD_FAILURE() << "read";
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST_F(GP4MeshTest, WhatTheShapesNameButTheFileDoesNotHoldIsReportedAndSkipped)
{
    // Vertex records of 15 words keep their first 14.
    DemoMesh m = smallMesh("M_07");
    m.VertexExtra = {5, 3, 2};
    script->expectError("GP4GP4 Error 008: The vertex records are 15 words long; only their first 14 words are kept");
    TGP4File mesh = load(demo::BuildGP4Mesh(m));
    ASSERT_EQ(mesh.Vertices.size(), 10u);
    EXPECT_EQ(mesh.Vertices[9].Y(), 18.5f);
    EXPECT_EQ(mesh.Polygons.size(), 5u);
    EXPECT_EQ(mesh.ChunkLog.size(), 5u);

    // Records too short for a position end the reading.
    m.VertexExtra = {-3, 0, 0};
    script->expectError("GP4GP4 Error 009: Invalid vertex records of 2 words; a vertex needs at least its 3 position "
                        "words. Reading ends here");
    mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_TRUE(mesh.Vertices.empty());
    EXPECT_EQ(mesh.ChunkLog.size(), 1u);

    // More run lists than shapes: the extra ones are read past.
    m = smallMesh("M_07");
    m.RunListsOverride = {{0}, {1}, {2}, {2, 1}, {0}};
    script->expectError("GP4GP4 Error 010: The file holds 5 run lists for 3 shapes; the lists after the last shape "
                        "are skipped");
    mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_EQ(mesh.NumUnk21, 5);
    EXPECT_EQ(mesh.Shapes[2].Unk21Indices, std::vector<std::int32_t>{2});
    EXPECT_EQ(mesh.ChunkLog.size(), 5u);

    // A run list entry naming no run, a run reaching past the polygons (into
    // shape 2's) and a corner outside the vertex list.
    m = smallMesh("M_07");
    m.Shapes[2].Triangles[0] = {0, 6, 10};
    m.RunListsOverride = {{0, 7, -1}, {1}, {2}};
    std::string bytes = demo::BuildGP4Mesh(m);
    putU32(bytes, chunkContent(bytes, 0x16) + 8 + 20 + 4, 4); // run 1: polygons 2 to 5 of 5
    script->expectError("GP4GP4 Error 011: Shapes name what the file does not hold (first shape 0, first): 2 run list "
                        "entries name no run, 1 polygon lies outside the polygon list, 2 polygons have corners outside "
                        "the vertex list. The preview and the 3DS export skip them");
    mesh = load(bytes);
    TGP4ShapeWalk walk = mesh.WalkShape(0);
    EXPECT_EQ(walk.Polygons, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(walk.MissingRuns, 2);
    walk = mesh.WalkShape(1);
    EXPECT_EQ(walk.Polygons, (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(walk.MissingPolygons, 1);
    EXPECT_EQ(walk.BrokenPolygons, 1);
    walk = mesh.WalkShape(2);
    EXPECT_TRUE(walk.Polygons.empty());
    EXPECT_EQ(walk.BrokenPolygons, 1);
    EXPECT_TRUE(mesh.WalkShape(3).Polygons.empty());
    EXPECT_TRUE(mesh.WalkShape(-1).Polygons.empty());

    // The export writes what exists and says what it left out.
    script->expectError("GP4GP4 Error 013: The 3DS file leaves out what the shapes name but the mesh does not hold: 2 "
                        "run list entries name no run, 1 polygon lies outside the polygon list, 2 polygons have corners "
                        "outside the vertex list");
    EXPECT_TRUE(mesh.Save3DS(dir / "partial.3ds"));
    const Chunk main = readChunk(ReadBytes(dir / "partial.3ds"), 0);
    const auto objects = main.child(1).all(0x4000);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(Le16(objects[1]->child(0).child(1).data, 0), 2u);
    EXPECT_EQ(Le16(objects[2]->child(0).child(1).data, 0), 0u);

    // A shape that names one run very often is counted without being walked.
    m = smallMesh("M_07");
    m.RunListsOverride = {std::vector<std::int32_t>(1 << 20, 0), {1}, {2}};
    mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_EQ(mesh.CountShapes()[0].Named, 2 << 20);
    EXPECT_TRUE(mesh.CountShapes()[0].Complete());
}

TEST_F(GP4MeshTest, UsedVerticesAreCountedOnce)
{
    const TGP4File mesh = load(demo::BuildGP4Mesh(smallMesh("M_05")));
    std::vector<std::uint8_t> flags{9, 9};
    EXPECT_EQ(mesh.CountUsedVertices(1, flags), 3);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(mesh.CountUsedVertices(0, flags), 4);
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{1, 1, 1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(mesh.CountUsedVertices(7, flags), 0);
    EXPECT_EQ(flags.size(), 10u);
}

// ---- 3DS ------------------------------------------------------------------

TEST_F(GP4MeshTest, Export3DSWritesTheChunkTree)
{
    const DemoMesh source = smallMesh("M_07");
    TGP4File mesh = load(demo::BuildGP4Mesh(source));
    ASSERT_TRUE(mesh.Save3DS(dir / "small.3ds"));
    const std::string bytes = ReadBytes(dir / "small.3ds");
    const Chunk main = readChunk(bytes, 0);
    EXPECT_EQ(main.id, 0x4D4D);
    EXPECT_EQ(main.length, bytes.size());
    ASSERT_EQ(main.children.size(), 2u);
    EXPECT_EQ(main.child(0).id, 0x0002);
    EXPECT_EQ(main.child(0).data, u32Bytes(3));
    const Chunk& editor = main.child(1);
    EXPECT_EQ(editor.id, 0x3D3D);
    ASSERT_EQ(editor.children.size(), 2u + 3u + 3u);
    EXPECT_EQ(editor.child(0).id, 0x3D3E);
    EXPECT_EQ(editor.child(0).data, u32Bytes(3));
    EXPECT_EQ(editor.child(1).id, 0x0100);
    EXPECT_EQ(floatAt(editor.child(1).data, 0), 1.0f);

    // The materials: "mate" and their zero-padded numbers, colours,
    // percentages.
    const auto materials = editor.all(0xAFFF);
    ASSERT_EQ(materials.size(), 3u);
    const char* const names[] = {"mate00000", "mate00001", "mate00002"};
    for (std::size_t i = 0; i < 3; ++i) {
        const Chunk& m = *materials[i];
        EXPECT_EQ(m.length, materials[0]->length);
        std::vector<std::uint32_t> ids;
        for (const Chunk& c : m.children)
            ids.push_back(c.id);
        ASSERT_EQ(ids, (std::vector<std::uint32_t>{0xA000, 0xA010, 0xA020, 0xA030, 0xA040, 0xA041, 0xA050, 0xA052,
                                                   0xA053, 0xA084, 0xA100, 0xA087, 0xA08A}));
        EXPECT_EQ(m.child(0).data, std::string(names[i]) + '\0');
        EXPECT_EQ(m.child(1).child(0).id, 0x0011);
        EXPECT_EQ(m.child(1).child(0).data.size(), 3u);
        for (char c : m.child(1).child(0).data)
            EXPECT_NE(static_cast<unsigned char>(c), 255);
        EXPECT_EQ(m.child(2).child(0).data, "\xB2\xB2\xB2");
        EXPECT_EQ(m.child(3).child(0).data, "\xFF\xFF\xFF");
        std::vector<std::uint32_t> percentages;
        for (std::size_t k = 4; k < 10; ++k) {
            EXPECT_EQ(m.child(k).child(0).id, 0x0030);
            percentages.push_back(Le16(m.child(k).child(0).data, 0));
        }
        EXPECT_EQ(percentages, (std::vector<std::uint32_t>{50, 5, 0, 0, 0, 0}));
        EXPECT_EQ(m.child(10).id, 0xA100);
        EXPECT_EQ(Le16(m.child(10).data, 0), 3u);
        EXPECT_EQ(m.child(11).id, 0xA087);
        EXPECT_EQ(floatAt(m.child(11).data, 0), 1.0f);
        EXPECT_EQ(m.child(12).id, 0xA08A);
        EXPECT_EQ(m.child(12).length, 6u);
    }

    // Shape 1 uses vertices 3, 5 and 9: three points, faces by their places.
    const auto objects = editor.all(0x4000);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[1]->data, "second");
    const Chunk& second = objects[1]->child(0);
    EXPECT_EQ(second.id, 0x4100);
    ASSERT_EQ(second.children.size(), 3u);
    std::string points = u32Bytes(3).substr(0, 2);
    for (int v : {3, 5, 9})
        for (float c : source.Positions[static_cast<std::size_t>(v)])
            points += std::string(reinterpret_cast<const char*>(&c), 4);
    EXPECT_EQ(second.child(0).id, 0x4110);
    EXPECT_EQ(second.child(0).length, 3u * 12 + 2 + 6);
    EXPECT_EQ(second.child(0).data, points);
    EXPECT_EQ(second.child(1).id, 0x4120);
    EXPECT_EQ(u16s(second.child(1).data), (std::vector<std::uint32_t>{2, 0, 1, 2, 7, 2, 1, 0, 7}));
    EXPECT_EQ(second.child(2).id, 0x4160);
    const float axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(second.child(2).data, std::string(reinterpret_cast<const char*>(axes), 48));

    // The whole object of shape 2, byte for byte: vertex 0 is also listed in
    // shape 0's object.
    std::string third = std::string("\x00\x40", 2) + u32Bytes(132) + "third" + '\0' + std::string("\x00\x41", 2) +
                        u32Bytes(120) + std::string("\x10\x41", 2) + u32Bytes(44) + std::string("\x03\x00", 2);
    for (int v : {0, 6, 7})
        for (float c : source.Positions[static_cast<std::size_t>(v)])
            third += std::string(reinterpret_cast<const char*>(&c), 4);
    third += std::string("\x20\x41", 2) + u32Bytes(16) + std::string("\x01\x00\x00\x00\x01\x00\x02\x00\x07\x00", 10) +
             std::string("\x60\x41", 2) + u32Bytes(54) + std::string(reinterpret_cast<const char*>(axes), 48);
    EXPECT_EQ(bytes.substr(bytes.size() - third.size()), third);
    EXPECT_EQ(objects[0]->child(0).child(0).data.substr(2, 12), third.substr(26, 12));

    // No textures: the editor chunk holds the versions and the objects only.
    DemoMesh bare = source;
    bare.Textures.clear();
    mesh = load(demo::BuildGP4Mesh(bare));
    ASSERT_TRUE(mesh.Save3DS(dir / "bare.3ds"));
    const Chunk bareMain = readChunk(ReadBytes(dir / "bare.3ds"), 0);
    std::vector<std::uint32_t> ids;
    for (const Chunk& c : bareMain.child(1).children)
        ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0x3D3E, 0x0100, 0x4000, 0x4000, 0x4000}));

    // Materials 1 and 10, 12 and 120 have names of their own.
    DemoMesh many = source;
    many.Textures.assign(121, "t.tex");
    mesh = load(demo::BuildGP4Mesh(many));
    ASSERT_TRUE(mesh.Save3DS(dir / "many.3ds"));
    const Chunk manyMain = readChunk(ReadBytes(dir / "many.3ds"), 0);
    const auto manyMaterials = manyMain.child(1).all(0xAFFF);
    ASSERT_EQ(manyMaterials.size(), 121u);
    std::set<std::string> distinct;
    for (const Chunk* m : manyMaterials)
        distinct.insert(m->child(0).data);
    EXPECT_EQ(distinct.size(), 121u);
    EXPECT_EQ(manyMaterials[1]->child(0).data, std::string("mate00001") + '\0');
    EXPECT_EQ(manyMaterials[10]->child(0).data, std::string("mate00010") + '\0');
    EXPECT_EQ(manyMaterials[120]->child(0).data, std::string("mate00120") + '\0');
    // Past five digits the numbers keep theirs, within a 3DS material
    // name's 16 characters.
    EXPECT_EQ(Material3DSName(99999), "mate99999");
    EXPECT_EQ(Material3DSName(100000), "mate100000");
    EXPECT_LE(Material3DSName(std::numeric_limits<std::int32_t>::max()).size(), 16u);
}

TEST_F(GP4MeshTest, Export3DSRefusesWhatItCannotCountAndKeepsAnEarlierFile)
{
    WriteBytes(dir / "earlier.3ds", "an earlier export");

    // 65536 faces: shape 0 names its run of 32768 triangles twice.
    DemoMesh m;
    for (int v = 0; v < 3; ++v)
        m.AddVertex(static_cast<float>(v), 0, 0);
    m.Shapes = {{"many", true, std::vector<std::array<std::int32_t, 3>>(32768, {0, 1, 2}), -1}};
    m.RunListsOverride = {{0, 0}};
    TGP4File mesh = load(demo::BuildGP4Mesh(m));
    script->expectError("GP4GP4 Error 012: Shape 0 (many) has 65536 faces; a 3DS object holds at most 65535. No 3DS "
                        "file was written");
    EXPECT_FALSE(mesh.Save3DS(dir / "earlier.3ds"));
    m.RunListsOverride = {};
    mesh = load(demo::BuildGP4Mesh(m));
    EXPECT_TRUE(mesh.Save3DS(dir / "fits.3ds"));

    // 65538 points in 21846 faces.
    m = DemoMesh();
    m.Shapes = {{"small", true, {{0, 1, 2}}, -1}, {"wide", true, {}, -1}};
    for (int v = 0; v < 65538; ++v)
        m.AddVertex(static_cast<float>(v), 1, 2);
    for (int t = 0; t < 21846; ++t)
        m.Shapes[1].Triangles.push_back({3 * t, 3 * t + 1, 3 * t + 2});
    mesh = load(demo::BuildGP4Mesh(m));
    script->expectError("GP4GP4 Error 012: Shape 1 (wide) has 65538 points; a 3DS object holds at most 65535. No 3DS "
                        "file was written");
    EXPECT_FALSE(mesh.Save3DS(dir / "earlier.3ds"));
    EXPECT_EQ(ReadBytes(dir / "earlier.3ds"), "an earlier export");

    // 3400 objects of 65535 points and 65535 faces each: a file of 4.46 GB,
    // whose main chunk's length 32 bits cannot count. Refused before the
    // file is opened (any write would fail here).
    TGP4File huge;
    huge.Vertices.resize(65535);
    huge.Polygons.resize(65535);
    for (std::int32_t p = 0; p < 65535; ++p)
        huge.Polygons[static_cast<std::size_t>(p)].Corners = {p, (p + 1) % 65535, (p + 2) % 65535};
    huge.Unknown16.resize(1);
    huge.Unknown16[0].Words[1] = 65535;
    huge.Shapes.resize(3400);
    for (TGP4Shape& shape : huge.Shapes) {
        shape.Name = "s";
        shape.Unk21Indices = {0};
    }
    const std::vector<T3DSObjectCounts> objects(3400, {1, 65535, 65535});
    EXPECT_EQ(Object3DSLength(objects[0]), 8u + 6 + (8 + 65535 * 12) + (8 + 65535 * 8) + 54);
    EXPECT_EQ(Main3DSLength(0, objects), 16u + 26 + 3400 * Object3DSLength(objects[0]));
    EXPECT_EQ(Main3DSLength(0, objects), 4456665642u);
    // 3276 of them fit; a material more, of 175 bytes, is counted too.
    const std::vector<T3DSObjectCounts> fitting(3276, {1, 65535, 65535});
    EXPECT_LE(Main3DSLength(0, fitting), Max3DSChunkLength);
    EXPECT_EQ(Main3DSLength(1, fitting), Main3DSLength(0, fitting) + 175);
    // Nothing is created, let alone written.
    SetFileFault([](TFileOp op, const std::string& path) {
        if (op == TFileOp::Create || op == TFileOp::Write)
            throw EWriteError(path, "Nothing may be written");
    });
    script->expectError("GP4GP4 Error 014: The 3DS file would be 4456665642 bytes long; a 3DS chunk counts at most "
                        "4294967295 bytes. No 3DS file was written");
    EXPECT_FALSE(huge.Save3DS(dir / "earlier.3ds"));
    EXPECT_EQ(ReadBytes(dir / "earlier.3ds"), "an earlier export");
    EXPECT_EQ(OursLeftIn(dir.path()), "");
    SetFileFault({});

    // A write that fails part-way leaves the earlier file.
    mesh = load(demo::BuildGP4Mesh(smallMesh("M_05")));
    SetFileFault([](TFileOp op, const std::string& path) {
        if (op == TFileOp::Write && path.find("earlier.3ds") != std::string::npos)
            throw EWriteError(path, "No space left on device");
    });
    EXPECT_THROW(mesh.Save3DS(dir / "earlier.3ds"), EWriteError);
    EXPECT_EQ(ReadBytes(dir / "earlier.3ds"), "an earlier export");
    EXPECT_EQ(OursLeftIn(dir.path()), "");
    SetFileFault({});
    EXPECT_TRUE(mesh.Save3DS(dir / "earlier.3ds"));
    EXPECT_EQ(readChunk(ReadBytes(dir / "earlier.3ds"), 0).id, 0x4D4D);
}

// ---- Preview --------------------------------------------------------------

TEST_F(GP4MeshTest, ProjectionOfThePreview)
{
    // The sliders' start values: zoom 5, angles 0.25; the picture's centre.
    TGP4Projection p = TGP4Projection::FromControls(5, 25, 25, 25, 25, 0, 0, 481, 545);
    EXPECT_EQ(p.Zoom, 5.0);
    EXPECT_EQ(p.Alpha, 0.25);
    EXPECT_EQ(p.Beta, 0.25);
    EXPECT_EQ(p.Gamma, 0.25);
    auto at = [&p](float x, float y, float z) {
        const TGP4Projection::Point q = p.Project(x, y, z);
        return std::pair<double, double>(q.X, q.Y);
    };
    EXPECT_EQ(at(0, 0, 0), (std::pair<double, double>(240, 272)));
    EXPECT_EQ(at(10, 0, 0), (std::pair<double, double>(286, 283)));
    EXPECT_EQ(at(0, 10, 0), (std::pair<double, double>(226, 318)));
    EXPECT_EQ(at(0, 0, 10), (std::pair<double, double>(232, 258)));
    // Truncated toward zero.
    EXPECT_EQ(at(-3, -4, 5), (std::pair<double, double>(228, 243)));

    // A component that is not a number, or not finite, is drawn as 0.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(at(nan, 0, 0), at(0, 0, 0));
    EXPECT_EQ(at(10, nan, inf), at(10, 0, 0));
    // Far outside the picture, but a number.
    EXPECT_EQ(at(3e38f, 0, 0).first, 1e15 + 240);

    // The centre point is subtracted first.
    p.CentreX = 10;
    EXPECT_EQ(at(20, 0, 0), (std::pair<double, double>(286, 283)));

    // Scroll bar 100 with zoom 5 moves everything 500 pixels.
    p = TGP4Projection::FromControls(5, 25, 25, 25, 25, 100, -3, 481, 545);
    EXPECT_EQ(p.ShiftX, 500);
    EXPECT_EQ(p.ShiftY, -15);
    EXPECT_EQ(at(10, 0, 0), (std::pair<double, double>(786, 268)));
    p = TGP4Projection::FromControls(300, 500, 600, 1, 1, -1000, 7, 100, 100);
    const double largest = 9002.5 * std::exp2(4.75);
    EXPECT_DOUBLE_EQ(p.Zoom, largest);
    EXPECT_EQ(p.ShiftX, static_cast<int>(std::trunc(-1000 * largest)));
    EXPECT_EQ(p.ShiftY, static_cast<int>(std::trunc(7 * largest)));
    EXPECT_EQ(p.Alpha, 6.0);
    // Zoom 2 grows the picture evenly: the same steps, the same factor,
    // anywhere on its travel; 100 steps double it.
    auto zoom = [](int zoom1, int zoom2) { return TGP4Projection::FromControls(zoom1, zoom2, 25, 25, 25, 0, 0, 1, 1).Zoom; };
    EXPECT_DOUBLE_EQ(zoom(5, 125) / zoom(5, 25), 2.0);
    EXPECT_DOUBLE_EQ(zoom(5, 500) / zoom(5, 400), 2.0);
    EXPECT_DOUBLE_EQ(zoom(1, 50) / zoom(1, 1), zoom(1, 499) / zoom(1, 450));

    // The centre of the selected shapes' vertices.
    const TGP4File mesh = load(demo::BuildGP4Mesh(smallMesh("M_05")));
    EXPECT_EQ(GP4ShapesCentre(mesh, {1}), (std::array<double, 3>{6, 12.5, -6}));
    EXPECT_EQ(GP4ShapesCentre(mesh, {0, 2}), (std::array<double, 3>{3.5, 7.5, -3.5}));
    EXPECT_EQ(GP4ShapesCentre(mesh, {}), (std::array<double, 3>{0, 0, 0}));
}

TEST(GP4Texts, NumbersAsTheWorkshopShowsThem)
{
    EXPECT_EQ(GP4UnsignedText(-1), "4294967295");
    EXPECT_EQ(GP4UnsignedText(123), "123");
    EXPECT_EQ(GP4FloatText(1.5f), "1.500");
    EXPECT_EQ(GP4FloatText(-0.25f), "-0.250");
    EXPECT_EQ(GP4FloatText(0.0001f), "0.000");
    EXPECT_EQ(GP4FloatText(-0.0001f), "0.000");
    EXPECT_EQ(GP4FloatText(2.0005f), "2.001");
    // Eight significant digits.
    EXPECT_EQ(GP4FloatText(1234567.875f), "1234567.900");
    EXPECT_EQ(GP4FloatText(99999999.0f), "1.0000000E+08");
    EXPECT_EQ(GP4FloatText(std::numeric_limits<float>::quiet_NaN()), "NAN");
    EXPECT_EQ(GP4FloatText(-std::numeric_limits<float>::infinity()), "-INF");
}
