#include "app/ExportImport.h"

#include "app/EditorHost.h"
#include "app/Interaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4WAD.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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

// The backup of a game archive: the archive's own bytes under a second name
// where the file system can give one (the rebuilt archive then takes the
// archive's name as a new file, so the backup keeps the old bytes without
// their being copied), a copy otherwise. True when the backup exists. An
// archive that is a link is copied: a second name for the link would show
// the file behind it, which the rebuild replaces.
bool makeBackup(const std::string& target, const std::string& backup)
{
    const std::string fresh = backup + ".paddock-new";
    std::error_code ec;
    std::filesystem::remove(ToPath(fresh), ec);
    if (std::filesystem::is_symlink(ToPath(target), ec) || ec)
        return CopyFileForced(target, backup);
    std::filesystem::create_hard_link(ToPath(target), ToPath(fresh), ec);
    if (!ec) {
        std::filesystem::rename(ToPath(fresh), ToPath(backup), ec);
        if (!ec)
            return true;
        std::filesystem::remove(ToPath(fresh), ec);
    }
    return CopyFileForced(target, backup);
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
    WriteTeams(selection, done);
    WritePoints(selection, done);
    SaveCarTextures(selection, done);
    return ApplyStagedArchives();
}

std::vector<TAppliedArchive> ApplyStagedArchives()
{
    std::vector<TAppliedArchive> applied;
    const std::string exportFolder = RemoveTrailingBackslash(Settings.ExportPath);
    for (const std::string& entry : ListFiles(Settings.ExportPath, "*.wad", false, true)) {
        const std::string staged = RemoveTrailingBackslash(entry);
        if (SameText(staged, exportFolder) || !DirectoryExists(staged))
            continue;
        const std::string target = FindFileNoCase(Settings.GamePath, ExtractFileName(staged));
        const std::string backup = target + ".BAK";
        ShowMessage("A backup of " + target + "\r\nwill be created: " + backup);
        // The archive is never deleted: it is replaced by the rebuilt one only
        // when that is whole, and only once its backup exists.
        const bool existed = FileExists(target);
        if (existed && !makeBackup(target, backup)) {
            ShowErrorMessage("The backup " + backup + " could not be created. " + target + " was left as it was.");
            continue;
        }
        TWADFile archive(backup);
        try {
            archive.ReadDirectory();
            applied.push_back({target, archive.Rebuild(target, staged)});
        } catch (...) {
            // The archive stays as it was; its backup becomes a file of its
            // own, which later changes of the archive in place leave alone.
            if (existed)
                CopyFileForced(target, backup);
            throw;
        }
    }
    return applied;
}

} // namespace paddock
