// mesh info|export-3ds: the GP4 Workshop's view of a mesh file as text or
// JSON, and its "Save as 3DS".
#include "cli/Commands.h"

#include "app/Tools.h"
#include "cli/Terminal.h"
#include "formats/CodePage.h"
#include "formats/GP4GP4.h"
#include "formats/GP4MeshText.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

namespace paddock::cli {

namespace {

using json = nlohmann::ordered_json;

// The mesh, read as the window reads it; its messages go to stderr and make
// the exit code 1. A file that is no mesh of a known variant ends the command.
std::unique_ptr<TGP4File> openMesh(const std::string& path)
{
    auto mesh = std::make_unique<TGP4File>();
    mesh->LoadFromFile(path);
    if (mesh->Variant == 0)
        throw CommandFailed(path + " is not a mesh file that can be shown");
    return mesh;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : " ") + line;
    return text;
}

// ---- info -------------------------------------------------------------------

struct InfoJob {
    std::string file;
    bool json = false;
    bool header = false;
    bool shapes = false;
    bool materials = false;
    bool textures = false;
    bool runs = false;
    bool chunks = false;

    // Without a section named, every section.
    bool all() const { return !(header || shapes || materials || textures || runs || chunks); }
};

// A float32 as a JSON number that reads back as the same float (its shortest
// digits); NaN and infinities, which JSON has no numbers for, as the
// window's texts.
json floatValue(float value)
{
    if (!std::isfinite(value))
        return GP4FloatText(value);
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::strtod(std::string(digits, end).c_str(), nullptr);
}

json floatsValue(const std::array<float, 3>& floats)
{
    json list = json::array();
    for (float f : floats)
        list.push_back(floatValue(f));
    return list;
}

json infoJson(const TGP4File& m, const InfoJob& job)
{
    json out = {{"file", job.file}};
    if (job.all() || job.header) {
        const std::vector<TGP4HeaderField> fields = GP4HeaderFields(m);
        json header = json::object();
        for (const std::size_t f : GP4HeaderOrder)
            header[fields[f].Key] = fields[f].Numeric ? json(fields[f].Number) : json(GameTextToUtf8(fields[f].Text));
        out["header"] = header;
    }
    if (job.all() || job.shapes) {
        json shapes = json::array();
        for (std::size_t s = 0; s < m.Shapes.size(); ++s) {
            const TGP4Shape& shape = m.Shapes[s];
            json data = json::array();
            for (std::size_t w = 0; w < GP4ShapeDataWords; ++w) {
                const std::uint32_t word = shape.DataWord(w);
                data.push_back(GP4ShapeWordIsInteger(w) ? json(static_cast<std::int32_t>(word))
                                                        : floatValue(std::bit_cast<float>(word)));
            }
            shapes.push_back({{"index", s},
                              {"name", GameTextToUtf8(shape.Name)},
                              {"preview_line", GameTextToUtf8(GP4PreviewLine(shape, static_cast<int>(s)))},
                              {"run_list",
                               {{"first", static_cast<std::uint32_t>(shape.Unk21First)},
                                {"count", static_cast<std::uint32_t>(shape.Unk21Count)},
                                {"runs", shape.Unk21Indices}}},
                              {"data", data}});
        }
        out["shapes"] = shapes;
    }
    if (job.all() || job.materials) {
        json materials = json::array();
        for (std::size_t i = 0; i < m.Materials.size(); ++i) {
            const TGP4Material& material = m.Materials[i];
            json groups = json::array();
            for (const TGP4MaterialGroup& g : material.Groups)
                groups.push_back({{"value", static_cast<std::uint32_t>(g.Value)}, {"floats", floatsValue(g.Floats)}});
            json words = json::array();
            for (std::int32_t w : material.Words)
                words.push_back(static_cast<std::uint32_t>(w));
            materials.push_back(
                {{"index", i}, {"name", GameTextToUtf8(material.Name)}, {"groups", groups}, {"words", words}});
        }
        out["materials"] = materials;
    }
    if (job.all() || job.textures) {
        json textures = json::array();
        for (const std::string& t : m.Textures)
            textures.push_back(GameTextToUtf8(t));
        out["textures"] = textures;
    }
    if (job.all() || job.runs) {
        json runs = json::array();
        for (std::size_t r = 0; r < m.Unknown16.size(); ++r) {
            json words = json::array();
            for (std::int32_t w : m.Unknown16[r].Words)
                words.push_back(static_cast<std::uint32_t>(w));
            runs.push_back({{"index", r}, {"words", words}});
        }
        out["runs"] = runs;
    }
    if (job.all() || job.chunks)
        out["chunks"] = m.ChunkLog;
    return out;
}

// The window's lines: each list line, then the lines that selecting it shows,
// side by side.
std::string infoText(const TGP4File& m, const InfoJob& job)
{
    std::string out;
    auto line = [&out](const std::string& text) { out += GameTextToUtf8(text) + "\n"; };
    auto count = [](const char* what, std::size_t n) { return std::string(what) + " (" + std::to_string(n) + ")"; };
    if (job.all() || job.header) {
        line("Header");
        const std::vector<TGP4HeaderField> fields = GP4HeaderFields(m);
        for (const std::size_t f : GP4HeaderOrder)
            line("  " + std::string(fields[f].Label) + ": " + fields[f].Text);
    }
    if (job.all() || job.shapes) {
        line(count("Shapes", m.Shapes.size()));
        for (std::size_t s = 0; s < m.Shapes.size(); ++s) {
            line("  " + GP4ShapeLine(m, s));
            line("    preview line: " + GP4PreviewLine(m.Shapes[s], static_cast<int>(s)));
            line("    run list: " + joined(GP4RunListLines(m.Shapes[s])));
            line("    data: " + joined(GP4ShapeDataLines(m.Shapes[s])));
        }
    }
    if (job.all() || job.materials) {
        line(count("Materials", m.Materials.size()));
        for (std::size_t i = 0; i < m.Materials.size(); ++i) {
            line("  " + GP4MaterialLine(m, i));
            line("    data: " + joined(GP4MaterialDataLines(m.Materials[i])));
        }
    }
    if (job.all() || job.textures) {
        line(count("Textures", m.Textures.size()));
        for (const std::string& t : m.Textures)
            line("  " + t);
    }
    if (job.all() || job.runs) {
        line(count("Runs", m.Unknown16.size()));
        for (std::size_t r = 0; r < m.Unknown16.size(); ++r)
            line("  " + std::to_string(r) + ": " + joined(GP4RunLines(m, static_cast<std::int64_t>(r))));
    }
    if (job.all() || job.chunks) {
        line(count("Chunks", m.ChunkLog.size()));
        for (const std::string& c : m.ChunkLog)
            line("  " + c);
    }
    if (!out.empty())
        out.pop_back(); // PrintOut ends the last line
    return out;
}

void info(const InfoJob& job)
{
    const auto mesh = openMesh(job.file);
    if (job.json)
        PrintOut(infoJson(*mesh, job).dump(2, ' ', false, json::error_handler_t::replace));
    else
        PrintOut(infoText(*mesh, job));
}

// ---- export-3ds -------------------------------------------------------------

struct ExportJob {
    std::string file;
    std::string output;
    std::vector<int> shapes;
    bool force = false;
};

void export3DS(const ExportJob& job)
{
    std::error_code ec;
    if (std::filesystem::equivalent(ToPath(job.file), ToPath(job.output), ec))
        throw CommandFailed("The 3DS file would replace the mesh file " + job.file + "; name another file");
    RefuseExisting(job.output, job.force);
    const auto mesh = openMesh(job.file);
    std::vector<int> shapes;
    if (job.shapes.empty()) {
        for (std::size_t s = 0; s < mesh->Shapes.size(); ++s)
            shapes.push_back(static_cast<int>(s));
    } else {
        // Each shape once, in the order of the file.
        const std::set<int> chosen(job.shapes.begin(), job.shapes.end());
        for (int s : chosen)
            if (static_cast<std::size_t>(s) >= mesh->Shapes.size())
                throw CommandFailed(job.file + " has no shape " + std::to_string(s) + "; it holds " +
                                    std::to_string(mesh->Shapes.size()) +
                                    (mesh->Shapes.size() == 1 ? " shape" : " shapes") + ", numbered from 0");
        shapes.assign(chosen.begin(), chosen.end());
    }
    EnsureFolderOf(job.output);
    if (!mesh->Save3DS(job.output, shapes)) {
        // The core has said why; nothing was written.
        if (Terminal().errorCount() == 0)
            throw CommandFailed("No 3DS file was written");
        return;
    }
    Terminal().note("Wrote " + job.output + " with " + std::to_string(shapes.size()) +
                    (shapes.size() == 1 ? " object" : " objects"));
}

} // namespace

void AddMeshCommands(CLI::App& app, Job& job)
{
    CLI::App* mesh = app.add_subcommand("mesh", "Inspect the game's mesh files (.GP4) and export them as 3DS (the GP4 "
                                                "Workshop's jobs)");
    mesh->require_subcommand(1);

    {
        auto j = std::make_shared<InfoJob>();
        CLI::App* c = mesh->add_subcommand(
            "info", "Show a mesh's header, shapes, materials, textures, polygon runs and chunk log as the GP4 "
                    "Workshop shows them; without a section option, every section");
        c->add_option("file", j->file, "The mesh file (.GP4)")->required();
        c->add_flag("--json", j->json, "Print the information as JSON");
        c->add_flag("--header", j->header, "Show the header's fields");
        c->add_flag("--shapes", j->shapes, "Show the shapes: list line, preview line, run list and data words");
        c->add_flag("--materials", j->materials, "Show the materials and their numbers");
        c->add_flag("--textures", j->textures, "Show the texture names");
        c->add_flag("--runs", j->runs, "Show the polygon runs' words");
        c->add_flag("--chunks", j->chunks, "Show the reader's chunk log");
        c->callback([j, &job] { job = [j] { info(*j); }; });
    }
    {
        auto j = std::make_shared<ExportJob>();
        CLI::App* c = mesh->add_subcommand(
            "export-3ds", "Write a mesh as a 3DS file: a material per texture name and an object per shape");
        c->add_option("file", j->file, "The mesh file (.GP4)")->required();
        c->add_option("output", j->output, "The 3DS file to write")->required();
        c->add_option("-s,--shape", j->shapes, "Only this shape, numbered from 0 (repeat it, or separate by commas)")
            ->check(CLI::NonNegativeNumber)
            ->delimiter(',');
        c->add_flag("--force", j->force, "Replace the 3DS file if it exists");
        c->callback([j, &job] { job = [j] { export3DS(*j); }; });
    }
}

} // namespace paddock::cli
