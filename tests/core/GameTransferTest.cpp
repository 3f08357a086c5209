// The car texture set and the import and export between the tables and a
// game folder: what is read, what is staged, what reaches the game files and
// what a failure leaves behind.
#include "app/EditorHost.h"
#include "app/ExportImport.h"
#include "app/FileError.h"
#include "app/FileTransaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include "DemoCars.h"
#include "DemoGame.h"
#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace paddock;
using namespace paddock::testing;
using Members = std::vector<std::pair<std::string, std::string>>;

namespace {

std::uint32_t u32At(const std::string& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// The level-0 data of texture i of a container, read straight from its bytes.
std::string textureData(const std::string& tex, std::size_t i)
{
    const std::size_t table = u32At(tex, 12) == 0 ? 212 : 276;
    const std::uint32_t offset = u32At(tex, table + 8 * i);
    const std::uint32_t size = u32At(tex, table + 8 * i + 4);
    return tex.substr(offset + 128, size - 128);
}

std::uint32_t textureWidth(const std::string& tex, std::size_t i)
{
    const std::size_t table = u32At(tex, 12) == 0 ? 212 : 276;
    return u32At(tex, u32At(tex, table + 8 * i) + 16);
}


// Counts the calls of the two editor requests.
struct CountingHost : EditorHost {
    int stored = 0;
    int reloaded = 0;
    void StoreEdits() override { ++stored; }
    void ReloadData() override { ++reloaded; }
};

class GameTransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cars_ = new std::string(demo::BuildWAD(demo::MakeDemoCarMembers())); }
    static void TearDownTestSuite()
    {
        delete cars_;
        cars_ = nullptr;
    }

    void SetUp() override
    {
        saved_ = Settings;
        game = dir / "game/";
        demo::WriteDemoGame(game);
        WriteBytes(game + "cars.wad", *cars_);
        Settings.GamePath = game;
        Settings.GameExePath = game + "GP4.EXE";
        Settings.SaveFilePath = game + "F1GSTATE.SAV";
        Settings.ExportPath = dir / "temp/Export/";
        ForceDirectories(Settings.ExportPath);
        InitTeams();
        PointsTable.fill(0);
        ClearCarTextures();
        ClearItems(LoadedItems);
        ClearItems(SelectedItems);
        SetEditorHost(&host);
    }
    void TearDown() override
    {
        SetFileFault({});
        SetEditorHost(nullptr);
        ClearCarTextures();
        ClearItems(LoadedItems);
        ClearItems(SelectedItems);
        EXPECT_EQ(script->verify(), "");
        Settings = saved_;
    }

    std::string staged(const std::string& member) const { return *MemberFilePath(Settings.ExportPath + "cars.wad", member); }
    std::string backupMessage() const
    {
        return "A backup of " + game + "cars.wad\r\nwill be created: " + game + "cars.wad.BAK";
    }

    static std::string* cars_;
    TempDir dir;
    ScopedScript script;
    CountingHost host;
    std::string game;
    TSettings saved_;
};

std::string* GameTransferTest::cars_ = nullptr;

} // namespace

TEST_F(GameTransferTest, LoadingReadsTheHighResolutionMembersAndMissingOnesLeaveTheirSlotEmpty)
{
    SelectItems({26});
    LoadCarTextures(SelectedItems);
    EXPECT_TRUE(LoadedItems[26]);
    EXPECT_EQ(std::count(LoadedItems.begin(), LoadedItems.end(), 1), 1);
    const Members members = ArchiveMembers(*cars_);
    for (int kind = 0; kind < 3; ++kind) {
        const TTEXFile* tex = CarTextureTable[4][static_cast<std::size_t>(kind)].get();
        ASSERT_TRUE(tex) << kind;
        const std::string member = MemberBytes(members, "cars\\hi_bar_" + std::to_string(kind + 1) + ".TEX");
        EXPECT_EQ(tex->Count, u32At(member, 16));
        EXPECT_EQ(tex->GetHeader(0).Width(), textureWidth(member, 0));
    }
    EXPECT_FALSE(CarTextureTable[3][0]);

    // An archive without cars\hi_jordan_2.TEX, and with the first livery of
    // team 6 cut off at the end of the file.
    Members damaged = members;
    damaged.erase(std::find_if(damaged.begin(), damaged.end(), [](const auto& m) { return m.first == "cars\\hi_jordan_2.TEX"; }));
    std::rotate(std::find_if(damaged.begin(), damaged.end(), [](const auto& m) { return m.first == "cars\\hi_arrows_a22_1.TEX"; }),
                std::find_if(damaged.begin(), damaged.end(), [](const auto& m) { return m.first == "cars\\hi_arrows_a22_1.TEX"; }) + 1,
                damaged.end());
    std::string bytes = demo::BuildWAD(damaged);
    bytes.resize(bytes.size() - 100);
    WriteBytes(game + "cars.wad", bytes);
    script->expectError("Error loading car texture cars\\hi_jordan_2.TEX")
        .expectError("Error loading car texture cars\\hi_arrows_a22_1.TEX");
    SelectItems({27, 28});
    LoadCarTextures(SelectedItems);
    EXPECT_TRUE(CarTextureTable[5][0] && CarTextureTable[5][2] && !CarTextureTable[5][1]);
    EXPECT_TRUE(!CarTextureTable[6][0] && CarTextureTable[6][1] && CarTextureTable[6][2]);
    EXPECT_TRUE(LoadedItems[27] && LoadedItems[28]);

    // Teams and points alone never open the archive: no cars.wad is needed.
    std::filesystem::remove(game + "cars.wad");
    SelectItems({10, 21});
    LoadCarTextures(SelectedItems);
    SaveCarTextures(SelectedItems);
    SelectItems({22});
    EXPECT_THROW(LoadCarTextures(SelectedItems), EFileError);
}

TEST_F(GameTransferTest, SavingStagesSixWholeContainersAndDerivesTheLowResolutionOnes)
{
    SelectItems({ItemRange, 22, 32});
    LoadCarTextures(SelectedItems);
    const Members members = ArchiveMembers(*cars_);

    // One team: exactly six files, high ones as loaded, low ones made from them.
    SelectItems({24});
    SaveCarTextures(SelectedItems);
    std::vector<std::string> files = ListFiles(Settings.ExportPath, "*.*", true, false);
    std::sort(files.begin(), files.end());
    std::vector<std::string> expected;
    for (const char* name : {"cars\\hi_williams_1.TEX", "cars\\hi_williams_2.TEX", "cars\\hi_williams_3.TEX",
                             "cars\\williams_1.TEX", "cars\\williams_2.TEX", "cars\\williams_3.TEX"})
        expected.push_back(staged(name));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);

    // An unedited livery loses nothing: the high container comes back as it
    // was, and the low container's texture 0 holds the blocks of the high
    // container's texture 1, not a new encoding of its picture.
    for (int kind = 0; kind < 2; ++kind) {
        const std::string hi = MemberBytes(members, CarTextureName(2, kind, true));
        EXPECT_TRUE(ReadBytes(staged(CarTextureName(2, kind, true))) == hi);
        const std::string low = ReadBytes(staged(CarTextureName(2, kind, false)));
        EXPECT_TRUE(textureData(low, 0) == textureData(hi, 1)) << kind;
        EXPECT_EQ(u32At(low, 16), 3u);
        EXPECT_EQ(textureWidth(low, 1), textureWidth(hi, 1) / 2);
    }

    // The numbers keep the sizes they have in the game (texture 0 is 128
    // pixels wide for team 1, 3, ..., 256 for the others): texture 0 holds the
    // blocks of the high texture of its size.
    SelectItems({22, 23});
    SaveCarTextures(SelectedItems);
    for (int team = 0; team < 2; ++team) {
        const std::string hi = MemberBytes(members, CarTextureName(team, 2, true));
        const std::string oldLow = MemberBytes(members, CarTextureName(team, 2, false));
        const std::string low = ReadBytes(staged(CarTextureName(team, 2, false)));
        const std::size_t from = team == 0 ? 2 : 1;
        EXPECT_EQ(textureWidth(oldLow, 0), team == 0 ? 128u : 256u);
        EXPECT_TRUE(textureData(low, 0) == textureData(hi, from)) << team;
        ASSERT_EQ(low.size(), oldLow.size()) << team;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(textureWidth(low, i), textureWidth(oldLow, i)) << team << " texture " << i;
    }

    // High textures of no size the game's low texture has: the full picture
    // is scaled to it, each pixel the area it covers, and what is
    // transparent lends no colour. Here three pixels make one, the left half
    // opaque red, the right half transparent blue.
    TPicture halves(384, 384);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 384; ++x) {
            std::uint8_t* p = halves.Pixel(x, y);
            p[0] = x < 192 ? 0 : 255;
            p[2] = x < 192 ? 255 : 0;
            p[3] = x < 192 ? 255 : 0;
        }
    CarTextureTable[0][2]->SetBitmap(0, halves);
    CarTextureTable[0][2]->Downsample(2);
    SelectItems({22});
    SaveCarTextures(SelectedItems);
    TTEXFile scaled(staged(CarTextureName(0, 2, false)));
    ASSERT_EQ(scaled.Count, 3u);
    ASSERT_EQ(scaled.GetHeader(0).Width(), 128u);
    EXPECT_EQ(scaled.GetHeader(0).Height(), 128u);
    EXPECT_EQ(scaled.GetHeader(1).Width(), 64u);
    for (const auto& [x, colour] : {std::pair{0, 0xFFFF0000u}, std::pair{63, 0xFFFF0000u}, std::pair{64, 0u},
                                    std::pair{127, 0u}}) {
        const std::uint8_t* p = scaled.GetBitmap(0)->Pixel(x, 77);
        EXPECT_EQ(std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0], colour) << x;
    }

    // An edited livery is encoded afresh, into the staged high and low containers.
    TTEXFile& edited = *CarTextureTable[7][0];
    TPicture red(edited.GetBitmap(0)->Width, edited.GetBitmap(0)->Height);
    for (std::size_t i = 0; i < red.Pixels.size(); i += 4) {
        red.Pixels[i + 2] = 255;
        red.Pixels[i + 3] = 255;
    }
    edited.SetBitmap(0, red);
    edited.Downsample(2);
    SelectItems({29});
    SaveCarTextures(SelectedItems);
    TTEXFile low(staged("cars\\sauber_1.TEX"));
    ASSERT_EQ(low.Count, 3u);
    EXPECT_EQ(*low.GetBitmap(0), *edited.GetBitmap(1));
    EXPECT_EQ(low.GetBitmap(2)->Width, edited.GetBitmap(1)->Width / 4);
}

TEST_F(GameTransferTest, WhatCannotBeStagedIsSkippedWithItsName)
{
    SelectItems({25});
    LoadCarTextures(SelectedItems);
    SaveCarTextures(SelectedItems);
    EXPECT_EQ(ListFiles(Settings.ExportPath, "*.*", true, false).size(), 6u);
    // A slot that did not load, a low member the archive lacks, and a high
    // container with a texture that could not be read: what an earlier save
    // staged for them goes too, so that it does not reach the game in
    // their place.
    CarTextureTable[3][0].reset();
    Members members = ArchiveMembers(*cars_);
    members.erase(std::find_if(members.begin(), members.end(), [](const auto& m) { return m.first == "cars\\benetton_2.TEX"; }));
    WriteBytes(game + "cars.wad", demo::BuildWAD(members));
    CarTextureTable[3][2]->Pictures[2].reset();
    script->expectError("Error saving car texture cars\\hi_benetton_1.TEX*")
        .expectError("Error saving car texture cars\\benetton_2.TEX*")
        .expectError("Error saving car texture cars\\hi_benetton_3.TEX*");
    SaveCarTextures(SelectedItems);
    EXPECT_EQ(ListFiles(Settings.ExportPath, "*.*", true, false), std::vector<std::string>{staged("cars\\hi_benetton_2.TEX")});
}

TEST_F(GameTransferTest, AnArchiveWithItsNamesInCapitalsTakesTheEditedLiveries)
{
    // The game's cars.wad with every name in capitals, at the same offsets.
    Members members = ArchiveMembers(*cars_);
    for (auto& member : members)
        member.first = UpperCase(member.first);
    const std::string capitals = demo::BuildWAD(members);
    WriteBytes(game + "cars.wad", capitals);
    SelectItems({24});
    ImportSelected();
    ASSERT_TRUE(CarTextureTable[2][0]);
    TTEXFile& livery = *CarTextureTable[2][0];
    TPicture edited = *livery.GetBitmap(0);
    for (std::size_t i = 0; i < edited.Pixels.size(); i += 4)
        edited.Pixels[i] = 255;
    livery.SetBitmap(0, edited);
    livery.Downsample(2);
    script->expectMessage(backupMessage());
    SelectItems({24});
    const std::vector<TAppliedArchive> applied = ExportSelected().Archives;

    // Staged under the archive's own names, and every one of them taken.
    EXPECT_TRUE(FileExists(Settings.ExportPath + "cars.wad/CARS/HI_WILLIAMS_1.TEX"));
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].Archive, game + "cars.wad");
    std::vector<std::string> replaced;
    for (const auto& r : applied[0].Report.Replaced)
        replaced.push_back(r.Member);
    EXPECT_EQ(replaced, (std::vector<std::string>{"CARS\\HI_WILLIAMS_1.TEX", "CARS\\WILLIAMS_1.TEX", "CARS\\HI_WILLIAMS_2.TEX",
                                                  "CARS\\WILLIAMS_2.TEX", "CARS\\HI_WILLIAMS_3.TEX", "CARS\\WILLIAMS_3.TEX"}));
    EXPECT_TRUE(applied[0].Report.Unused.empty());

    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == capitals);
    const Members after = ArchiveMembers(ReadBytes(game + "cars.wad"));
    ASSERT_EQ(after.size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i)
        EXPECT_EQ(after[i].first, members[i].first);
    TWADFile wad(game + "cars.wad");
    ASSERT_TRUE(wad.ReadDirectory());
    const auto hi = wad.LoadTexture(wad.IndexOf("cars\\hi_williams_1.TEX"));
    ASSERT_TRUE(hi);
    EXPECT_EQ(hi->GetBitmap(0)->Pixel(10, 10)[0], 255) << "blue channel of the edited livery";
    EXPECT_FALSE(MemberBytes(after, "CARS\\WILLIAMS_1.TEX") == MemberBytes(members, "CARS\\WILLIAMS_1.TEX"));
}

TEST_F(GameTransferTest, ExportWritesOnlyWhatWasImported)
{
    const std::string exe = ReadBytes(game + "GP4.EXE");
    const std::string save = ReadBytes(game + "F1GSTATE.SAV");
    // Right after the start nothing is loaded: nothing is written, and the
    // game files are not even opened; no archive is staged, no backup made,
    // and the player is told to load first.
    std::filesystem::remove(game + "GP4.EXE");
    std::filesystem::remove(game + "F1GSTATE.SAV");
    SelectItems({ItemRange, 10, 32});
    script->expectMessage("Nothing to save: load all 11 teams, the points and the car textures of all 11 teams from "
                          "the game first.");
    EXPECT_TRUE(ExportSelected().NothingToSave());
    EXPECT_EQ(std::count(SelectedItems.begin(), SelectedItems.end(), 1), 0);
    EXPECT_FALSE(FileExists(game + "cars.wad.BAK"));
    EXPECT_EQ(host.stored, 1);
    EXPECT_TRUE(script->progress().empty());

    // Team 5 imported, then all teams and the points exported: team 5 only.
    WriteBytes(game + "GP4.EXE", exe);
    WriteBytes(game + "F1GSTATE.SAV", save);
    SelectItems({14});
    ImportSelected();
    EXPECT_EQ(host.reloaded, 1);
    EXPECT_EQ(script->progress()[0].request.caption, "Importing...");
    EXPECT_EQ(script->progress()[0].steps, std::vector<std::string>{"Team 5"});
    for (TTeamRecord& team : Teams)
        team.PowerRace = 12345;
    SelectItems({ItemRange, 10, 21});
    ExportSelected();
    ASSERT_EQ(script->progress().size(), 2u);
    EXPECT_EQ(script->progress()[1].request.caption, "Exporting...");
    EXPECT_EQ(script->progress()[1].request.clientWidth, 300);
    EXPECT_EQ(script->progress()[1].request.clientHeight, 80);
    EXPECT_FALSE(script->progress()[1].request.showCancel);
    EXPECT_FALSE(script->progress()[1].open);
    EXPECT_EQ(script->progress()[1].steps, std::vector<std::string>{"Team 5"});
    TItemSet all{};
    std::fill(all.begin() + 10, all.begin() + 21, 1);
    ReadTeams(all);
    for (int i = 0; i < TeamCount; ++i)
        EXPECT_EQ(Teams[static_cast<std::size_t>(i)].PowerRace, i == 4 ? 12345 : demo::DemoTeams()[static_cast<std::size_t>(i)].PowerRace);
    EXPECT_EQ(ReadBytes(game + "GP4.EXE").substr(0x3BE1D2, 22), exe.substr(0x3BE1D2, 22));
}

TEST_F(GameTransferTest, ImportingAndExportingEverythingChangesNoGameByte)
{
    const std::string exe = ReadBytes(game + "GP4.EXE");
    const std::string save = ReadBytes(game + "F1GSTATE.SAV");
    SelectItems({ItemRange, 10, 32});
    ImportSelected();
    EXPECT_EQ(script->progress()[0].steps.size(), 23u);
    EXPECT_EQ(script->progress()[0].steps.back(), "Car textures of team 11");
    script->expectMessage(backupMessage());
    SelectItems({ItemRange, 10, 32});
    ExportSelected();
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == exe);
    EXPECT_TRUE(ReadBytes(game + "F1GSTATE.SAV") == save);
    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == *cars_);
    EXPECT_FALSE(std::filesystem::equivalent(game + "cars.wad", game + "cars.wad.BAK"));
    // Every texture keeps its size, the low-resolution ones made anew included.
    EXPECT_EQ(ReadBytes(game + "cars.wad").size(), cars_->size());
    // The same members in the same order; the high liveries as they were.
    const Members before = ArchiveMembers(*cars_);
    const Members after = ArchiveMembers(ReadBytes(game + "cars.wad"));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].first, before[i].first);
        if (before[i].first.rfind("cars\\hi_", 0) == 0 || before[i].first.find(".TEX") == std::string::npos) {
            EXPECT_TRUE(after[i].second == before[i].second) << before[i].first;
        }
    }

    // An edited team and an edited livery reach the files where they belong.
    SetFieldText(Teams[2].TeamName, "Lancaster Two");
    Teams[2].Drivers[1].CarNumber = 99;
    TTEXFile& livery = *CarTextureTable[2][1];
    TPicture blue = *livery.GetBitmap(0);
    for (std::size_t i = 0; i < blue.Pixels.size(); i += 4)
        blue.Pixels[i] = 255;
    livery.SetBitmap(0, blue);
    livery.Downsample(2);
    script->expectMessage(backupMessage());
    SelectItems({12, 24});
    ExportSelected();
    const std::string newSave = ReadBytes(game + "F1GSTATE.SAV");
    EXPECT_EQ(newSave.substr(0x17D3E, 13), "Lancaster Two");
    EXPECT_EQ(newSave[0x17A3B], '\x63');
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == exe);
    TWADFile wad(game + "cars.wad");
    ASSERT_TRUE(wad.ReadDirectory());
    const auto hi = wad.LoadTexture(wad.IndexOf("cars\\hi_williams_2.TEX"));
    const auto low = wad.LoadTexture(wad.IndexOf("cars\\williams_2.TEX"));
    ASSERT_TRUE(hi && low);
    EXPECT_EQ(*low->GetBitmap(0), *hi->GetBitmap(1));
    EXPECT_EQ(hi->GetBitmap(0)->Pixel(10, 10)[0], 255) << "blue channel of the edited livery";
    // The second export's backup is the archive as the first export left it.
    const Members firstExport = ArchiveMembers(ReadBytes(game + "cars.wad.BAK"));
    EXPECT_TRUE(MemberBytes(firstExport, "cars\\hi_williams_2.TEX") == MemberBytes(before, "cars\\hi_williams_2.TEX"));
    EXPECT_FALSE(MemberBytes(firstExport, "cars\\williams_2.TEX") == MemberBytes(before, "cars\\williams_2.TEX"));
}

// Only what takes the place of the game's files must outlast a crash: the
// rebuilt archive is flushed before it takes its name and the game folder
// after it; the staged containers, which the export reads back from the
// working folder, are put in place whole but flushed neither they nor
// their folders.
TEST_F(GameTransferTest, AnExportFlushesTheRebuiltArchiveButNotTheStagedFiles)
{
    SelectItems({ItemRange, ItemCarTexturesFirst, ItemCarTexturesFirst + 1});
    ImportSelected();
    std::mutex mutex; // the teams are staged on several threads
    std::vector<std::pair<TFileOp, std::string>> ops;
    SetFileFault([&](TFileOp op, const std::string& path) {
        std::lock_guard lock(mutex);
        ops.emplace_back(op, path);
    });
    script->expectMessage(backupMessage());
    SelectItems({ItemRange, ItemCarTexturesFirst, ItemCarTexturesFirst + 1});
    ExportSelected();
    SetFileFault({});

    const auto staging = [](const std::string& path) { return path.rfind(Settings.ExportPath, 0) == 0; };
    EXPECT_EQ(std::count_if(ops.begin(), ops.end(),
                            [&](const auto& o) { return o.first == TFileOp::Rename && staging(o.second); }),
              12);
    EXPECT_FALSE(std::any_of(ops.begin(), ops.end(),
                             [&](const auto& o) { return o.first == TFileOp::Sync && staging(o.second); }));
    const auto rename = std::find_if(ops.begin(), ops.end(), [&](const auto& o) {
        return o.first == TFileOp::Rename && o.second == game + "cars.wad";
    });
    ASSERT_NE(rename, ops.end());
    EXPECT_TRUE(std::any_of(ops.begin(), rename,
                            [&](const auto& o) { return o.first == TFileOp::Sync && o.second == game + "cars.wad"; }));
    EXPECT_TRUE(std::any_of(rename, ops.end(), [&](const auto& o) {
        return o.first == TFileOp::Sync && RemoveTrailingBackslash(o.second) == RemoveTrailingBackslash(game);
    }));
}

TEST_F(GameTransferTest, AFailedRebuildOrBackupLeavesTheGamesArchiveAsItWas)
{
    SelectItems({22});
    ImportSelected();
    // The disk fills up while the new archive is written.
    SetFileFault([](TFileOp op, const std::string& path) {
        if (op == TFileOp::Write && ExtractFileName(path) == "cars.wad")
            throw EWriteError(path, "No space left on device");
    });
    script->expectMessage(backupMessage());
    SelectItems({22});
    EXPECT_THROW(ExportSelected(), EWriteError);
    EXPECT_TRUE(ReadBytes(game + "cars.wad") == *cars_);
    EXPECT_FALSE(FileExists(game + "cars.wad.BAK"));
    EXPECT_EQ(OursLeftIn(game), "");

    // The backup cannot take its name (a folder holds it): the archive is
    // left alone, and the failure reported.
    std::filesystem::create_directory(game + "cars.wad.BAK");
    SetFileFault({});
    script->expectMessage(backupMessage());
    EXPECT_THROW(ExportSelected(), EFileError);
    EXPECT_TRUE(ReadBytes(game + "cars.wad") == *cars_);
    EXPECT_TRUE(DirectoryExists(game + "cars.wad.BAK"));
    EXPECT_EQ(OursLeftIn(game), "");
}

TEST_F(GameTransferTest, AnArchiveThatIsALinkIsBackedUpAndRebuiltBehindTheLink)
{
    namespace fs = std::filesystem;
    if (SkippedOnWindows("an archive that is a link: symbolic links need a privilege that Windows gives administrators only"))
        GTEST_SKIP();
    const fs::path real = fs::path(game) / "elsewhere" / "cars.wad";
    fs::create_directories(real.parent_path());
    fs::rename(game + "cars.wad", real);
    fs::create_symlink(real, game + "cars.wad");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SelectItems({22});
    ImportSelected();
    TTEXFile& livery = *CarTextureTable[0][0];
    TPicture edited = *livery.GetBitmap(0);
    edited.Pixels[0] ^= 0xFF;
    livery.SetBitmap(0, edited);
    script->expectMessage(backupMessage());
    SelectItems({22});
    ExportSelected();
    EXPECT_TRUE(fs::is_symlink(game + "cars.wad"));
    EXPECT_FALSE(fs::is_symlink(game + "cars.wad.BAK"));
    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == *cars_);
    EXPECT_FALSE(ReadBytes(real.string()) == *cars_);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(GameTransferTest, FilesTheRunningGameHoldsAreNamedAndNothingChanges)
{
#ifndef _WIN32
    GTEST_SKIP() << "Windows only: there a file another program holds open cannot be written or replaced";
#else
    // A game folder whose name is not ASCII.
    game = dir / "Grand Prix 4 \u2014 \u00E9t\u00E9/";
    demo::WriteDemoGame(game);
    WriteBytes(game + "cars.wad", *cars_);
    Settings.GamePath = game;
    Settings.GameExePath = game + "GP4.EXE";
    Settings.SaveFilePath = game + "F1GSTATE.SAV";
    const std::string exe = ReadBytes(game + "GP4.EXE");
    const std::string save = ReadBytes(game + "F1GSTATE.SAV");
    SelectItems({10, 22});
    ImportSelected();
    Teams[0].PowerRace = 12345;
    TTEXFile& livery = *CarTextureTable[0][0];
    TPicture edited = *livery.GetBitmap(0);
    edited.Pixels[0] ^= 0xFF;
    livery.SetBitmap(0, edited);

    // The game holds a file as a running program holds its own: others may
    // read it, not write, replace or remove it.
    const auto hold = [](const std::string& path) {
        return CreateFileW(ToPath(path).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const auto unchanged = [&] {
        EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == exe);
        EXPECT_TRUE(ReadBytes(game + "F1GSTATE.SAV") == save);
        EXPECT_TRUE(ReadBytes(game + "cars.wad") == *cars_);
        EXPECT_FALSE(FileExists(game + "cars.wad.BAK"));
        EXPECT_FALSE(FileExists(game + "GP4.EXE.BAK"));
        EXPECT_EQ(OursLeftIn(dir.path()), "");
    };
    ForgetRunBackups();
    for (const char* held : {"GP4.EXE", "cars.wad"}) {
        SCOPED_TRACE(held);
        const HANDLE handle = hold(game + held);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        if (std::string(held) == "cars.wad")
            script->expectMessage(backupMessage());
        SelectItems({10, 22});
        try {
            ExportSelected();
            ADD_FAILURE() << "The export went on";
        } catch (const EFileError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string(held) + " is in use: close the game and try again"),
                      std::string::npos)
                << e.what();
        }
        CloseHandle(handle);
        unchanged();
    }

    // A read-only, hidden archive keeps both attributes when it is rebuilt.
    const std::wstring cars = ToPath(game + "cars.wad").wstring();
    SetFileAttributesW(cars.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    script->expectMessage(backupMessage());
    SelectItems({10, 22});
    ExportSelected();
    EXPECT_EQ(GetFileAttributesW(cars.c_str()) & 0x7, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(ReadBytes(game + "cars.wad") == *cars_);
    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == *cars_);
    EXPECT_FALSE(ReadBytes(game + "GP4.EXE") == exe);
    EXPECT_EQ(OursLeftIn(dir.path()), "");
    SetFileAttributesW(cars.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}
