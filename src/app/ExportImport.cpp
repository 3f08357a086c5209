#include "app/ExportImport.h"

#include "app/EditorHost.h"
#include "app/FileTransaction.h"
#include "app/Interaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/CodePage.h"
#include "formats/GP4WAD.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include <algorithm>

namespace paddock {

namespace {

int countSelected()
{
    return static_cast<int>(std::count_if(SelectedItems.begin(), SelectedItems.end(), [](std::uint8_t f) { return f != 0; }));
}

bool anyItem(const TItemSet& items)
{
    return std::any_of(items.begin(), items.end(), [](std::uint8_t f) { return f != 0; });
}

std::unique_ptr<ProgressWindow> showProgress(const char* caption, int maximum)
{
    return Interaction().showProgress({caption, maximum, false, 300, 80});
}

// The folders of archive members staged below the export folder.
std::vector<std::string> stagedArchives()
{
    std::vector<std::string> folders;
    const std::string exportFolder = RemoveTrailingBackslash(Settings.ExportPath);
    for (const std::string& entry : ListFiles(Settings.ExportPath, "*.wad", false, true)) {
        const std::string staged = RemoveTrailingBackslash(entry);
        if (!SameText(staged, exportFolder) && DirectoryExists(staged))
            folders.push_back(staged);
    }
    return folders;
}

// What the game held of each item when it was last read or written, to tell
// edits that were not saved.
TTeams lastTeams{};
TPointsTable lastPoints{};
TItemSet edited{};

void remember(const TItemSet& items)
{
    for (int team = 0; team < TeamCount; ++team)
        if (items[static_cast<std::size_t>(ItemTeamFirst + team)])
            lastTeams[static_cast<std::size_t>(team)] = Teams[static_cast<std::size_t>(team)];
    if (items[ItemPoints])
        lastPoints = PointsTable;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i])
            edited[i] = 0;
}

TItemSet intersection(const TItemSet& a, const TItemSet& b)
{
    TItemSet both{};
    for (std::size_t i = 0; i < both.size(); ++i)
        both[i] = a[i] && b[i];
    return both;
}

// "A", "A and B", "A, B and C".
std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

std::string teamsText(const std::vector<int>& teams)
{
    if (teams.size() == static_cast<std::size_t>(TeamCount))
        return "all " + std::to_string(TeamCount) + " teams";
    if (teams.size() == 1) {
        // The name once it was read from the game.
        const auto team = static_cast<std::size_t>(teams[0]);
        const std::string name =
            LoadedItems[ItemTeamFirst + team] ? GameTextToUtf8(FieldText(Teams[team].TeamName)) : std::string();
        return "team " + std::to_string(teams[0] + 1) + (name.empty() ? "" : " (" + name + ")");
    }
    std::vector<std::string> numbers;
    for (const int team : teams)
        numbers.push_back(std::to_string(team + 1));
    return "teams " + joined(numbers);
}

std::vector<int> teamsIn(const TItemSet& items, int first)
{
    std::vector<int> teams;
    for (int team = 0; team < TeamCount; ++team)
        if (items[static_cast<std::size_t>(first + team)])
            teams.push_back(team);
    return teams;
}

// True when the items name one thing (one team, the points, one team's car
// textures).
bool oneThing(const TItemSet& items)
{
    return std::count_if(items.begin(), items.end(), [](std::uint8_t f) { return f != 0; }) == 1;
}

} // namespace

bool TExportReport::NothingToSave() const
{
    return !anyItem(Saved);
}

std::string DescribeItems(const TItemSet& items)
{
    std::vector<std::string> parts;
    if (const std::vector<int> teams = teamsIn(items, ItemTeamFirst); !teams.empty())
        parts.push_back(teamsText(teams));
    if (items[ItemPoints])
        parts.push_back("the points");
    if (const std::vector<int> cars = teamsIn(items, ItemCarTexturesFirst); !cars.empty())
        parts.push_back("the car textures of " + teamsText(cars));
    return joined(parts);
}

std::string DescribeExport(const TExportReport& report)
{
    if (report.NothingToSave()) {
        const std::string what = DescribeItems(report.Requested);
        return what.empty() ? "Nothing to save: choose what to save first"
                            : "Nothing to save: load " + what + " from the game first";
    }
    std::vector<std::string> files;
    std::vector<std::string> backups;
    for (const std::string& written : report.Written) {
        const std::string name = ExtractFileName(written);
        std::vector<std::string>& list = SameText(ExtractFileExt(name), ".BAK") ? backups : files;
        if (std::find(list.begin(), list.end(), name) == list.end())
            list.push_back(name);
    }
    std::string text = "Saved " + DescribeItems(report.Saved);
    text += files.empty() ? ": the game's files already held it" : " into " + joined(files);
    if (!backups.empty())
        text += (backups.size() == 1 ? " (kept as it was in " : " (kept as they were in ") + joined(backups) + ")";
    TItemSet notSaved{};
    for (std::size_t i = 0; i < notSaved.size(); ++i)
        notSaved[i] = report.Requested[i] && !report.Saved[i];
    if (anyItem(notSaved))
        text += "; " + DescribeItems(notSaved) + (oneThing(notSaved) ? " was" : " were") +
                " not loaded from the game, so not saved";
    return text;
}

TItemSet UnsavedItems()
{
    TItemSet unsaved{};
    for (int team = 0; team < TeamCount; ++team) {
        const auto item = static_cast<std::size_t>(ItemTeamFirst + team);
        unsaved[item] = LoadedItems[item] && Teams[static_cast<std::size_t>(team)] != lastTeams[static_cast<std::size_t>(team)];
    }
    unsaved[ItemPoints] = LoadedItems[ItemPoints] && PointsTable != lastPoints;
    for (int team = 0; team < TeamCount; ++team) {
        const auto item = static_cast<std::size_t>(ItemCarTexturesFirst + team);
        unsaved[item] = LoadedItems[item] && edited[item];
    }
    return unsaved;
}

void MarkEdited(int item)
{
    if (item >= 0 && item < ItemCount)
        edited[static_cast<std::size_t>(item)] = 1;
}

void ImportSelected()
{
    const auto progress = showProgress("Importing...", countSelected());
    const TItemDone done = [&progress](const std::string& item) { progress->step(item); };
    const TItemSet selection = SelectedItems;
    ReadTeams(selection, done);
    ReadPoints(selection, done);
    LoadCarTextures(selection, done);
    const TItemSet loaded = intersection(selection, LoadedItems);
    remember(loaded);
    if (EditorHost* host = CurrentEditorHost())
        host->ReloadData();
    if (anyItem(loaded))
        ShowStatus("Loaded " + DescribeItems(loaded) + " from the game");
}

TExportReport ExportSelected()
{
    TExportReport report;
    report.Requested = SelectedItems;
    // Nothing that still holds default values reaches the game.
    for (std::size_t i = 0; i < SelectedItems.size(); ++i)
        if (!LoadedItems[i])
            SelectedItems[i] = 0;
    report.Saved = SelectedItems;
    if (EditorHost* host = CurrentEditorHost())
        host->StoreEdits();
    if (report.NothingToSave()) {
        // The player must load first: said where it cannot be missed.
        const std::string text = DescribeExport(report);
        ShowStatus(text);
        Interaction().message(text + ".");
        return report;
    }
    const auto progress = showProgress("Exporting...", countSelected() + static_cast<int>(stagedArchives().size()));
    const TItemDone done = [&progress](const std::string& item) { progress->step(item); };
    const TItemSet selection = SelectedItems;
    // Everything the export changes in the game's files reaches them
    // together, or nothing does.
    TFileTransaction transaction;
    WriteTeams(selection, done);
    WritePoints(selection, done);
    SaveCarTextures(selection, done);
    report.Archives = ApplyStagedArchives(done);
    transaction.Commit();
    report.Written = transaction.Written();
    remember(selection);
    ShowStatus(DescribeExport(report));
    return report;
}

std::vector<TAppliedArchive> ApplyStagedArchives(const TItemDone& done)
{
    TJoinTransaction transaction;
    std::vector<TAppliedArchive> applied;
    for (const std::string& staged : stagedArchives()) {
        const std::string target = FindFileNoCase(Settings.GamePath, ExtractFileName(staged));
        const std::string backup = target + ".BAK";
        ShowMessage("A backup of " + target + "\r\nwill be created: " + backup);
        // The archive is never deleted: the backup and the rebuilt archive
        // take their places together, once both are whole.
        const bool existed = FileExists(target);
        if (existed)
            transaction->Backup(target, backup);
        TWADFile archive(existed ? target : backup);
        archive.ReadDirectory();
        applied.push_back({target, archive.Rebuild(target, staged)});
        if (done)
            done("Archive " + ExtractFileName(target));
    }
    transaction.Commit();
    return applied;
}

std::vector<TGameBackup> GameBackups()
{
    std::vector<TGameBackup> found;
    for (const std::string& file : {Settings.GameExePath, Settings.SaveFilePath, CarsArchivePath()}) {
        const std::string backup = FindFileNoCase(ExtractFilePath(file), ExtractFileName(file) + ".BAK");
        if (FileExists(backup) && !DirectoryExists(backup))
            found.push_back({file, backup});
    }
    return found;
}

std::vector<TGameBackup> RestoreGameBackups()
{
    const std::vector<TGameBackup> backups = GameBackups();
    TJoinTransaction transaction;
    for (const TGameBackup& b : backups) {
        if (FileExists(b.File) && !SameText(b.File, CarsArchivePath())) {
            // The executable and the saved configuration change as an export
            // changes them: in place where they cannot be replaced.
            transaction->Rewrite(b.File).LoadFromFile(b.Backup);
            continue;
        }
        // The archive is copied beside itself and replaces it.
        TFileStream in(b.Backup, FileMode::OpenRead);
        TSafeFileStream out(b.File, TReplace::GameFile);
        out.CopyFromFile(in, in.Size());
        out.Commit();
    }
    transaction.Commit();
    return backups;
}

} // namespace paddock
