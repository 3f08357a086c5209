#include "formats/GP4GP4.h"

#include "app/FileError.h"
#include "app/Streams.h"
#include "app/Tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace paddock {

// Records are read as blocks laid out as in the file.
static_assert(std::endian::native == std::endian::little, "mesh records are little-endian");

namespace {

const char* const Magic = "GP4MESHBIN";
constexpr std::int32_t QuoteMarker = 34;

enum : std::uint32_t {
    ChunkTextures = 0x01,
    ChunkMaterials = 0x02,
    ChunkUnknown34 = 0x34,
    ChunkUnknown3B = 0x3B,
    ChunkPolygons = 0x0A,
    ChunkRuns = 0x16,
    ChunkRunLists = 0x21,
    ChunkVertices = 0x28,
    ChunkEnd = 0x29,
};

// The least number of bytes one record can take, for the checks of counts
// against the bytes left. A name whose opening quote is missing takes one.
constexpr std::int64_t MinShapeBytes05 = 4 + 1 + GP4ShapeDataSize05;
constexpr std::int64_t MinShapeBytes07 = 4 + 1 + GP4ShapeDataSize07;
constexpr std::int64_t MinTextureBytes = 1;
constexpr std::int64_t MinMaterialBytes = 1 + 80 + 64;
constexpr std::int64_t MinUnknown34Bytes = 4 + 1 + 72;
constexpr std::int64_t Unknown3BBytes = 80;
constexpr std::int64_t PolygonBytes = 16;
constexpr std::int64_t MinRunListBytes = 8;

// A shape's walk lists at most this many polygons (64 MiB of indices), however
// often its run list names the same runs.
constexpr std::int64_t WalkLimit = std::int64_t{1} << 24;

std::string hex8(std::uint64_t v)
{
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(v));
    return text;
}

std::string plural(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool isResource(std::uint32_t type)
{
    return type == ChunkTextures || type == ChunkMaterials || type == ChunkUnknown34 || type == ChunkUnknown3B;
}

// Reads the mesh from a stream, checking every read and every count against
// the bytes that are left, so that a short or hostile file raises EReadError
// with a reason instead of reading or allocating beyond its data.
class TMeshReader {
public:
    TMeshReader(TStream& stream, std::string name)
        : stream_(stream), name_(std::move(name)), size_(stream.Size()),
          memory_(dynamic_cast<TMemoryStream*>(&stream))
    {
    }

    std::int64_t Position() { return stream_.Position(); }
    std::int64_t Left() { return std::max<std::int64_t>(0, size_ - Position()); }
    // What is being read, for the reason of a refusal: "the vertices chunk".
    void SetPart(std::string part) { part_ = std::move(part); }

    [[noreturn]] void Refuse(const std::string& reason) { throw EReadError(name_, reason); }

    std::int32_t Int32()
    {
        std::int32_t v;
        Read(&v, sizeof v);
        return v;
    }

    void Read(void* buffer, std::size_t count)
    {
        if (static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(Left()))
            refuseShort(static_cast<std::int64_t>(count));
        stream_.ReadBuffer(buffer, count);
    }

    void Skip(std::int64_t count)
    {
        if (count > Left())
            refuseShort(count);
        stream_.Seek(count, SeekOrigin::Current);
    }

    // Refuses a count that is negative or whose records, each at least
    // recordBytes long, do not fit in the bytes left.
    void CheckCount(std::int64_t count, std::int64_t recordBytes, const std::string& what)
    {
        if (count < 0)
            Refuse("The file holds a negative number of " + what + " (" + std::to_string(count) + ") in " + part_);
        if (recordBytes > 0 && count > Left() / recordBytes)
            Refuse("The file ends before its " + std::to_string(count) + " " + what + " in " + part_ + " (" +
                   std::to_string(recordBytes) + " bytes or more each, " + std::to_string(Left()) + " bytes left)");
    }

    // Messages of one kind (the text up to what names the record) are shown
    // once a load: the first as it comes, and at the end of the reading one
    // that says how many more of that kind followed, so that a file of
    // thousands of bad records does not bring thousands of message boxes.
    // text: the message in full; kind: what the repeats are counted by.
    void Error(const std::string& kind, const std::string& text) { show(kind, text, true); }
    void Message(const std::string& text) { show(text, text, false); }
    // "KIND ... and 4999 more like it" for every kind shown more than once,
    // in the order the kinds first came.
    void ShowRepeats()
    {
        std::vector<TKind> kinds;
        kinds.swap(kinds_);
        for (const TKind& k : kinds) {
            if (k.more == 0)
                continue;
            const std::string text = k.kind + " ... and " + std::to_string(k.more) + " more like it";
            k.error ? ShowErrorMessage(text) : ShowMessage(text);
        }
    }

    // A name between two quote bytes. Without its opening quote the error
    // (kind and detail) is shown, the byte stays read and the name is left
    // as it was.
    void Quoted(std::string& name, const std::string& errorKind, const std::string& errorDetail = {})
    {
        std::uint8_t first = 0;
        Read(&first, 1);
        if (first != '"') {
            Error(errorKind, errorKind + errorDetail);
            return;
        }
        const std::int64_t start = Position();
        const std::int64_t left = Left();
        if (memory_) {
            const auto* from = memory_->Memory() + start;
            const void* quote = std::memchr(from, '"', static_cast<std::size_t>(left));
            if (!quote)
                refuseName(start);
            const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(quote) - from);
            name.assign(reinterpret_cast<const char*>(from), length);
            stream_.Seek(static_cast<std::int64_t>(length) + 1, SeekOrigin::Current);
            return;
        }
        std::string text;
        for (;;) {
            char c;
            if (Left() < 1)
                refuseName(start);
            Read(&c, 1);
            if (c == '"')
                break;
            text.push_back(c);
        }
        name = std::move(text);
    }

private:
    struct TKind {
        std::string kind;
        bool error = true;
        std::int64_t more = 0; // shown after the first
    };

    void show(const std::string& kind, const std::string& text, bool error)
    {
        for (TKind& k : kinds_) {
            if (k.kind == kind && k.error == error) {
                ++k.more;
                return;
            }
        }
        kinds_.push_back({kind, error, 0});
        error ? ShowErrorMessage(text) : ShowMessage(text);
    }

    [[noreturn]] void refuseShort(std::int64_t count)
    {
        Refuse("The file ends inside " + part_ + " (offset 0x" + hex8(static_cast<std::uint64_t>(Position())) +
               ", " + std::to_string(count) + " bytes needed, " + std::to_string(Left()) + " left)");
    }

    [[noreturn]] void refuseName(std::int64_t start)
    {
        Refuse("The file ends inside the name that starts at offset 0x" + hex8(static_cast<std::uint64_t>(start - 1)) +
               " in " + part_ + " (no closing quote)");
    }

    TStream& stream_;
    std::string name_;
    std::int64_t size_;
    TMemoryStream* memory_;
    std::string part_ = "the header";
    std::vector<TKind> kinds_;
};

// For every polygon: 1 when a corner lies outside the vertex list. Summed up
// to each index, so that a run's broken polygons are counted at once.
std::vector<std::int64_t> brokenBefore(const TGP4File& mesh)
{
    const auto vertices = static_cast<std::int64_t>(mesh.Vertices.size());
    std::vector<std::int64_t> sums(mesh.Polygons.size() + 1, 0);
    for (std::size_t p = 0; p < mesh.Polygons.size(); ++p) {
        bool broken = false;
        for (std::int32_t c : mesh.Polygons[p].Corners)
            broken = broken || c < 0 || c >= vertices;
        sums[p + 1] = sums[p] + (broken ? 1 : 0);
    }
    return sums;
}

// The part of a run that lies inside the polygon list, [lo, hi).
struct TRunSpan {
    std::int64_t lo = 0, hi = 0, missing = 0;
};

TRunSpan spanOf(const TGP4Run& run, std::int64_t polygons)
{
    TRunSpan span;
    const std::int64_t count = run.Count();
    if (count <= 0)
        return span;
    const std::int64_t first = run.First();
    span.lo = std::clamp<std::int64_t>(first, 0, polygons);
    span.hi = std::clamp<std::int64_t>(first + count, 0, polygons);
    span.missing = count - (span.hi - span.lo);
    return span;
}

// The counts of a shape's walk without listing its polygons.
TGP4ShapeWalk countShape(const TGP4File& mesh, const TGP4Shape& shape, const std::vector<std::int64_t>& broken)
{
    TGP4ShapeWalk walk;
    const auto polygons = static_cast<std::int64_t>(mesh.Polygons.size());
    for (std::int32_t index : shape.Unk21Indices) {
        if (index < 0 || static_cast<std::size_t>(index) >= mesh.Unknown16.size()) {
            ++walk.MissingRuns;
            continue;
        }
        const TRunSpan span = spanOf(mesh.Unknown16[static_cast<std::size_t>(index)], polygons);
        walk.MissingPolygons += span.missing;
        const std::int64_t bad = broken[static_cast<std::size_t>(span.hi)] - broken[static_cast<std::size_t>(span.lo)];
        walk.BrokenPolygons += bad;
        walk.Named += span.hi - span.lo - bad;
    }
    walk.OverLimit = std::max<std::int64_t>(0, walk.Named - WalkLimit);
    return walk;
}

} // namespace

// ---------------------------------------------------------------------------

std::uint32_t TGP4Shape::DataWord(std::size_t i) const
{
    if (i >= Data.size() / 4)
        return 0;
    std::uint32_t v;
    std::memcpy(&v, Data.data() + 4 * i, 4);
    return v;
}

void TGP4ShapeWalk::AddSkipped(const TGP4ShapeWalk& other)
{
    MissingRuns += other.MissingRuns;
    MissingPolygons += other.MissingPolygons;
    BrokenPolygons += other.BrokenPolygons;
    OverLimit += other.OverLimit;
}

std::string TGP4ShapeWalk::SkippedText() const
{
    std::string text;
    auto add = [&text](std::int64_t n, const std::string& what) {
        if (n == 0)
            return;
        if (!text.empty())
            text += ", ";
        text += what;
    };
    add(MissingRuns, plural(MissingRuns, "run list entry names no run", "run list entries name no run"));
    add(MissingPolygons, plural(MissingPolygons, "polygon lies", "polygons lie") + " outside the polygon list");
    add(BrokenPolygons,
        plural(BrokenPolygons, "polygon has", "polygons have") + " corners outside the vertex list");
    add(OverLimit, plural(OverLimit, "polygon lies", "polygons lie") + " beyond the " + std::to_string(WalkLimit) +
                       " that one shape may list");
    return text;
}

std::string GP4ChunkText(std::uint32_t type, std::uint64_t position)
{
    return hex8(type) + "@ " + hex8(position);
}

// ---------------------------------------------------------------------------

TGP4File::TGP4File(const std::string& fileName, TGP4ChunkLogSink log) : LogSink(std::move(log))
{
    if (!fileName.empty())
        LoadFromFile(fileName);
}

void TGP4File::addLogLine(const std::string& line)
{
    ChunkLog.push_back(line);
    if (LogSink.Add)
        LogSink.Add(line);
}

void TGP4File::clearLog()
{
    ChunkLog.clear();
    if (LogSink.Clear)
        LogSink.Clear();
}

void TGP4File::LoadFromFile(const std::string& path)
{
    LoadedPath = path;
    TMemoryStreamEx stream;
    stream.LoadFromFile(path);
    LoadFromStream(stream);
}

void TGP4File::LoadFromStream(TStream& stream)
{
    TMeshReader in(stream, LoadedPath.empty() ? stream.Name() : LoadedPath);

    // The reading, which ends early after an error that stops it; messages
    // that repeat are counted and shown once it ends, however it ends.
    const auto read = [&] {
        // Header.
        in.Read(ID.data(), ID.size());
        if (std::memcmp(ID.data(), Magic, ID.size()) != 0) {
            ShowErrorMessage("GP4GP4 Error 001: Invalid GP4 file, magic ID not found (Read: " +
                             std::string(ID.data(), ID.size()) + "; Needed: " + Magic + ")");
            return;
        }
        in.Read(M_Type.data(), M_Type.size());
        const std::string type(M_Type.data(), M_Type.size());
        Variant = type == "M_05" ? 1 : type == "M_07" ? 2 : 0;
        if (Variant == 0) {
            ShowErrorMessage("GP4GP4 Error 002: Invalid GP4 M_Type: " + type);
            return;
        }
        in.Quoted(Filename, "GP4GP4 Error 003: No filename specified");
        Unknown1 = in.Int32();
        if (Variant == 2)
            Unknown2 = in.Int32();
        Unknown3 = in.Int32();
        Unknown4 = in.Int32();
        Unknown5 = in.Int32();
        NumShapes = in.Int32();

        // Shape headers.
        const std::size_t dataSize = Variant == 1 ? GP4ShapeDataSize05 : GP4ShapeDataSize07;
        in.SetPart("the shape headers");
        in.CheckCount(NumShapes, Variant == 1 ? MinShapeBytes05 : MinShapeBytes07, "shapes");
        Shapes.assign(static_cast<std::size_t>(NumShapes), TGP4Shape{});
        for (std::size_t n = 0; n < Shapes.size(); ++n) {
            TGP4Shape& shape = Shapes[n];
            in.SetPart("the header of shape " + std::to_string(n));
            shape.Leading = in.Int32();
            in.Quoted(shape.Name, "GP4GP4 Error 004: No shapename specified", " @ shape no. " + std::to_string(n));
            in.Read(shape.Data.data(), dataSize);
        }

        // Resource section.
        auto readHeader = [&in](std::int32_t& marker, std::uint32_t& chunkType) {
            in.SetPart("a chunk header");
            if (in.Left() < 8)
                in.Refuse("The file ends before its end chunk (offset 0x" +
                          hex8(static_cast<std::uint64_t>(in.Position())) + ")");
            marker = in.Int32();
            chunkType = static_cast<std::uint32_t>(in.Int32());
        };
        std::int32_t marker = 0;
        std::uint32_t chunk = 0;
        readHeader(marker, chunk);
        while (marker == QuoteMarker && isResource(chunk)) {
            const std::uint64_t at = static_cast<std::uint64_t>(in.Position());
            switch (chunk) {
            case ChunkTextures: {
                in.SetPart("the textures chunk at 0x" + hex8(at));
                in.Skip(4);
                const std::int32_t count = in.Int32();
                in.CheckCount(count, MinTextureBytes, "textures");
                std::vector<std::string> textures(static_cast<std::size_t>(count));
                for (std::size_t i = 0; i < textures.size(); ++i)
                    in.Quoted(textures[i], "GP4GP4 Error 006: No texture name specified",
                              " @ texture no. " + std::to_string(i));
                Textures = std::move(textures);
                break;
            }
            case ChunkMaterials: {
                in.SetPart("the materials chunk at 0x" + hex8(at));
                in.Skip(4);
                const std::int32_t count = in.Int32();
                in.CheckCount(count, MinMaterialBytes, "materials");
                std::vector<TGP4Material> materials(static_cast<std::size_t>(count));
                for (std::size_t i = 0; i < materials.size(); ++i) {
                    TGP4Material& m = materials[i];
                    in.Quoted(m.Name, "Gp4GP4 Error 007: No material name specified",
                              " @ ,aterial no. " + std::to_string(i));
                    for (TGP4MaterialGroup& g : m.Groups) {
                        g.Value = in.Int32();
                        in.Read(g.Floats.data(), sizeof g.Floats);
                    }
                    in.Read(m.Words.data(), sizeof m.Words);
                }
                Materials = std::move(materials);
                break;
            }
            case ChunkUnknown34: {
                in.SetPart("the Unknown34 chunk at 0x" + hex8(at));
                in.Skip(4);
                const std::int32_t count = in.Int32();
                in.CheckCount(count, MinUnknown34Bytes, "Unknown34 records");
                std::vector<TGP4Unknown34> records(static_cast<std::size_t>(count));
                for (std::size_t i = 0; i < records.size(); ++i) {
                    records[i].Value = in.Int32();
                    in.Quoted(records[i].Name, "GP4GP4 Error 005: No Unknown34 name specified",
                              " @ Unknown34 no. " + std::to_string(i));
                    in.Read(records[i].Data.data(), records[i].Data.size());
                }
                Unknown34 = std::move(records);
                break;
            }
            default: { // ChunkUnknown3B
                in.SetPart("the Unknown3B chunk at 0x" + hex8(at));
                in.Skip(4);
                const std::int32_t count = in.Int32();
                in.CheckCount(count, Unknown3BBytes, "Unknown3B records");
                std::vector<TGP4Unknown3B> records(static_cast<std::size_t>(count));
                if (!records.empty())
                    in.Read(records.data(), records.size() * sizeof(TGP4Unknown3B));
                Unknown3B = std::move(records);
                break;
            }
            }
            readHeader(marker, chunk);
        }

        // Geometry section.
        clearLog();
        if (NumShapes == 0)
            return;
        bool longVerticesReported = false;
        for (;;) {
            const std::uint64_t at = static_cast<std::uint64_t>(in.Position());
            addLogLine(GP4ChunkText(chunk, at));
            const std::string part = "the chunk at 0x" + hex8(at) + " (type " + hex8(chunk) + ")";
            in.SetPart(part);
            if (chunk == ChunkVertices) {
                const std::int32_t polygons = in.Int32();
                const std::int32_t vertices = in.Int32();
                const std::int32_t u1 = in.Int32(), u2 = in.Int32(), u3 = in.Int32(), u4 = in.Int32();
                NumPolygons = polygons;
                NumVertices = vertices;
                VertexUnknown1 = u1;
                VertexUnknown2 = u2;
                VertexUnknown3 = u3;
                VertexUnknown4 = u4;
                const std::int64_t words = 5 + std::int64_t{u2} + u3 + u4;
                if (words < 3) {
                    ShowErrorMessage("GP4GP4 Error 009: Invalid vertex records of " + std::to_string(words) +
                                     " words; a vertex needs at least its 3 position words. Reading ends here");
                    Vertices.clear();
                    break;
                }
                if (words > static_cast<std::int64_t>(GP4VertexWords) && !longVerticesReported) {
                    ShowErrorMessage("GP4GP4 Error 008: The vertex records are " + std::to_string(words) +
                                     " words long; only their first " + std::to_string(GP4VertexWords) +
                                     " words are kept");
                    longVerticesReported = true;
                }
                const std::int64_t recordBytes = 4 * words;
                in.CheckCount(vertices, recordBytes, "vertices");
                const std::size_t kept = static_cast<std::size_t>(std::min<std::int64_t>(words, GP4VertexWords));
                std::vector<TGP4Vertex> list(static_cast<std::size_t>(vertices));
                if (kept == static_cast<std::size_t>(words)) {
                    // The block is read as it is and spread over the records.
                    std::vector<std::uint32_t> block(list.size() * kept);
                    if (!block.empty())
                        in.Read(block.data(), block.size() * 4);
                    for (std::size_t v = 0; v < list.size(); ++v)
                        std::memcpy(list[v].Words.data(), block.data() + v * kept, kept * 4);
                } else {
                    for (TGP4Vertex& v : list) {
                        in.Read(v.Words.data(), kept * 4);
                        in.Skip(recordBytes - static_cast<std::int64_t>(kept) * 4);
                    }
                }
                Vertices = std::move(list);
            } else if (chunk == ChunkPolygons) {
                in.CheckCount(NumPolygons, PolygonBytes, "polygons");
                std::vector<TGP4Polygon> list(static_cast<std::size_t>(NumPolygons));
                if (!list.empty())
                    in.Read(list.data(), list.size() * sizeof(TGP4Polygon));
                Polygons = std::move(list);
            } else if (chunk == ChunkRuns) {
                in.Skip(4);
                const std::int32_t count = in.Int32();
                NumUnk16 = count;
                const std::size_t recordBytes = VertexUnknown1 == 23 ? 20 : 28;
                in.CheckCount(count, static_cast<std::int64_t>(recordBytes), "polygon runs");
                std::vector<TGP4Run> runs(static_cast<std::size_t>(count));
                for (TGP4Run& run : runs)
                    in.Read(run.Words.data(), recordBytes);
                Unknown16 = std::move(runs);
            } else if (chunk == ChunkRunLists) {
                in.Skip(4);
                const std::int32_t count = in.Int32();
                NumUnk21 = count;
                in.CheckCount(count, MinRunListBytes, "run lists");
                if (count > NumShapes)
                    in.Error("GP4GP4 Error 010: More run lists than shapes",
                             "GP4GP4 Error 010: The file holds " + std::to_string(count) + " run lists for " +
                                 std::to_string(NumShapes) + " shapes; the lists after the last shape are skipped");
                for (std::int32_t d = 0; d < count; ++d) {
                    in.SetPart("run list " + std::to_string(d) + " of " + part);
                    const std::int32_t first = in.Int32();
                    const std::int32_t entries = in.Int32();
                    in.CheckCount(entries, 4, "run list entries");
                    if (d >= NumShapes) {
                        in.Skip(std::int64_t{entries} * 4);
                        continue;
                    }
                    TGP4Shape& shape = Shapes[static_cast<std::size_t>(d)];
                    shape.Unk21First = first;
                    shape.Unk21Count = entries;
                    shape.Unk21Indices.assign(static_cast<std::size_t>(entries), 0);
                    if (entries > 0)
                        in.Read(shape.Unk21Indices.data(), static_cast<std::size_t>(entries) * 4);
                }
            } else if (chunk == ChunkEnd) {
                break;
            } else {
                ShowMessage("Unknown ChunkHeader " + GP4ChunkText(chunk, at));
                break;
            }

            // The next header; one extra word between chunks is stepped over.
            readHeader(marker, chunk);
            if (marker != QuoteMarker) {
                marker = static_cast<std::int32_t>(chunk);
                in.SetPart("a chunk header");
                chunk = static_cast<std::uint32_t>(in.Int32());
                if (marker != QuoteMarker)
                    in.Message("Chunkheader: No quote found");
            }
        }
    };
    try {
        read();
    } catch (...) {
        in.ShowRepeats();
        throw;
    }
    in.ShowRepeats();

    // Shapes that name what the file does not hold are reported once.
    const std::vector<TGP4ShapeWalk> counts = CountShapes();
    TGP4ShapeWalk skipped;
    int first = -1;
    for (std::size_t s = 0; s < counts.size(); ++s) {
        if (!counts[s].Complete() && first < 0)
            first = static_cast<int>(s);
        skipped.AddSkipped(counts[s]);
    }
    if (first >= 0)
        ShowErrorMessage("GP4GP4 Error 011: Shapes name what the file does not hold (first shape " +
                         std::to_string(first) + ", " + Shapes[static_cast<std::size_t>(first)].Name +
                         "): " + skipped.SkippedText() + ". The preview and the 3DS export skip them");
}

// ---- Shapes ---------------------------------------------------------------

std::vector<TGP4ShapeWalk> TGP4File::CountShapes() const
{
    const std::vector<std::int64_t> broken = brokenBefore(*this);
    std::vector<TGP4ShapeWalk> counts;
    counts.reserve(Shapes.size());
    for (const TGP4Shape& shape : Shapes)
        counts.push_back(countShape(*this, shape, broken));
    return counts;
}

TGP4ShapeWalk TGP4File::WalkShape(int shape) const
{
    TGP4ShapeWalk walk;
    if (shape < 0 || static_cast<std::size_t>(shape) >= Shapes.size())
        return walk;
    const auto polygons = static_cast<std::int64_t>(Polygons.size());
    const auto vertices = static_cast<std::int64_t>(Vertices.size());
    for (std::int32_t index : Shapes[static_cast<std::size_t>(shape)].Unk21Indices) {
        if (index < 0 || static_cast<std::size_t>(index) >= Unknown16.size()) {
            ++walk.MissingRuns;
            continue;
        }
        const TRunSpan span = spanOf(Unknown16[static_cast<std::size_t>(index)], polygons);
        walk.MissingPolygons += span.missing;
        for (std::int64_t p = span.lo; p < span.hi; ++p) {
            if (static_cast<std::int64_t>(walk.Polygons.size()) == WalkLimit) {
                walk.OverLimit += span.hi - p; // counted, not looked at
                break;
            }
            const TGP4Polygon& polygon = Polygons[static_cast<std::size_t>(p)];
            bool inside = true;
            for (std::int32_t c : polygon.Corners)
                inside = inside && c >= 0 && c < vertices;
            if (inside)
                walk.Polygons.push_back(static_cast<std::int32_t>(p));
            else
                ++walk.BrokenPolygons;
        }
    }
    walk.Named = static_cast<std::int64_t>(walk.Polygons.size());
    return walk;
}

int TGP4File::CountUsedVertices(int shape, std::vector<std::uint8_t>& flags) const
{
    flags.assign(Vertices.size(), 0);
    int count = 0;
    for (std::int32_t p : WalkShape(shape).Polygons) {
        for (std::int32_t c : Polygons[static_cast<std::size_t>(p)].Corners) {
            if (!flags[static_cast<std::size_t>(c)]) {
                flags[static_cast<std::size_t>(c)] = 1;
                ++count;
            }
        }
    }
    return count;
}

// ---- Texts ----------------------------------------------------------------

std::string GP4UnsignedText(std::int32_t value)
{
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::string GP4FloatText(float value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    // Eight significant digits, shown with three decimals; values with more
    // than eight digits before the point in scientific notation.
    char text[64];
    std::snprintf(text, sizeof text, "%.7E", static_cast<double>(value));
    const double rounded = std::strtod(text, nullptr);
    if (std::fabs(rounded) >= 1e8)
        return text;
    std::snprintf(text, sizeof text, "%.3f", rounded);
    std::string s = text;
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1); // no sign on a value shown as zero
    return s;
}

// ---- Preview projection ---------------------------------------------------

TGP4Projection TGP4Projection::FromControls(int zoom1, int zoom2, int xy1, int xy2, int z, int scrollX, int scrollY,
                                            int width, int height)
{
    TGP4Projection p;
    // Zoom 2 multiplies: each step enlarges the picture by the same factor,
    // 100 steps double it, and its start value 25 leaves Zoom 1's scale.
    p.Zoom = (static_cast<double>(zoom1) * zoom1 + Zoom2Start) / 10.0 * std::exp2((zoom2 - Zoom2Start) / 100.0);
    p.ShiftX = static_cast<int>(std::trunc(scrollX * p.Zoom));
    p.ShiftY = static_cast<int>(std::trunc(scrollY * p.Zoom));
    p.Alpha = xy1 / 100.0;
    p.Beta = xy2 / 100.0;
    p.Gamma = z / 100.0;
    p.Width = width;
    p.Height = height;
    return p;
}

namespace {

// The projection with its sines and cosines worked out once.
struct TProjector {
    explicit TProjector(const TGP4Projection& p)
        : p_(p), ca(std::cos(p.Alpha)), sa(std::sin(p.Alpha)), cb(std::cos(p.Beta)), sb(std::sin(p.Beta)),
          cg(std::cos(p.Gamma)), sg(std::sin(p.Gamma))
    {
    }

    TGP4Projection::Point operator()(float x, float y, float z) const
    {
        auto component = [](float v, double centre) {
            return (std::isfinite(v) ? static_cast<double>(v) : 0.0) - centre;
        };
        const double px = component(x, p_.CentreX);
        const double py = component(y, p_.CentreY);
        const double pz = component(z, p_.CentreZ);
        const double y1 = ca * py - sa * pz;
        const double z1 = sa * py + ca * pz;
        const double x2 = cb * px - sb * z1;
        const double x3 = cg * x2 - sg * y1;
        const double y3 = sg * x2 + cg * y1;
        // Whole pixels; far outside the picture the value is only kept in range.
        auto pixels = [](double v) { return std::clamp(std::trunc(v), -1e15, 1e15); };
        return {pixels(x3 * p_.Zoom) + p_.Width / 2 + p_.ShiftX, pixels(y3 * p_.Zoom) + p_.Height / 2 + p_.ShiftY};
    }

    const TGP4Projection& p_;
    double ca, sa, cb, sb, cg, sg;
};

} // namespace

TGP4Projection::Point TGP4Projection::Project(float x, float y, float z) const
{
    return TProjector(*this)(x, y, z);
}

std::vector<TGP4Projection::Point> TGP4Projection::ProjectAll(const std::vector<TGP4Vertex>& vertices) const
{
    const TProjector project(*this);
    std::vector<Point> points;
    points.reserve(vertices.size());
    for (const TGP4Vertex& v : vertices)
        points.push_back(project(v.X(), v.Y(), v.Z()));
    return points;
}

std::array<double, 3> GP4ShapesCentre(const TGP4File& mesh, const std::vector<int>& shapes)
{
    std::vector<std::uint8_t> used(mesh.Vertices.size(), 0);
    for (int s : shapes)
        for (std::int32_t p : mesh.WalkShape(s).Polygons)
            for (std::int32_t c : mesh.Polygons[static_cast<std::size_t>(p)].Corners)
                used[static_cast<std::size_t>(c)] = 1;
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::array<double, 3> lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    bool any = false;
    for (std::size_t v = 0; v < used.size(); ++v) {
        if (!used[v])
            continue;
        any = true;
        const TGP4Vertex& vertex = mesh.Vertices[v];
        const float xyz[3] = {vertex.X(), vertex.Y(), vertex.Z()};
        for (int k = 0; k < 3; ++k) {
            const double c = std::isfinite(xyz[k]) ? xyz[k] : 0.0;
            lo[static_cast<std::size_t>(k)] = std::min(lo[static_cast<std::size_t>(k)], c);
            hi[static_cast<std::size_t>(k)] = std::max(hi[static_cast<std::size_t>(k)], c);
        }
    }
    if (!any)
        return {0, 0, 0};
    return {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
}

} // namespace paddock
