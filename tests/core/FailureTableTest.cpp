// Every command that writes files, failed at each of its file operations in
// turn (the k-th open, read, write, flush, close, rename, link, removal,
// change of attributes or new folder, for every k): after each failure every
// file the user had is as it was or wholly new, nothing of ours is left
// beside it, and an export has changed all of the game's files or none.
#include "app/ExportImport.h"
#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/FileTransaction.h"
#include "app/Interaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "diag/MAPModule.h"
#include "formats/GP4GP4.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "game/CarTextureNames.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include "DemoCars.h"
#include "DemoGame.h"
#include "DemoMeshes.h"
#include "DemoTextures.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

using namespace paddock;
using namespace paddock::testing;

namespace {

namespace fs = std::filesystem;

// The files below a folder by their paths below it: their bytes, or where a
// link leads.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& root)
{
    Snapshot files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string below = it->path().string().substr(root.size());
        if (it->is_symlink())
            files[below] = "link to " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            files[below] = ReadBytes(it->path().string());
    }
    return files;
}

void restore(const std::string& root, const Snapshot& files)
{
    DeleteTree(root);
    ForceDirectories(root);
    for (const auto& [below, bytes] : files)
        WriteBytes(root + below, bytes);
}

struct Job {
    std::string name;
    // Writes the files the user has (once).
    std::function<void(const std::string& root)> setUp;
    // What the command needs in memory, before each run; not counted.
    std::function<void(const std::string& root)> prepare;
    // The command.
    std::function<void(const std::string& root)> run;
    // The command changes all of its files or none.
    bool together = false;
    // Whether a file's bytes are those the command writes, where they are
    // not the same at every run; byte for byte when not given.
    std::function<bool(const std::string& is, const std::string& becomes)> same{};
};

std::string fileText(const Snapshot& files, const std::string& name)
{
    const auto it = files.find(name);
    return it == files.end() ? std::string("(none)") : it->second;
}

class FailureTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = Settings;
        SetInteraction(&unattended_);
    }
    void TearDown() override
    {
        SetFileFault({});
        SetInteraction(nullptr);
        ClearCarTextures();
        ClearItems(LoadedItems);
        ClearItems(SelectedItems);
        Settings = saved_;
    }

    // Runs the job once to count its operations and see what it writes, then
    // once for each operation with that one failing.
    int failEveryStep(const Job& job)
    {
        SCOPED_TRACE(job.name);
        const std::string root = dir / (job.name + "/");
        ForceDirectories(root);
        job.setUp(root);
        const Snapshot before = snapshot(root);

        std::atomic<int> count{0};
        std::atomic<int> failAt{0};
        const auto arm = [&] {
            count = 0;
            SetFileFault([&](TFileOp op, const std::string& path) {
                if (++count == failAt)
                    throw EFileError(std::string("Cannot ") + FileOpName(op), path, "Injected failure");
            });
        };

        job.prepare(root);
        failAt = 0;
        arm();
        job.run(root);
        SetFileFault({});
        const int steps = count;
        const Snapshot after = snapshot(root);
        EXPECT_NE(after, before) << "the command writes nothing";
        EXPECT_EQ(OursLeftIn(root), "");

        for (int k = 1; k <= steps; ++k) {
            restore(root, before);
            SetFileFault({});
            job.prepare(root);
            failAt = k;
            arm();
            try {
                job.run(root);
            } catch (const std::exception&) {
                // A failure is what is expected; what it left is checked below.
            }
            SetFileFault({});
            const Snapshot now = snapshot(root);
            std::set<std::string> names;
            for (const Snapshot* s : {&before, &after, &now})
                for (const auto& file : *s)
                    names.insert(file.first);
            bool allOld = true;
            bool allNew = true;
            for (const std::string& name : names) {
                const std::string was = fileText(before, name);
                const std::string becomes = fileText(after, name);
                const std::string is = fileText(now, name);
                const bool isNew = is == becomes || (job.same && is != was && job.same(is, becomes));
                EXPECT_TRUE(is == was || isNew) << "operation " << k << " of " << steps << ": " << name
                                                        << " is neither as it was nor wholly new";
                allOld = allOld && is == was;
                allNew = allNew && isNew;
            }
            if (job.together) {
                EXPECT_TRUE(allOld || allNew) << "operation " << k << " of " << steps
                                              << ": some files were changed and others not";
            }
            EXPECT_EQ(OursLeftIn(root), "") << "operation " << k;
            EXPECT_EQ(OursLeftIn(work_), "") << "operation " << k;
            if (::testing::Test::HasFailure())
                return steps;
        }
        return steps;
    }

    // The game: GP4.EXE, F1GSTATE.SAV and a cars.wad with the liveries of
    // team 3 and one other member.
    void setUpGame(const std::string& root)
    {
        demo::WriteDemoGame(root + "game/");
        std::vector<std::pair<std::string, std::string>> members;
        for (auto& member : demo::MakeDemoCarMembers())
            if (member.first.find(CarTexturePrefix(2)) != std::string::npos || members.empty())
                members.push_back(member);
        ASSERT_FALSE(members.empty());
        WriteBytes(root + "game/cars.wad", demo::BuildWAD(members));
    }

    void useGame(const std::string& root)
    {
        Settings.GamePath = root + "game/";
        Settings.GameExePath = Settings.GamePath + "GP4.EXE";
        Settings.SaveFilePath = Settings.GamePath + "F1GSTATE.SAV";
        work_ = dir / "work/";
        Settings.TempPath = work_;
        Settings.ExportPath = work_ + "Export/";
        DeleteTree(work_);
        ForceDirectories(Settings.ExportPath);
        ForgetRunBackups();
    }

    TempDir dir;
    std::string work_ = dir / "work/";
    UnattendedInteraction unattended_{true};
    TSettings saved_;
};

} // namespace

TEST_F(FailureTableTest, EveryWritingCommandFailedAtEveryStepLeavesEachFileWholeAndNothingOfOurs)
{
    std::unique_ptr<TTEXFile> tex;
    std::unique_ptr<TGP4File> mesh;
    const int team = 2;
    const std::vector<std::uint16_t> exported{static_cast<std::uint16_t>(ItemTeamFirst + team), ItemPoints,
                                              static_cast<std::uint16_t>(ItemCarTexturesFirst + team)};
    const auto smallArchive = [] {
        return demo::BuildWAD({{"a.bin", "first member"}, {"sub\\b.bin", "second member"},
                               {"sub\\deeper\\c.bin", std::string(3000, 'c')}, {"d.bin", ""}});
    };

    const std::vector<Job> jobs = {
        {"export of a team, the points and a team's liveries", [&](const std::string& root) { setUpGame(root); },
         [&](const std::string& root) {
             useGame(root);
             ClearItems(LoadedItems);
             if (!CarTextureTable[team][0]) {
                 SelectItems(exported);
                 ImportSelected();
                 TPicture edited = *CarTextureTable[team][0]->GetBitmap(0);
                 edited.Pixel(3, 3)[0] ^= 0xFF;
                 CarTextureTable[team][0]->SetBitmap(0, edited);
             }
             SelectItems({static_cast<std::uint16_t>(ItemTeamFirst + team), ItemPoints});
             ReadTeams(SelectedItems);
             ReadPoints(SelectedItems);
             LoadedItems[static_cast<std::size_t>(ItemCarTexturesFirst + team)] = 1;
             SetFieldText(Teams[team].TeamName, "Changed");
             PointsTable[0] = 30;
         },
         [&](const std::string&) {
             SelectItems(exported);
             ExportSelected();
         },
         true},
        {"restore from the backups",
         [&](const std::string& root) {
             setUpGame(root);
             std::string exe = ReadBytes(root + "game/GP4.EXE");
             exe[1000] ^= 1;
             WriteBytes(root + "game/GP4.EXE.BAK", exe);
             WriteBytes(root + "game/F1GSTATE.SAV.BAK", ReadBytes(root + "game/F1GSTATE.SAV").substr(10));
             WriteBytes(root + "game/cars.wad.BAK", smallArchive());
         },
         [&](const std::string& root) { useGame(root); }, [&](const std::string&) { RestoreGameBackups(); }, true},
        {"WAD create",
         [&](const std::string& root) {
             WriteBytes(root + "src/a.bin", "a");
             WriteBytes(root + "src/sub/b.bin", std::string(5000, 'b'));
             WriteBytes(root + "new.wad", "an earlier archive");
         },
         [](const std::string&) {},
         [](const std::string& root) {
             TWADFile wad;
             wad.CreateFromDirectory(root + "new.wad", root + "src", true);
         }},
        {"WAD rebuild",
         [&](const std::string& root) {
             WriteBytes(root + "a.wad", smallArchive());
             WriteBytes(root + "staged/sub/b.bin", "a new second member");
             WriteBytes(root + "staged/d.bin", "no longer empty");
         },
         [](const std::string&) {},
         [](const std::string& root) {
             TWADFile wad(root + "a.wad");
             wad.ReadDirectory();
             wad.Rebuild(root + "a.wad", root + "staged");
         }},
        {"WAD extract all",
         [&](const std::string& root) {
             WriteBytes(root + "a.wad", smallArchive());
             WriteBytes(root + "out/sub/b.bin", "an earlier extraction");
         },
         [](const std::string&) {},
         [](const std::string& root) {
             TWADFile wad(root + "a.wad");
             wad.ReadDirectory();
             wad.ExtractAll(root + "out");
         }},
        {"WAD extract one member",
         [&](const std::string& root) {
             WriteBytes(root + "a.wad", smallArchive());
             WriteBytes(root + "one.bin", "an earlier extraction");
         },
         [](const std::string&) {},
         [](const std::string& root) {
             TWADFile wad(root + "a.wad");
             wad.ReadDirectory();
             wad.ExtractMember(2, root + "one.bin", false);
         }},
        {"WAD repair",
         [&](const std::string& root) {
             // Offsets written without the gap bytes, as an earlier rule did.
             TWADFile wad(root + "a.wad");
             WriteBytes(root + "a.wad", smallArchive());
             wad.ReadDirectory();
             wad.RepairOffsets(-1);
         },
         [](const std::string&) {},
         [](const std::string& root) {
             TWADFile wad(root + "a.wad");
             wad.ReadDirectory();
             wad.RepairOffsets(1);
         }},
        {"TEX save",
         [&](const std::string& root) {
             WriteBytes(root + "a.TEX", demo::BuildTEX({{demo::MakeTestPicture(32, 32, 1, false), DXTFormat::DXT1, 1},
                                                        {demo::MakeTestPicture(16, 16, 2, true), DXTFormat::DXT5, 1}}));
         },
         [&](const std::string& root) {
             tex = std::make_unique<TTEXFile>(root + "a.TEX");
             TPicture edited = *tex->GetBitmap(1);
             edited.Pixel(1, 1)[2] ^= 0xFF;
             tex->SetBitmap(1, edited);
         },
         [&](const std::string& root) { tex->SaveToFile(root + "a.TEX"); }},
        {"3DS export",
         [&](const std::string& root) {
             WriteBytes(root + "car.GP4", demo::BuildGP4Mesh(demo::DemoCarMesh()));
             WriteBytes(root + "car.3ds", "an earlier export");
         },
         [&](const std::string& root) { mesh = std::make_unique<TGP4File>(root + "car.GP4"); },
         [&](const std::string& root) { mesh->Save3DS(root + "car.3ds"); }, false,
         // Each material's ambient colour is drawn anew: a whole file is as
         // long as the one written, and its main chunk counts all of it.
         [](const std::string& is, const std::string& becomes) {
             std::uint32_t length = 0;
             if (is.size() >= 6)
                 std::memcpy(&length, is.data() + 2, 4);
             return is.size() == becomes.size() && is.compare(0, 2, "\x4D\x4D") == 0 && length == is.size();
         }},
        {"DebugInfo.EIF",
         [&](const std::string& root) {
             WriteBytes(root + "PADDOCK.MAP", ReadBytes(std::string(PADDOCK_FUZZ_DIR) + "/corpus/linkmap/small.MAP"));
             WriteBytes(root + "DebugInfo.EIF", "an earlier build");
         },
         [](const std::string&) {},
         [](const std::string& root) { BuildDebugInfo(root + "PADDOCK.MAP", root + "DebugInfo.EIF", {}); }},
    };

    int cases = 0;
    for (const Job& job : jobs) {
        const int steps = failEveryStep(job);
        std::cout << job.name << ": " << steps << " operations, each failed in turn\n";
        cases += steps;
        if (HasFailure())
            break;
    }
    std::cout << "Failure table: " << cases << " cases\n";
    RecordProperty("cases", cases);
}
