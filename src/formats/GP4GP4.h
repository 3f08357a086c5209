// The game's mesh files (.GP4). A mesh is a header ("GP4MESHBIN", the variant
// "M_05" or "M_07", a quoted file name, five words of which the second only in
// "M_07", the shape count), one header per shape, then chunks: a resource
// section (textures, materials and two kinds of carried records) and a
// geometry section (vertices, polygons, polygon runs and the shapes' run
// lists) that ends with the end chunk. Names are stored between two quote
// bytes. TGP4File reads a mesh whole for inspection, keeps every word it
// reads, walks the shapes' polygons for the preview and writes the mesh as a
// 3DS file. The program never writes a mesh file.
//
// A mesh file is untrusted input: every count is checked against the bytes
// that are left before anything is allocated, and a file that ends early or
// holds a count its bytes cannot is refused with an EReadError. Shapes that
// name runs, polygons or vertices the file does not hold are reported once;
// whatever walks them skips what does not exist.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace paddock {

class TStream;

// What a shape header holds after its name: 180 bytes in "M_05", 188 in "M_07".
inline constexpr std::size_t GP4ShapeDataSize05 = 180;
inline constexpr std::size_t GP4ShapeDataSize07 = 188;
// A vertex keeps at most this many words: x, y, z and eleven carried words.
inline constexpr std::size_t GP4VertexWords = 14;

struct TGP4Shape {
    std::int32_t Leading = 0; // the word before the name, carried
    std::string Name;
    std::array<std::uint8_t, GP4ShapeDataSize07> Data{}; // "M_05" leaves the last 8 bytes zero
    // The shape's run list (its record of the Unknown21 chunk).
    std::int32_t Unk21First = 0; // carried
    std::int32_t Unk21Count = 0; // as read
    std::vector<std::int32_t> Unk21Indices; // indices of Unknown16 runs

    // Word i of the shape data (little-endian); 0 beyond the data.
    std::uint32_t DataWord(std::size_t i) const;
};

// A polygon run: word 0 the first polygon, word 1 the number of polygons; the
// rest carried (the 20-byte form leaves words 5 and 6 zero).
struct TGP4Run {
    std::array<std::int32_t, 7> Words{};
    std::int32_t First() const { return Words[0]; }
    std::int32_t Count() const { return Words[1]; }
};

struct TGP4Unknown34 {
    std::int32_t Value = 0;
    std::string Name;
    std::array<std::uint8_t, 72> Data{};
};

struct TGP4Unknown3B {
    std::array<std::uint8_t, 80> Data{};
};

struct TGP4MaterialGroup {
    std::int32_t Value = 0;
    std::array<float, 3> Floats{};
};

struct TGP4Material {
    std::string Name;
    std::array<TGP4MaterialGroup, 5> Groups{}; // the 80-byte block
    std::array<std::int32_t, 16> Words{};      // the 64-byte block
};

// A vertex: its first three words are the position, as float32.
struct TGP4Vertex {
    std::array<std::uint32_t, GP4VertexWords> Words{};
    float X() const { return std::bit_cast<float>(Words[0]); }
    float Y() const { return std::bit_cast<float>(Words[1]); }
    float Z() const { return std::bit_cast<float>(Words[2]); }
};

// A triangle: three indices into the vertex list and a carried word.
struct TGP4Polygon {
    std::array<std::int32_t, 3> Corners{};
    std::int32_t Carried = 0;
};
static_assert(sizeof(TGP4Polygon) == 16, "a polygon record is 16 bytes");

// The polygons of one shape that the file holds, in the order the shape names
// them (its run list in order, each run's polygons ascending), and what was
// skipped because the file does not hold it.
struct TGP4ShapeWalk {
    std::vector<std::int32_t> Polygons;
    // The polygons the walk gives (those of CountShapes are not listed).
    std::int64_t Named = 0;
    std::int64_t MissingRuns = 0;     // run list entries that name no run
    std::int64_t MissingPolygons = 0; // polygons of runs that lie outside the polygon list
    std::int64_t BrokenPolygons = 0;  // polygons with a corner outside the vertex list
    // Polygons beyond the 2^24 that one walk lists, however often a shape's
    // run list names the same runs; not listed.
    std::int64_t OverLimit = 0;

    bool Complete() const
    {
        return MissingRuns == 0 && MissingPolygons == 0 && BrokenPolygons == 0 && OverLimit == 0;
    }
    // Adds another walk's skipped counts to this one's.
    void AddSkipped(const TGP4ShapeWalk& other);
    // "1 run list entry names no run, 2 polygons lie outside the polygon
    // list" and so on; empty when nothing was skipped.
    std::string SkippedText() const;
};

// The reader's chunk log reaches whoever shows it: cleared once the resource
// section is read, then one line per geometry chunk.
struct TGP4ChunkLogSink {
    std::function<void()> Clear;
    std::function<void(const std::string&)> Add;
};

class TGP4File {
public:
    // An empty model.
    TGP4File() = default;
    // An empty model, then LoadFromFile(fileName) unless the name is empty.
    explicit TGP4File(const std::string& fileName, TGP4ChunkLogSink log = {});

    std::string LoadedPath;
    // 1 for "M_05", 2 for "M_07", 0 for anything else.
    std::uint8_t Variant = 0;
    std::array<char, 10> ID{};
    std::array<char, 4> M_Type{};
    std::string Filename;
    std::int32_t Unknown1 = 0;
    std::int32_t Unknown2 = 0; // "M_07" only
    std::int32_t Unknown3 = 0;
    std::int32_t Unknown4 = 0;
    std::int32_t Unknown5 = 0;
    std::int32_t NumShapes = 0;
    std::vector<TGP4Shape> Shapes;
    std::int32_t NumUnk16 = 0;
    std::int32_t NumUnk21 = 0;
    std::vector<TGP4Unknown3B> Unknown3B;
    std::vector<TGP4Run> Unknown16;
    std::vector<TGP4Unknown34> Unknown34;
    std::vector<std::string> Textures;
    std::vector<TGP4Material> Materials;
    std::int32_t NumVertices = 0;
    std::int32_t VertexUnknown1 = 0; // 23: runs are 20-byte records, else 28
    std::int32_t VertexUnknown2 = 0;
    std::int32_t VertexUnknown3 = 0;
    std::int32_t VertexUnknown4 = 0;
    std::vector<TGP4Vertex> Vertices;
    std::int32_t NumPolygons = 0;
    std::vector<TGP4Polygon> Polygons;

    // The lines of the chunk log of the last load.
    std::vector<std::string> ChunkLog;
    // Receives the chunk log as it is written (the workshop's memo).
    TGP4ChunkLogSink LogSink;

    // Stores the path, reads the whole file and calls LoadFromStream. A file
    // that cannot be opened raises EFileError; a refused mesh raises
    // EReadError naming the file.
    void LoadFromFile(const std::string& path);
    // Reads a mesh from the stream's position. Numbered errors are shown:
    // 001, 002 and 009 end the reading, the others let it go on; the chunk
    // messages are shown plainly. A message of a kind already shown (a
    // second record without its name's quote, say) is counted instead, and
    // when the reading ends one message says how many more of each kind
    // followed: "... and 4999 more like it". A file that ends early, or
    // holds a count that its bytes cannot, raises EReadError before anything
    // is allocated for it.
    void LoadFromStream(TStream& stream);

    // The shape's polygons that the file holds (see TGP4ShapeWalk); an empty
    // walk for an index outside the shapes.
    TGP4ShapeWalk WalkShape(int shape) const;
    // For every shape the counts of its walk, without listing the polygons:
    // as fast for a shape that names a run a million times as for one that
    // names it once.
    std::vector<TGP4ShapeWalk> CountShapes() const;
    // Sets flags to one zero byte per vertex, marks the vertices that the
    // corners of the shape's polygons name, and returns how many are marked.
    int CountUsedVertices(int shape, std::vector<std::uint8_t>& flags) const;

    // Writes the mesh as a 3DS file: one material per texture name, one
    // object per shape with the positions of the vertices its polygons use
    // and one face per polygon. The file is written beside path and takes its
    // place only when complete. A shape with more than 65535 points or faces,
    // or a file longer than the 4294967295 bytes a chunk length counts, which
    // 3DS cannot count, refuses the whole export with a message before
    // anything is written and leaves path as it was (false). What the shapes name but the file does
    // not hold is skipped, and a message says so. Write failures raise
    // EFileError; the earlier file at path is then unchanged.
    bool Save3DS(const std::string& path) const;
    // As Save3DS, with objects for the given shapes only, in the given order;
    // indices outside the shapes are left out.
    bool Save3DS(const std::string& path, const std::vector<int>& shapes) const;

private:
    void addLogLine(const std::string& line);
    void clearLog();
};

// The text of a chunk log line: type and position as 8 upper-case
// hexadecimal digits, "00000028@ 000001A4".
std::string GP4ChunkText(std::uint32_t type, std::uint64_t position);

// The window's number formats: a 32-bit word as an unsigned decimal
// (-1 is 4294967295); a float32 with eight significant digits in fixed
// notation with three decimals ("1.500", "1234567.900"), in scientific
// notation from 1e8 on, "NAN", "INF" and "-INF".
std::string GP4UnsignedText(std::int32_t value);
std::string GP4FloatText(float value);

// The wireframe preview's projection of a vertex onto the picture.
struct TGP4Projection {
    double Zoom = 5.0;
    int ShiftX = 0; // pixels
    int ShiftY = 0;
    double Alpha = 0.25; // radians, about x
    double Beta = 0.25;  // about y
    double Gamma = 0.25; // about z
    double CentreX = 0, CentreY = 0, CentreZ = 0; // subtracted before rotating
    int Width = 0;                                // of the picture
    int Height = 0;

    // From the sliders: zoom (zoom1^2 + 25) / 10 * 2^((zoom2 - 25) / 100),
    // so that Zoom 2 grows the picture evenly from its start value 25 and
    // the start values give 5; shift = scroll * zoom truncated, angles
    // slider / 100.
    static constexpr int Zoom2Start = 25;
    static TGP4Projection FromControls(int zoom1, int zoom2, int xy1, int xy2, int z, int scrollX, int scrollY,
                                       int width, int height);

    // The picture point of a position, in whole pixels (as doubles, for they
    // may lie far outside the picture). A component that is not a finite
    // number counts as 0.
    struct Point {
        double X, Y;
    };
    Point Project(float x, float y, float z) const;
    // Project of every vertex, in vertex order.
    std::vector<Point> ProjectAll(const std::vector<TGP4Vertex>& vertices) const;
};

// The centre of the bounding box of the vertices that the given shapes'
// polygons use (components that are not finite count as 0); 0, 0, 0 when
// they use none.
std::array<double, 3> GP4ShapesCentre(const TGP4File& mesh, const std::vector<int>& shapes);

} // namespace paddock
