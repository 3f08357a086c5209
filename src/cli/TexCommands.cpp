// tex info|export|import|downsample: the TEX Workshop's jobs, with pictures
// as TGA or PNG files.
#include "cli/Commands.h"

#include "app/Tools.h"
#include "cli/Pictures.h"
#include "cli/Terminal.h"
#include "formats/GP4TEX.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace paddock::cli {

namespace {

using json = nlohmann::ordered_json;

std::unique_ptr<TTEXFile> openContainer(const std::string& path)
{
    auto tex = std::make_unique<TTEXFile>();
    if (!tex->LoadFromFile(path))
        throw CommandFailed("Couldn't load TEX " + path);
    return tex;
}

// A container that is to be written again must have all its textures: one
// that could not be read would be written without its data.
void requireComplete(const TTEXFile& tex, const std::string& path)
{
    for (std::uint32_t i = 0; i < tex.Count; ++i)
        if (!tex.GetBitmap(static_cast<int>(i)))
            throw CommandFailed("Texture " + std::to_string(i) + " of " + path +
                                " could not be read; writing the container would lose it");
}

void requireIndex(const TTEXFile& tex, int index, const std::string& path)
{
    if (index < 0 || static_cast<std::uint32_t>(index) >= tex.Count)
        throw CommandFailed(path + " has no texture " + std::to_string(index) + "; it holds " +
                            std::to_string(tex.Count) + (tex.Count == 1 ? " texture" : " textures") +
                            ", numbered from 0");
}

PictureKind requirePictureKind(const std::string& path)
{
    const auto kind = PictureKindOf(path);
    if (!kind)
        throw UsageError("A picture file's name must end in .tga or .png: " + path);
    return *kind;
}

// The files a mask names, "*" standing for each texture's number (0, 1, ...).
std::vector<std::string> maskedFiles(const std::string& mask, std::uint32_t count)
{
    if (mask.find('*') == std::string::npos)
        throw UsageError("Invalid filemask " + mask +
                         ": it needs a \"*\" for the texture's number, or name one texture with --index");
    std::vector<std::string> files;
    for (std::uint32_t i = 0; i < count; ++i)
        files.push_back(ReplaceAll(mask, "*", std::to_string(i)));
    return files;
}

// The four letters of a format, or its value in hexadecimal.
std::string fourCCText(std::uint32_t fourCC)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourCC >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(fourCC));
            return hex;
        }
        text += c;
    }
    return text;
}

// Where a changed container goes: over itself (confirmed by --yes, as the
// window asks "Replace ...?") or to another file (replacing one with --force).
std::string saveTarget(const std::string& file, const std::string& output, bool yes, bool force,
                       const char* command)
{
    std::error_code ec;
    const bool inPlace = output.empty() || std::filesystem::equivalent(ToPath(file), ToPath(output), ec);
    if (inPlace) {
        if (!yes)
            throw CommandFailed(std::string(command) + " writes " + file +
                                " over itself; add --yes to replace it, or name another file with -o");
        return file;
    }
    RefuseExisting(output, force);
    return output;
}

void save(TTEXFile& tex, const std::string& target)
{
    EnsureFolderOf(target);
    if (!tex.SaveToFile(target))
        throw CommandFailed("Couldn't save TEX " + target);
}

// ---- info -------------------------------------------------------------------

struct InfoJob {
    std::string file;
    bool json = false;
};

void info(const InfoJob& job)
{
    const auto tex = openContainer(job.file);
    if (job.json) {
        json textures = json::array();
        for (std::uint32_t i = 0; i < tex->Count; ++i) {
            const TTEXTextureHeader h = tex->GetHeader(static_cast<int>(i));
            textures.push_back({{"index", i},
                                {"width", h.Width()},
                                {"height", h.Height()},
                                {"format", fourCCText(h.FourCC())},
                                {"mipmap_count", h.MipMapCount()},
                                {"readable", tex->GetBitmap(static_cast<int>(i)) != nullptr}});
        }
        PrintOut(json{{"file", job.file},
                      {"header1", tex->Header1},
                      {"header2", tex->Header2},
                      {"layout_flag", tex->LayoutFlag},
                      {"count", tex->Count},
                      {"textures", textures}}
                     .dump(2, ' ', false, json::error_handler_t::replace));
        return;
    }
    char header[64];
    std::snprintf(header, sizeof header, "0x%08X 0x%08X", static_cast<unsigned>(tex->Header1),
                  static_cast<unsigned>(tex->Header2));
    std::string out = job.file + ": " + std::to_string(tex->Count) + (tex->Count == 1 ? " texture" : " textures") +
                      ", layout flag " + std::to_string(tex->LayoutFlag) + ", header values " + header;
    for (std::uint32_t i = 0; i < tex->Count; ++i) {
        // The window's line, then the format and levels.
        const TTEXTextureHeader h = tex->GetHeader(static_cast<int>(i));
        out += "\nTexture " + std::to_string(i) + ": (" + std::to_string(h.Width()) + " x " +
               std::to_string(h.Height()) + ") " + fourCCText(h.FourCC()) + ", " + std::to_string(h.MipMapCount()) +
               (h.MipMapCount() == 1 ? " mip level" : " mip levels");
        if (!tex->GetBitmap(static_cast<int>(i)))
            out += ", could not be read";
    }
    PrintOut(out);
}

// ---- export -----------------------------------------------------------------

struct ExportJob {
    std::string file;
    std::string output;
    std::optional<int> index;
    bool force = false;
};

void exportPictures(const ExportJob& job)
{
    requirePictureKind(job.output);
    if (!job.index && job.output.find('*') == std::string::npos)
        maskedFiles(job.output, 0); // refuses the mask
    const auto tex = openContainer(job.file);
    std::vector<std::pair<int, std::string>> files;
    if (job.index) {
        requireIndex(*tex, *job.index, job.file);
        files.emplace_back(*job.index, job.output);
    } else {
        const std::vector<std::string> names = maskedFiles(job.output, tex->Count);
        for (std::size_t i = 0; i < names.size(); ++i)
            files.emplace_back(static_cast<int>(i), names[i]);
    }
    for (const auto& [index, path] : files)
        RefuseExisting(path, job.force);
    int written = 0;
    for (const auto& [index, path] : files) {
        EnsureFolderOf(path);
        written += ExportPicture(*tex, index, path) ? 1 : 0;
    }
    Terminal().note("Wrote " + std::to_string(written) + (written == 1 ? " picture" : " pictures") + " of " +
                    job.file);
}

// ---- import -----------------------------------------------------------------

struct ImportJob {
    std::string file;
    std::string input;
    std::optional<int> index;
    std::string output;
    bool downsample = false;
    bool yes = false;
    bool force = false;
};

void importPictures(const ImportJob& job)
{
    requirePictureKind(job.input);
    if (!job.index && job.input.find('*') == std::string::npos)
        maskedFiles(job.input, 0); // refuses the mask
    const std::string target = saveTarget(job.file, job.output, job.yes, job.force, "tex import");
    const auto tex = openContainer(job.file);
    requireComplete(*tex, job.file);
    std::vector<std::pair<int, std::string>> files;
    if (job.index) {
        requireIndex(*tex, *job.index, job.file);
        files.emplace_back(*job.index, job.input);
    } else {
        const std::vector<std::string> names = maskedFiles(job.input, tex->Count);
        for (std::size_t i = 0; i < names.size(); ++i)
            files.emplace_back(static_cast<int>(i), names[i]);
    }
    for (const auto& [index, path] : files)
        if (!FileExists(path))
            throw CommandFailed("The picture " + path + " for texture " + std::to_string(index) + " does not exist");
    // Every picture is tried; the container is written only when all were taken.
    bool all = true;
    for (const auto& [index, path] : files)
        all = ImportPicture(*tex, index, path) && all;
    if (!all)
        throw CommandFailed("Nothing was written");
    if (job.downsample && !tex->Downsample(2))
        throw CommandFailed("The smaller textures of " + job.file + " could not be rebuilt");
    save(*tex, target);
    Terminal().note("Wrote " + target);
}

// ---- downsample ---------------------------------------------------------------

struct DownsampleJob {
    std::string file;
    std::string output;
    bool yes = false;
    bool force = false;
};

void downsample(const DownsampleJob& job)
{
    const std::string target = saveTarget(job.file, job.output, job.yes, job.force, "tex downsample");
    const auto tex = openContainer(job.file);
    requireComplete(*tex, job.file);
    if (!tex->Downsample(2))
        throw CommandFailed("The smaller textures of " + job.file + " could not be rebuilt");
    save(*tex, target);
    Terminal().note("Wrote " + target);
}

} // namespace

void AddTexCommands(CLI::App& app, Job& job)
{
    CLI::App* tex = app.add_subcommand("tex", "Work on TEX texture containers (the TEX Workshop's jobs)");
    tex->require_subcommand(1);
    const char* const pictureHelp = " (.tga or .png; without --index a mask whose \"*\" stands for each texture's "
                                    "number from 0, as car*.png)";

    {
        auto j = std::make_shared<InfoJob>();
        CLI::App* c = tex->add_subcommand("info", "Show a container's header values and its textures' sizes and formats");
        c->add_option("file", j->file, "The TEX container")->required();
        c->add_flag("--json", j->json, "Print the information as JSON");
        c->callback([j, &job] { job = [j] { info(*j); }; });
    }
    {
        auto j = std::make_shared<ExportJob>();
        CLI::App* c = tex->add_subcommand("export", "Write textures as 32-bit pictures");
        c->add_option("file", j->file, "The TEX container")->required();
        c->add_option("output", j->output, std::string("The picture file to write") + pictureHelp)->required();
        c->add_option("-i,--index", j->index, "The texture to write, from 0")->check(CLI::NonNegativeNumber);
        c->add_flag("--force", j->force, "Replace files that already exist");
        c->callback([j, &job] { job = [j] { exportPictures(*j); }; });
    }
    {
        auto j = std::make_shared<ImportJob>();
        CLI::App* c = tex->add_subcommand(
            "import", "Replace textures from 32-bit pictures whose width and height are multiples of 4, and save "
                      "the container");
        c->add_option("file", j->file, "The TEX container")->required();
        c->add_option("input", j->input, std::string("The picture file to read") + pictureHelp)->required();
        c->add_option("-i,--index", j->index, "The texture to replace, from 0")->check(CLI::NonNegativeNumber);
        c->add_flag("--downsample", j->downsample, "Then rebuild textures 1 and on from texture 0");
        c->add_option("-o,--output", j->output, "Save the container here instead of over FILE");
        c->add_flag("--yes", j->yes, "Confirm saving the container over FILE");
        c->add_flag("--force", j->force, "Replace the output file if it exists");
        c->callback([j, &job] { job = [j] { importPictures(*j); }; });
    }
    {
        auto j = std::make_shared<DownsampleJob>();
        CLI::App* c = tex->add_subcommand(
            "downsample", "Replace textures 1 and on with ever smaller copies of texture 0, and save the container");
        c->add_option("file", j->file, "The TEX container")->required();
        c->add_option("-o,--output", j->output, "Save the container here instead of over FILE");
        c->add_flag("--yes", j->yes, "Confirm saving the container over FILE");
        c->add_flag("--force", j->force, "Replace the output file if it exists");
        c->callback([j, &job] { job = [j] { downsample(*j); }; });
    }
}

} // namespace paddock::cli
