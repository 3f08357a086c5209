#include "game/GP4CarTextures.h"

#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "formats/TextureCodec.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

namespace paddock {

TCarTextureTable CarTextureTable;

namespace {

const char* const ErrLoading = "Error loading car texture ";
const char* const ErrSaving = "Error saving car texture ";

bool anyTeamSelected(const TItemSet& selection)
{
    return AnyItemSelected(selection, ItemCarTexturesFirst, ItemCarTexturesFirst + TeamCount - 1);
}

bool teamSelected(const TItemSet& selection, int team)
{
    return selection[static_cast<std::size_t>(ItemCarTexturesFirst + team)] != 0;
}

std::string teamItemName(int team)
{
    return "Car textures of team " + std::to_string(team + 1);
}

// Every texture of the container has its picture: one that could not be read
// would be written without its data.
bool complete(const TTEXFile& tex)
{
    for (std::uint32_t i = 0; i < tex.Count; ++i)
        if (!tex.GetBitmap(static_cast<int>(i)))
            return false;
    return true;
}

// Every texture's record names a format the codec writes.
bool encodable(const TTEXFile& tex)
{
    for (std::uint32_t i = 0; i < tex.Count; ++i)
        if (!FormatFromFourCC(tex.GetHeader(static_cast<int>(i)).FourCC()))
            return false;
    return true;
}

// Saves a container at its member's place below the staging folder (made
// before the teams are shared out). A staged file is one of the working
// folder's, read back into the rebuilt archive by this run: it is put in
// place whole but not flushed, the rebuilt archive is.
bool stage(TTEXFile& tex, const std::string& memberName)
{
    const auto path = MemberFilePath(CarsStagingFolder(), memberName);
    TMemoryStream bytes;
    if (!path || !tex.SaveToStream(bytes))
        return false;
    TSafeFileStream file(*path);
    file.WorkingFile();
    file.WriteBuffer(bytes.Memory(), static_cast<std::size_t>(bytes.Size()));
    file.Commit();
    return true;
}

// The member's name as the game's archive spells it, or empty when the
// archive has no such member or it lies outside the file.
std::string memberInArchive(const TWADFile& wad, const std::string& name)
{
    const int index = wad.IndexOf(name);
    if (index < 0 || wad.LiesOutside(index))
        return {};
    return wad.Entries[static_cast<std::size_t>(index)].NameString();
}

// The high-resolution texture that the low-resolution container's texture 0
// is made from: one of the size it has in the game, the usual one first
// (texture 1, or texture 0 for numbers 128 pixels wide); -1 when no texture
// has that size.
int sourceTextureFor(int kind, const TTEXFile& hi, const TTEXFile& low)
{
    const TTEXTextureHeader wanted = low.GetHeader(0);
    const auto fits = [&](int i) {
        const TPicture* picture = hi.GetBitmap(i);
        return picture && static_cast<std::uint32_t>(picture->Width) == wanted.Width() &&
               static_cast<std::uint32_t>(picture->Height) == wanted.Height();
    };
    const int usual = kind == 2 && wanted.Width() == 128 ? 0 : 1;
    if (fits(usual))
        return usual;
    for (int i = 0; i < static_cast<int>(hi.Count); ++i)
        if (fits(i))
            return i;
    return -1;
}

// Texture 0 of the low-resolution container made from the high-resolution
// container at the size it has in the game: a texture of that size copied
// with its blocks, or else the full-size picture scaled to it.
bool deriveLowTexture(int kind, const TTEXFile& hi, TTEXFile& low)
{
    if (low.Count == 0)
        return false;
    const int source = sourceTextureFor(kind, hi, low);
    if (source >= 0)
        return low.CopyTexture(0, hi, source);
    const TTEXTextureHeader wanted = low.GetHeader(0);
    const TPicture* full = hi.GetBitmap(0);
    if (!full || wanted.Width() == 0 || wanted.Height() == 0)
        return false;
    low.SetBitmap(0, ScalePicture(*full, static_cast<int>(wanted.Width()), static_cast<int>(wanted.Height())));
    return true;
}

void saveKind(const TWADFile& wad, int team, int kind)
{
    // The containers are staged under their members' names as the game's
    // archive spells them.
    const std::string hiName = memberInArchive(wad, CarTextureName(team, kind, true));
    const std::string lowName = memberInArchive(wad, CarTextureName(team, kind, false));
    TTEXFile* hi = CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)].get();
    if (!hi) {
        ShowErrorMessage(ErrSaving + CarTextureName(team, kind, true) + ": it was not loaded from the game");
        return;
    }
    if (hiName.empty()) {
        ShowErrorMessage(ErrSaving + CarTextureName(team, kind, true) + ": it is missing from the game's cars.wad");
        return;
    }
    if (!complete(*hi)) {
        ShowErrorMessage(ErrSaving + hiName + ": one of its textures could not be read");
        return;
    }
    if (!stage(*hi, hiName)) {
        ShowErrorMessage(ErrSaving + hiName);
        return;
    }

    // The low-resolution container as the game has it now. Every texture of
    // it gets a new picture, so its own are not decoded.
    if (lowName.empty()) {
        ShowErrorMessage(ErrSaving + CarTextureName(team, kind, false) + ": it is missing from the game's cars.wad");
        return;
    }
    const std::unique_ptr<TTEXFile> low = wad.LoadTexture(wad.IndexOf(lowName), false);
    if (!low || !encodable(*low) || !deriveLowTexture(kind, *hi, *low) || !low->Downsample(2) || !complete(*low) ||
        !stage(*low, lowName))
        ShowErrorMessage(ErrSaving + lowName);
}

// Takes the files that earlier saves staged for the teams out of the staging
// folder, whatever their letter case: what this save cannot stage is then
// not put into the game either.
void unstageTeams(const std::vector<int>& teams)
{
    const std::string folder = CarsStagingFolder();
    if (!DirectoryExists(folder))
        return;
    for (const std::string& file : ListFiles(folder, "*.*", true, false)) {
        const std::optional<std::string> member = FileMemberName(folder, file);
        if (!member)
            continue;
        for (const int team : teams)
            for (int kind = 0; kind < CarTextureKinds; ++kind)
                for (const bool high : {true, false})
                    if (SameText(*member, CarTextureName(team, kind, high))) {
                        std::error_code ec;
                        std::filesystem::remove(ToPath(file), ec);
                    }
    }
}

} // namespace

void ClearCarTextures()
{
    for (auto& team : CarTextureTable)
        for (auto& slot : team)
            slot.reset();
}

std::string CarsArchivePath()
{
    return FindFileNoCase(Settings.GamePath, "cars.wad");
}

std::string CarsStagingFolder()
{
    return Settings.ExportPath + "cars.wad" + PathDelim;
}

void LoadCarTextures(const TItemSet& selection, const TItemDone& done)
{
    if (!anyTeamSelected(selection))
        return;
    TWADFile wad(CarsArchivePath());
    wad.ReadDirectory();
    for (int team = 0; team < TeamCount; ++team) {
        if (!teamSelected(selection, team))
            continue;
        for (int kind = 0; kind < CarTextureKinds; ++kind) {
            auto& slot = CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)];
            slot.reset();
            const std::string name = CarTextureName(team, kind, true);
            const int index = wad.IndexOf(name);
            if (index >= 0 && !wad.LiesOutside(index))
                slot = wad.LoadTexture(index);
            if (slot)
                LoadedItems[static_cast<std::size_t>(ItemCarTexturesFirst + team)] = 1;
            else
                ShowErrorMessage(ErrLoading + name);
        }
        if (done)
            done(teamItemName(team));
    }
}

void SaveCarTextures(const TItemSet& selection, const TItemDone& done)
{
    if (!anyTeamSelected(selection))
        return;
    TWADFile wad(CarsArchivePath());
    wad.ReadDirectory();
    std::vector<int> teams;
    for (int team = 0; team < TeamCount; ++team)
        if (teamSelected(selection, team))
            teams.push_back(team);
    unstageTeams(teams);
    // The folders the containers go to exist before the work is shared out.
    for (const int team : teams)
        for (int kind = 0; kind < CarTextureKinds; ++kind)
            for (const bool high : {true, false})
                if (const std::string name = memberInArchive(wad, CarTextureName(team, kind, high)); !name.empty())
                    if (const auto path = MemberFilePath(CarsStagingFolder(), name))
                        ForceDirectories(ExtractFilePath(*path));

    // The teams are staged side by side on the machine's cores: each has its
    // own containers and files, and its messages and failure are kept and
    // given in team order on this thread, as if the teams had been staged
    // one after the other.
    struct TTeamWork {
        std::atomic<bool> finished{false};
        TCollectedMessages messages;
        std::exception_ptr failure;
    };
    std::vector<TTeamWork> work(teams.size());
    std::atomic<std::size_t> next{0};
    auto stageTeam = [&](std::size_t i) {
        {
            TCollectMessages collect(work[i].messages);
            // The staging folder is searched for stale files of ours once
            // for the team, not once for each of its six files.
            TFolderSyncBatch batch;
            try {
                for (int kind = 0; kind < CarTextureKinds; ++kind)
                    saveKind(wad, teams[i], kind);
            } catch (...) {
                work[i].failure = std::current_exception();
            }
        }
        work[i].finished = true;
    };
    auto stageTeams = [&] {
        for (std::size_t i; (i = next++) < teams.size();)
            stageTeam(i);
    };
    std::size_t reported = 0;
    auto report = [&] {
        for (; reported < teams.size() && work[reported].finished; ++reported) {
            work[reported].messages.Show();
            if (work[reported].failure)
                std::rethrow_exception(work[reported].failure);
            if (done)
                done(teamItemName(teams[reported]));
        }
    };
    std::vector<std::thread> helpers;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    helpers.reserve(std::min<std::size_t>(cores, teams.size()));
    try {
        while (helpers.size() + 1 < std::min<std::size_t>(cores, teams.size()))
            helpers.emplace_back(stageTeams);
    } catch (const std::system_error&) {
        // Fewer helpers than cores: the work is only shared more thinly.
    }
    // This thread stages too, and tells of each team once it and all before
    // it are done.
    for (std::size_t i; (i = next++) < teams.size();) {
        stageTeam(i);
        try {
            report();
        } catch (...) {
            next = teams.size();
            for (std::thread& helper : helpers)
                helper.join();
            throw;
        }
    }
    for (std::thread& helper : helpers)
        helper.join();
    report();
}

} // namespace paddock
