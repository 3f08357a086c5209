#include "app/ExportImport.h"

#include "app/EditorHost.h"
#include "app/FileTransaction.h"
#include "app/Interaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
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

std::unique_ptr<ProgressWindow> showProgress(const char* caption, int maximum)
{
    return Interaction().showProgress({caption, maximum, false, 300, 80});
}

} // namespace

void ImportSelected()
{
    const auto progress = showProgress("Importing...", countSelected());
    const TItemDone done = [&progress](const std::string& item) { progress->step(item); };
    const TItemSet selection = SelectedItems;
    ReadTeams(selection, done);
    ReadPoints(selection, done);
    LoadCarTextures(selection, done);
    if (EditorHost* host = CurrentEditorHost())
        host->ReloadData();
}

std::vector<TAppliedArchive> ExportSelected()
{
    // Nothing that still holds default values reaches the game.
    for (std::size_t i = 0; i < SelectedItems.size(); ++i)
        if (!LoadedItems[i])
            SelectedItems[i] = 0;
    if (EditorHost* host = CurrentEditorHost())
        host->StoreEdits();
    const auto progress = showProgress("Exporting...", countSelected());
    const TItemDone done = [&progress](const std::string& item) { progress->step(item); };
    const TItemSet selection = SelectedItems;
    // Everything the export changes in the game's files reaches them
    // together, or nothing does.
    TFileTransaction transaction;
    WriteTeams(selection, done);
    WritePoints(selection, done);
    SaveCarTextures(selection, done);
    std::vector<TAppliedArchive> applied = ApplyStagedArchives();
    transaction.Commit();
    return applied;
}

std::vector<TAppliedArchive> ApplyStagedArchives()
{
    TJoinTransaction transaction;
    std::vector<TAppliedArchive> applied;
    const std::string exportFolder = RemoveTrailingBackslash(Settings.ExportPath);
    for (const std::string& entry : ListFiles(Settings.ExportPath, "*.wad", false, true)) {
        const std::string staged = RemoveTrailingBackslash(entry);
        if (SameText(staged, exportFolder) || !DirectoryExists(staged))
            continue;
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
