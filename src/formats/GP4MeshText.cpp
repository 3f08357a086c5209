#include "formats/GP4MeshText.h"

#include "formats/GP4GP4.h"

#include <bit>

namespace paddock {

namespace {

TGP4HeaderField text(const char* caption, const char* label, const char* key, std::string value)
{
    return {caption, label, key, std::move(value), false, 0};
}

TGP4HeaderField number(const char* caption, const char* label, const char* key, std::int32_t value)
{
    return {caption, label, key, GP4UnsignedText(value), true, static_cast<std::uint32_t>(value)};
}

} // namespace

std::vector<TGP4HeaderField> GP4HeaderFields(const TGP4File& m)
{
    return {text("ID", "ID", "id", std::string(m.ID.data(), m.ID.size())),
            text("M_Type", "M_Type", "m_type", std::string(m.M_Type.data(), m.M_Type.size())),
            text("Filename", "Filename", "filename", m.Filename),
            number("Unknown1", "Unknown1", "unknown1", m.Unknown1),
            number("Unknown2", "Unknown2", "unknown2", m.Unknown2),
            number("Unknown3", "Unknown3", "unknown3", m.Unknown3),
            number("Unknown4", "Unknown4", "unknown4", m.Unknown4),
            number("NumShapes", "NumShapes", "num_shapes", m.NumShapes),
            number("Unknown5", "Unknown5", "unknown5", m.Unknown5),
            number("Num Vertices", "Num Vertices", "num_vertices", m.NumVertices),
            number("Num Polygons", "Num Polygons", "num_polygons", m.NumPolygons),
            number("Num Unk16", "Num Unk16", "num_unk16", m.NumUnk16),
            number("Num Unk21", "Num Unk21", "num_unk21", m.NumUnk21),
            number("Unknown1", "Vertex Unknown1", "vertex_unknown1", m.VertexUnknown1),
            number("Unknown2", "Vertex Unknown2", "vertex_unknown2", m.VertexUnknown2),
            number("Unknown3", "Vertex Unknown3", "vertex_unknown3", m.VertexUnknown3),
            number("Unknown4", "Vertex Unknown4", "vertex_unknown4", m.VertexUnknown4)};
}

std::string GP4ShapeLine(const TGP4File& mesh, std::size_t shape)
{
    return std::to_string(shape) + " " + mesh.Shapes.at(shape).Name;
}

std::string GP4MaterialLine(const TGP4File& mesh, std::size_t material)
{
    return std::to_string(material) + " " + mesh.Materials.at(material).Name;
}

std::string GP4PreviewLine(const TGP4Shape& shape, int index)
{
    if (shape.Unk21Indices.size() == 1 && shape.Unk21Indices[0] == index)
        return shape.Name + " 0";
    if (shape.Unk21Indices.empty())
        return shape.Name + " (no runs)";
    std::string runs;
    for (std::int32_t run : shape.Unk21Indices)
        runs += (runs.empty() ? "" : ", ") + std::to_string(run);
    return shape.Name + " (runs " + runs + ")";
}

bool GP4ShapeWordIsInteger(std::size_t word)
{
    return word <= 6 || word == 10 || word == 14 || word >= 38;
}

std::vector<std::string> GP4ShapeDataLines(const TGP4Shape& shape)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < GP4ShapeDataWords; ++i) {
        const std::uint32_t word = shape.DataWord(i);
        lines.push_back(GP4ShapeWordIsInteger(i) ? std::to_string(static_cast<std::int32_t>(word))
                                                 : GP4FloatText(std::bit_cast<float>(word)));
    }
    return lines;
}

std::vector<std::string> GP4RunListLines(const TGP4Shape& shape)
{
    std::vector<std::string> lines{GP4UnsignedText(shape.Unk21First), GP4UnsignedText(shape.Unk21Count)};
    for (std::int32_t index : shape.Unk21Indices)
        lines.push_back(GP4UnsignedText(index));
    return lines;
}

std::vector<std::string> GP4RunIndexLines(const TGP4Shape& shape)
{
    std::vector<std::string> lines;
    for (std::int32_t index : shape.Unk21Indices)
        lines.push_back(std::to_string(index));
    return lines;
}

std::vector<std::string> GP4MaterialDataLines(const TGP4Material& material)
{
    std::vector<std::string> lines;
    for (const TGP4MaterialGroup& group : material.Groups) {
        lines.push_back(GP4UnsignedText(group.Value));
        for (float f : group.Floats)
            lines.push_back(GP4FloatText(f));
    }
    for (std::int32_t w : material.Words)
        lines.push_back(GP4UnsignedText(w));
    return lines;
}

std::vector<std::string> GP4RunLines(const TGP4File& mesh, std::int64_t run)
{
    if (run < 0 || static_cast<std::uint64_t>(run) >= mesh.Unknown16.size())
        return {"Run " + std::to_string(run) + " is not in the file"};
    std::vector<std::string> lines;
    for (std::int32_t w : mesh.Unknown16[static_cast<std::size_t>(run)].Words)
        lines.push_back(GP4UnsignedText(w));
    return lines;
}

} // namespace paddock
