#include "game/GP4CarTextures.h"

#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "formats/TextureCodec.h"

#include <algorithm>
#include <atomic>
#include <exception>
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

// Saves a container at its member's place below the staging folder.
bool stage(TTEXFile& tex, const std::string& memberName)
{
    const auto path = MemberFilePath(CarsStagingFolder(), memberName);
    return path && tex.SaveToFile(*path);
}

// The high-resolution texture the low-resolution container's texture 0 is
// made from.
int sourceTextureFor(int kind, const TTEXFile& low)
{
    if (kind == 2 && low.GetHeader(0).Width() == 128)
        return 0;
    return 1;
}

void saveKind(const TWADFile& wad, int team, int kind)
{
    const std::string hiName = CarTextureName(team, kind, true);
    const std::string lowName = CarTextureName(team, kind, false);
    TTEXFile* hi = CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)].get();
    if (!hi) {
        ShowErrorMessage(ErrSaving + hiName + ": it was not loaded from the game");
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
    const int index = wad.IndexOf(lowName);
    if (index < 0 || wad.LiesOutside(index)) {
        ShowErrorMessage(ErrSaving + lowName + ": it is missing from the game's cars.wad");
        return;
    }
    const std::unique_ptr<TTEXFile> low = wad.LoadTexture(index, false);
    if (!low || !encodable(*low) || !low->CopyTexture(0, *hi, sourceTextureFor(kind, *low)) || !low->Downsample(2) ||
        !complete(*low) || !stage(*low, lowName))
        ShowErrorMessage(ErrSaving + lowName);
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
    // The folder the containers go to exists before the work is shared out.
    ForceDirectories(ExtractFilePath(*MemberFilePath(CarsStagingFolder(), CarTextureName(0, 0, true))));

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
