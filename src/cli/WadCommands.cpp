// wad list|extract|create|rebuild|check|repair: the WAD Workshop's jobs and
// the archive rebuild of the export, on any archive.
#include "cli/Commands.h"

#include "app/FileTransaction.h"
#include "app/Tools.h"
#include "cli/Terminal.h"
#include "formats/CodePage.h"
#include "formats/GP4WAD.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <system_error>

namespace paddock::cli {

namespace {

using json = nlohmann::ordered_json;

std::unique_ptr<TWADFile> openArchive(const std::string& path)
{
    auto wad = std::make_unique<TWADFile>(path);
    wad->ReadDirectory();
    return wad;
}

std::string memberName(const TWADEntry& entry)
{
    return GameTextToUtf8(entry.NameString());
}

const TWADEntry& entryAt(const TWADFile& wad, int index)
{
    return wad.Entries[static_cast<std::size_t>(index)];
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(ToPath(a), ToPath(b), ec) && !ec;
}

void printJson(const json& data)
{
    PrintOut(data.dump(2, ' ', false, json::error_handler_t::replace));
}

// ---- list -------------------------------------------------------------------

struct ListJob {
    std::string archive;
    bool json = false;
};

void list(const ListJob& job)
{
    const auto wad = openArchive(job.archive);
    if (job.json) {
        json members = json::array();
        for (int i = 0; i < wad->Count; ++i) {
            const TWADEntry& e = entryAt(*wad, i);
            members.push_back({{"index", i + 1},
                               {"name", memberName(e)},
                               {"offset", e.Offset},
                               {"size", e.Size},
                               {"outside", wad->LiesOutside(i)}});
        }
        printJson({{"archive", job.archive}, {"count", wad->Count}, {"members", members}});
        return;
    }
    // The window's columns: index from 1, name, offset and size in hexadecimal.
    const std::vector<TWADListRow> rows = wad->ListEntries();
    std::size_t indexWidth = 5;
    std::size_t nameWidth = 8;
    for (const TWADListRow& row : rows) {
        indexWidth = std::max(indexWidth, row.Index.size());
        nameWidth = std::max(nameWidth, row.Name.size());
    }
    std::string out = PadRight("Index", indexWidth, ' ') + "  " + PadRight("Filename", nameWidth, ' ') +
                      "  Offset    Size\n";
    for (const TWADListRow& row : rows) {
        out += std::string(indexWidth - row.Index.size(), ' ') + row.Index + "  " +
               PadRight(row.Name, nameWidth, ' ') + "  " + row.Offset + "  " + row.Size;
        if (row.Outside)
            out += "  lies outside the file";
        out += "\n";
    }
    out.pop_back();
    PrintOut(out);
}

// ---- extract ----------------------------------------------------------------

struct ExtractJob {
    std::string archive;
    std::vector<std::string> members;
    std::string output;
    std::string file;
    bool force = false;
};

void extract(const ExtractJob& job)
{
    if (!job.file.empty() && job.members.size() != 1)
        throw UsageError("--file takes exactly one member");
    const auto wad = openArchive(job.archive);
    std::vector<int> indices;
    if (job.members.empty()) {
        for (int i = 0; i < wad->Count; ++i)
            indices.push_back(i);
    }
    for (const std::string& name : job.members) {
        const std::optional<std::string> bytes = Utf8ToGameText(name);
        const int index = bytes ? wad->IndexOf(*bytes) : -1;
        if (index < 0)
            throw CommandFailed(job.archive + " has no member named " + name);
        indices.push_back(index);
    }
    const int errorsBefore = Terminal().errorCount();

    if (!job.file.empty()) {
        RefuseExisting(job.file, job.force);
        EnsureFolderOf(job.file);
        if (wad->ExtractMember(indices[0], job.file, false))
            Terminal().note("Extracted " + memberName(entryAt(*wad, indices[0])) + " to " + job.file);
        return;
    }

    const std::string folder = job.output.empty() ? wad->DefaultExtractFolder() : job.output;
    if (!job.force) {
        std::vector<std::string> existing;
        for (int index : indices)
            if (const auto path = MemberFilePath(folder, entryAt(*wad, index).NameString()); path && FileExists(*path))
                existing.push_back(*path);
        if (!existing.empty())
            throw CommandFailed(std::to_string(existing.size()) + " of the files to extract already exist, " +
                                existing.front() + " the first; add --force to replace them");
    }
    if (job.members.empty()) {
        wad->ExtractAll(folder);
    } else {
        ForceDirectories(folder);
        for (int index : indices)
            wad->ExtractMember(index, folder, true);
    }
    if (Terminal().errorCount() == errorsBefore)
        Terminal().note("Extracted " + std::to_string(indices.size()) + " members of " + job.archive + " to " + folder);
}

// ---- create -----------------------------------------------------------------

struct CreateJob {
    std::string archive;
    std::string folder;
    bool force = false;
};

// True when path lies inside folder.
bool liesInside(const std::string& path, const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(fs::absolute(ToPath(path), ec), ec);
    const fs::path base = fs::weakly_canonical(fs::absolute(ToPath(folder), ec), ec);
    if (ec)
        return false;
    const auto [end, rest] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    return end == base.end() && rest != file.end();
}

void create(const CreateJob& job)
{
    if (liesInside(job.archive, job.folder))
        throw CommandFailed("The archive " + job.archive + " would lie inside the folder it is made from");
    RefuseExisting(job.archive, job.force);
    EnsureFolderOf(job.archive);
    TWADFile wad;
    if (!wad.CreateFromDirectory(job.archive, job.folder, true))
        throw CommandFailed("Nothing was written");
    Terminal().note("Wrote " + job.archive + ": " + std::to_string(wad.Count) + " members");
}

// ---- rebuild ----------------------------------------------------------------

struct RebuildJob {
    std::string archive;
    std::string folder;
    std::string output;
    bool force = false;
};

void rebuild(const RebuildJob& job)
{
    if (!DirectoryExists(job.folder))
        throw CommandFailed("The folder " + job.folder + " does not exist");
    const auto wad = openArchive(job.archive);
    const bool inPlace = job.output.empty() || sameFile(job.archive, job.output);
    const std::string target = inPlace ? job.archive : job.output;
    // As the export into the game: the archive as it was stays beside it,
    // and the backup and the rebuilt archive take their places together.
    TFileTransaction transaction;
    const std::string backup = job.archive + ".BAK";
    if (inPlace) {
        transaction.Backup(job.archive, backup);
    } else {
        RefuseExisting(target, job.force);
        EnsureFolderOf(target);
    }
    const TWADRebuildReport report = wad->Rebuild(target, job.folder);
    transaction.Commit();
    if (inPlace)
        Terminal().message("A backup of " + job.archive + " was written to " + backup);
    // The files the folder holds that replace no member: misspelt, of
    // another archive, or named with what the code page cannot hold.
    for (const std::string& file : report.Unused)
        Terminal().message("Not a member of " + job.archive + ", left out: " + file);
    Terminal().note("Wrote " + target + ": " + std::to_string(report.Replaced.size()) + " of " +
                    std::to_string(wad->Count) + " members replaced");
}

// ---- check ------------------------------------------------------------------

struct CheckJob {
    std::string archive;
    bool json = false;
};

void check(const CheckJob& job)
{
    const auto wad = openArchive(job.archive);
    const std::int64_t length = GetFileSize(job.archive);
    const std::optional<std::int64_t> health = wad->HealthMeasure();
    const std::optional<std::int64_t> drift = wad->GapRuleDrift();
    std::vector<std::string> outside;
    for (int i = 0; i < wad->Count; ++i)
        if (wad->LiesOutside(i))
            outside.push_back(memberName(entryAt(*wad, i)));
    const bool healthy = !health || *health <= 2;
    const bool sound = healthy && outside.empty() && drift.value_or(0) == 0;

    if (job.json) {
        printJson({{"archive", job.archive},
                   {"count", wad->Count},
                   {"length", length},
                   {"health_measure", health ? json(*health) : json(nullptr)},
                   {"healthy", healthy},
                   {"gap_rule_drift", drift ? json(*drift) : json(nullptr)},
                   {"outside", outside},
                   {"sound", sound}});
    } else {
        std::string out = job.archive + ": " + std::to_string(wad->Count) + " members, " + std::to_string(length) +
                          " bytes\n";
        out += "Health measure: " +
               (health ? std::to_string(*health) + (healthy ? " (healthy)" : " (damaged: more than 2)")
                       : std::string("none (no members)")) +
               "\n";
        if (drift) {
            out += "Offsets: ";
            if (*drift == 0)
                out += "laid out by the gap rule\n";
            else if (*drift == -1)
                out += "written without the gap bytes by the earlier rule; wad repair mends them\n";
            else if (*drift > 0)
                out += "repaired " + std::to_string(*drift) + (*drift == 1 ? " time" : " times") +
                       " too often; wad repair undoes that\n";
            else
                out += "short of the gap rule by " + std::to_string(-*drift) + " bytes a member\n";
        } else if (wad->Count >= 2) {
            out += "Offsets: follow no single rule\n";
        }
        out += "Members outside the file: " + std::string(outside.empty() ? "none" : "") + "\n";
        for (const std::string& name : outside)
            out += "  " + name + "\n";
        out.pop_back();
        PrintOut(out);
    }
    if (!sound)
        throw CommandFailed(job.archive + " is damaged");
}

// ---- repair -----------------------------------------------------------------

struct RepairJob {
    std::string archive;
    bool yes = false;
    bool force = false;
};

void repair(const RepairJob& job)
{
    if (!job.yes)
        throw CommandFailed("wad repair rewrites the directory of " + job.archive +
                            " in place. Use it only on an archive whose offsets were written without the gap bytes "
                            "(see wad check), make a backup first, and add --yes to go on");
    const auto wad = openArchive(job.archive);
    const std::optional<std::int64_t> health = wad->HealthMeasure();
    if (!health) {
        Terminal().note("The WAD file has no entries. There is nothing to repair.");
        return;
    }
    // An archive laid out by the gap rule whose offsets were fixed anyway
    // gets that fix undone rather than another one.
    if (const auto drift = wad->GapRuleDrift(); drift && *drift > 0) {
        wad->RepairOffsets(-*drift);
        Terminal().note("WAD file fixed with success: " + std::to_string(*drift) +
                        (*drift == 1 ? " repair" : " repairs") + " too many undone");
        return;
    }
    if (*health <= 2 && !job.force)
        throw CommandFailed("The WAD file you are trying to fix seems to be OK (health measure " +
                            std::to_string(*health) + "). A repair would damage it; add --force to repair it anyway");
    wad->RepairOffsets();
    Terminal().note("WAD file fixed with success");
}

} // namespace

void AddWadCommands(CLI::App& app, Job& job)
{
    CLI::App* wad = app.add_subcommand("wad", "Work on WAD archives (the WAD Workshop's jobs)");
    wad->require_subcommand(1);

    {
        auto j = std::make_shared<ListJob>();
        CLI::App* c = wad->add_subcommand("list", "List the members of an archive: index, name, offset, size");
        c->add_option("archive", j->archive, "The WAD archive")->required();
        c->add_flag("--json", j->json, "Print the list as JSON");
        c->callback([j, &job] { job = [j] { list(*j); }; });
    }
    {
        auto j = std::make_shared<ExtractJob>();
        CLI::App* c = wad->add_subcommand(
            "extract", "Extract every member of an archive, or the named ones, below a folder (the archive's path + "
                       "\".paddock\" unless -o names one), re-creating the folders of their names");
        c->add_option("archive", j->archive, "The WAD archive")->required();
        c->add_option("members", j->members, "Names of members, as listed (letter case does not matter)");
        c->add_option("-o,--output", j->output, "The folder to extract to");
        c->add_option("--file", j->file, "Extract the one named member to this file")->excludes("--output");
        c->add_flag("--force", j->force, "Replace files that already exist");
        c->callback([j, &job] { job = [j] { extract(*j); }; });
    }
    {
        auto j = std::make_shared<CreateJob>();
        CLI::App* c = wad->add_subcommand(
            "create", "Write a new archive from every file below a folder, subfolders included, in the order the "
                      "file system lists them");
        c->add_option("archive", j->archive, "The archive to write")->required();
        c->add_option("folder", j->folder, "The folder whose files become the members")->required();
        c->add_flag("--force", j->force, "Replace the archive if it exists");
        c->callback([j, &job] { job = [j] { create(*j); }; });
    }
    {
        auto j = std::make_shared<RebuildJob>();
        CLI::App* c = wad->add_subcommand(
            "rebuild", "Rewrite an archive with the same members in the same order, each taken from the folder's "
                       "file of the member's name where there is one. In place, the archive as it was is kept as "
                       "ARCHIVE.BAK");
        c->add_option("archive", j->archive, "The WAD archive")->required();
        c->add_option("folder", j->folder, "The folder holding replacement members (cars/hi_bar_1.TEX, ...)")
            ->required();
        c->add_option("-o,--output", j->output, "Write the rebuilt archive here instead of in place");
        c->add_flag("--force", j->force, "Replace the output file if it exists");
        c->callback([j, &job] { job = [j] { rebuild(*j); }; });
    }
    {
        auto j = std::make_shared<CheckJob>();
        CLI::App* c = wad->add_subcommand(
            "check", "Report the health measure, how the offsets were laid out and every member that lies outside "
                     "the file; exit code 1 when the archive is damaged");
        c->add_option("archive", j->archive, "The WAD archive")->required();
        c->add_flag("--json", j->json, "Print the report as JSON");
        c->callback([j, &job] { job = [j] { check(*j); }; });
    }
    {
        auto j = std::make_shared<RepairJob>();
        CLI::App* c = wad->add_subcommand(
            "repair", "Mend the directory of an archive whose offsets were written without the gap bytes, in place "
                      "(\"Fix WAD File\"); make a backup first");
        c->add_option("archive", j->archive, "The WAD archive")->required();
        c->add_flag("--yes", j->yes, "Confirm the change of the archive in place");
        c->add_flag("--force", j->force, "Repair even an archive that seems to be OK");
        c->callback([j, &job] { job = [j] { repair(*j); }; });
    }
}

} // namespace paddock::cli
