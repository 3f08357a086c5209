#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/FileTransaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include "DemoGame.h"
#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <utility>
#include <vector>

using namespace paddock;
using namespace paddock::testing;

namespace {

using TRanges = std::vector<std::pair<std::size_t, std::size_t>>; // inclusive

// The offsets (hex) where two files differ outside the allowed ranges; empty
// when they differ nowhere else.
std::string changesOutside(const std::string& before, const std::string& after, const TRanges& allowed = {})
{
    if (before.size() != after.size())
        return "size " + std::to_string(before.size()) + " -> " + std::to_string(after.size());
    std::string found;
    int listed = 0;
    for (std::size_t i = 0; i < before.size() && listed < 8; ++i) {
        if (before[i] == after[i])
            continue;
        bool inside = false;
        for (const auto& [first, last] : allowed)
            inside = inside || (i >= first && i <= last);
        if (inside)
            continue;
        char text[24];
        std::snprintf(text, sizeof text, "0x%zX ", i);
        found += text;
        ++listed;
    }
    return found;
}

TItemSet itemSet(std::initializer_list<int> items)
{
    TItemSet set{};
    for (int item : items)
        set[static_cast<std::size_t>(item)] = 1;
    return set;
}

TItemSet allTeams()
{
    TItemSet set{};
    for (int i = 0; i < TeamCount; ++i)
        set[static_cast<std::size_t>(ItemTeamFirst + i)] = 1;
    return set;
}

void expectDemoTeam(const TTeamRecord& team, const demo::DemoTeam& expected)
{
    // The files hold names cut at their fields' width.
    EXPECT_EQ(FieldText(team.TeamName), std::string(expected.Name).substr(0, 13));
    EXPECT_EQ(FieldText(team.EngineName), std::string(expected.Engine).substr(0, 13));
    EXPECT_EQ(team.PowerQuali, expected.PowerQuali);
    EXPECT_EQ(team.PowerRace, expected.PowerRace);
    EXPECT_EQ(team.FailureProb, expected.FailureProb);
    for (std::size_t d = 0; d < 2; ++d) {
        const TDriverRecord& driver = team.Drivers[d];
        EXPECT_EQ(FieldText(driver.DriverName), std::string(expected.Drivers[d].Name).substr(0, 24));
        EXPECT_EQ(driver.CarNumber, expected.Drivers[d].CarNumber);
        EXPECT_EQ(driver.AbilityQualy, expected.Drivers[d].AbilityQualy);
        EXPECT_EQ(driver.AbilityRace, expected.Drivers[d].AbilityRace);
        EXPECT_EQ(driver.RangeQuali, expected.Drivers[d].RangeQuali);
        EXPECT_EQ(driver.RangeRace, expected.Drivers[d].RangeRace);
    }
}

class TeamsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedSettings_ = Settings;
        savedTeams_ = Teams;
        savedPoints_ = PointsTable;
        savedLoaded_ = LoadedItems;
        demo::WriteDemoGame(dir.path());
        Settings = {};
        Settings.GamePath = dir.path();
        Settings.GameExePath = exePath();
        Settings.SaveFilePath = savePath();
        ClearItems(LoadedItems);
        InitTeams();
        PointsTable.fill(0);
    }
    void TearDown() override
    {
        Settings = savedSettings_;
        Teams = savedTeams_;
        PointsTable = savedPoints_;
        LoadedItems = savedLoaded_;
    }

    std::string exePath() const { return dir / "GP4.EXE"; }
    std::string savePath() const { return dir / "F1GSTATE.SAV"; }
    TItemDone recorder()
    {
        return [this](const std::string& item) { done.push_back(item); };
    }

    TempDir dir;
    std::vector<std::string> done;

private:
    TSettings savedSettings_;
    TTeams savedTeams_;
    TPointsTable savedPoints_;
    TItemSet savedLoaded_;
};

} // namespace

TEST_F(TeamsTest, InitGivesNumberedPlaceholders)
{
    const TTeamRecord& last = Teams[10];
    EXPECT_EQ(FieldText(last.TeamName), "Team 11");
    EXPECT_EQ(FieldText(last.EngineName), "Engine 11");
    EXPECT_EQ(last.PowerQuali, 33500);
    EXPECT_EQ(last.PowerRace, 33500);
    EXPECT_EQ(last.FailureProb, 2000);
    EXPECT_EQ(FieldText(last.Drivers[0].DriverName), "Driver 21");
    EXPECT_EQ(FieldText(last.Drivers[1].DriverName), "Driver 22");
    EXPECT_EQ(last.Drivers[0].CarNumber, 21);
    EXPECT_EQ(last.Drivers[1].CarNumber, 22);
    for (const TDriverRecord& d : last.Drivers) {
        EXPECT_EQ(d.AbilityQualy, 16000);
        EXPECT_EQ(d.AbilityRace, 16000);
        EXPECT_EQ(d.RangeQuali, 300);
        EXPECT_EQ(d.RangeRace, 300);
    }
    EXPECT_EQ(FieldText(Teams[0].Drivers[0].DriverName), "Driver 1");
    EXPECT_EQ(Teams[0].Drivers[1].CarNumber, 2);
}

TEST_F(TeamsTest, ReadingFillsOnlyTheSelectedTeams)
{
    const TTeams placeholders = Teams;
    // The points and car texture items are not the team reader's business.
    ReadTeams(itemSet({ItemTeamFirst + 2, ItemPoints, ItemCarTexturesFirst + 4}), recorder());
    expectDemoTeam(Teams[2], demo::DemoTeams()[2]);
    for (std::size_t i = 0; i < Teams.size(); ++i) {
        if (i != 2) {
            EXPECT_EQ(Teams[i], placeholders[i]) << "team " << i + 1;
        }
    }
    EXPECT_EQ(LoadedItems, itemSet({ItemTeamFirst + 2}));
    EXPECT_EQ(done, std::vector<std::string>{"Team 3"});

    done.clear();
    ReadTeams(allTeams(), recorder());
    for (std::size_t i = 0; i < Teams.size(); ++i) {
        SCOPED_TRACE("team " + std::to_string(i + 1));
        expectDemoTeam(Teams[i], demo::DemoTeams()[i]);
    }
    EXPECT_EQ(LoadedItems, allTeams());
    ASSERT_EQ(done.size(), 11u);
    EXPECT_EQ(done.front(), "Team 1");
    EXPECT_EQ(done.back(), "Team 11");
}

TEST_F(TeamsTest, WritingOneTeamChangesOnlyItsBytesAndTheSeal)
{
    ReadTeams(allTeams());
    const std::string exeBefore = ReadBytes(exePath());
    const std::string saveBefore = ReadBytes(savePath());

    const std::string fullDriverName = "\xC9tienne Beaumont-Lacroix"; // 24 bytes, one of them Windows-1252
    ASSERT_EQ(fullDriverName.size(), 24u);
    TTeamRecord& t = Teams[2];
    SetFieldText(t.TeamName, "Thirteen Char");
    SetFieldText(t.EngineName, "Vroom");
    t.PowerQuali = 0x1234;
    t.PowerRace = 0xA1B2;
    t.FailureProb = 0x0F0E;
    t.Drivers[0] = {{}, 0x4101, 0x4202, 0x0111, 0x0122, 99};
    t.Drivers[1] = {{}, 0x4303, 0x4404, 0x0133, 0x0144, 7};
    SetFieldText(t.Drivers[0].DriverName, fullDriverName);
    SetFieldText(t.Drivers[1].DriverName, "Al");
    const TTeamRecord written = t;
    // Changed but not selected: stays as it is in the files.
    SetFieldText(Teams[3].TeamName, "Not me");
    Teams[3].PowerRace = 1;

    WriteTeams(itemSet({ItemTeamFirst + 2, ItemPoints}), recorder());
    EXPECT_EQ(done, std::vector<std::string>{"Team 3"});

    const std::string save = ReadBytes(savePath());
    const std::string exe = ReadBytes(exePath());
    EXPECT_EQ(changesOutside(saveBefore, save,
                             {{0x17A3A, 0x17A3B}, {0x17B74, 0x17BA3}, {0x17D3E, 0x17D4A}, {0x17DCD, 0x17DD9},
                              {0x17E48, 0x17E4B}}),
              "");
    EXPECT_EQ(changesOutside(exeBefore, exe,
                             {{0x229720, 0x229721}, {0x229736, 0x229737}, {0x229758, 0x22975F},
                              {0x2297B0, 0x2297B7}, {0x2297FC, 0x2297FD}}),
              "");

    EXPECT_EQ(ByteAt(save, 0x17A3A), 0x63u);
    EXPECT_EQ(ByteAt(save, 0x17A3B), 7u);
    EXPECT_EQ(save.substr(0x17B74, 24), fullDriverName);
    EXPECT_EQ(save.substr(0x17B8C, 24), std::string("Al") + std::string(22, '\0'));
    EXPECT_EQ(save.substr(0x17D3E, 13), "Thirteen Char");
    EXPECT_EQ(save.substr(0x17DCD, 13), std::string("Vroom") + std::string(8, '\0'));
    EXPECT_EQ(Le32(save, 0x17E48), SaveFileSeal(save));
    EXPECT_NE(Le32(save, 0x17E48), Le32(saveBefore, 0x17E48));

    EXPECT_EQ(Le16(exe, 0x229720), 0x1234u);
    EXPECT_EQ(Le16(exe, 0x229736), 0xA1B2u);
    EXPECT_EQ(Le16(exe, 0x229758), 0x4101u);
    EXPECT_EQ(Le16(exe, 0x22975A), 0x4202u);
    EXPECT_EQ(Le16(exe, 0x22975C), 0x4303u);
    EXPECT_EQ(Le16(exe, 0x22975E), 0x4404u);
    EXPECT_EQ(Le16(exe, 0x2297B0), 0x0111u);
    EXPECT_EQ(Le16(exe, 0x2297B2), 0x0122u);
    EXPECT_EQ(Le16(exe, 0x2297B4), 0x0133u);
    EXPECT_EQ(Le16(exe, 0x2297B6), 0x0144u);
    EXPECT_EQ(Le16(exe, 0x2297FC), 0x0F0Eu);

    // Read back: the written team as it was, its neighbour as the files hold it.
    InitTeams();
    ReadTeams(allTeams());
    EXPECT_EQ(Teams[2], written);
    expectDemoTeam(Teams[3], demo::DemoTeams()[3]);
}

TEST_F(TeamsTest, EveryTeamWrittenReadsBackAndAReadTeamWritesBackTheSameBytes)
{
    // A name field with bytes after its text's end: they are the file's and
    // come back as they were.
    std::string withTail = ReadBytes(savePath());
    withTail.replace(0x17D24 + 5, 8, std::string("\0tail\xE9!x", 8));
    Reseal(withTail);
    WriteBytes(savePath(), withTail);
    const std::string exeBefore = ReadBytes(exePath());
    const std::string saveBefore = ReadBytes(savePath());
    ReadTeams(allTeams());
    WriteTeams(allTeams());
    EXPECT_EQ(changesOutside(exeBefore, ReadBytes(exePath())), "");
    EXPECT_EQ(changesOutside(saveBefore, ReadBytes(savePath())), "");

    for (std::size_t i = 0; i < Teams.size(); ++i) {
        TTeamRecord& t = Teams[i];
        const auto k = static_cast<std::uint16_t>(i);
        SetFieldText(t.TeamName, std::string(1 + i, static_cast<char>('A' + i)) + "!"); // 2 to 12 bytes
        SetFieldText(t.EngineName, std::string(13, static_cast<char>('a' + i)));
        t.PowerQuali = static_cast<std::uint16_t>(0x8000 + k);
        t.PowerRace = static_cast<std::uint16_t>(0x0180 + k);
        t.FailureProb = static_cast<std::uint16_t>(0xFF00 | k);
        for (std::size_t d = 0; d < 2; ++d) {
            TDriverRecord& r = t.Drivers[d];
            SetFieldText(r.DriverName, std::string(d == 0 ? 24 : 3 + i, static_cast<char>(0xC0 + 2 * i + d)));
            r.CarNumber = static_cast<std::uint8_t>(200 + 2 * i + d);
            r.AbilityQualy = static_cast<std::uint16_t>(0x1000 * (d + 1) + k);
            r.AbilityRace = static_cast<std::uint16_t>(0x2000 * (d + 1) + k);
            r.RangeQuali = static_cast<std::uint16_t>(0x0300 + 0x10 * d + k);
            r.RangeRace = static_cast<std::uint16_t>(0x0400 + 0x10 * d + k);
        }
    }
    const TTeams written = Teams;
    WriteTeams(allTeams());
    InitTeams();
    ReadTeams(allTeams());
    for (std::size_t i = 0; i < Teams.size(); ++i)
        EXPECT_EQ(Teams[i], written[i]) << "team " << i + 1;
    EXPECT_EQ(Le32(ReadBytes(savePath()), 0x17E48), SaveFileSeal(ReadBytes(savePath())));
}

TEST_F(TeamsTest, WithoutASelectedTeamReadingChangesNothingAndWritingOpensNothing)
{
    // The seal is spoiled on purpose: a write that renewed it would show.
    std::string save = ReadBytes(savePath());
    save[0x17E48] = static_cast<char>(save[0x17E48] ^ 0x5A);
    WriteBytes(savePath(), save);
    const std::string exe = ReadBytes(exePath());
    const TTeams placeholders = Teams;
    const TItemSet others = itemSet({ItemPoints, ItemCarTexturesFirst, ItemTeamFirst - 1});

    ReadTeams(others, recorder());
    WriteTeams(others, recorder());
    EXPECT_EQ(Teams, placeholders);
    EXPECT_EQ(LoadedItems, TItemSet{});
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(changesOutside(save, ReadBytes(savePath())), "");
    EXPECT_EQ(changesOutside(exe, ReadBytes(exePath())), "");

    // Reading opens both files all the same.
    std::filesystem::remove(exePath());
    try {
        ReadTeams(others);
        ADD_FAILURE() << "read without an executable";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.path(), exePath());
    }
    WriteBytes(exePath(), exe);
    std::filesystem::remove(savePath());
    try {
        ReadTeams(others);
        ADD_FAILURE() << "read without a save file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.path(), savePath());
    }

    std::filesystem::remove(exePath());
    EXPECT_NO_THROW(WriteTeams(others));
    EXPECT_NO_THROW(WriteTeams(TItemSet{}));
    EXPECT_FALSE(std::filesystem::exists(exePath()));
    EXPECT_FALSE(std::filesystem::exists(savePath()));
}

TEST_F(TeamsTest, AShortFileIsRefusedBeforeEitherFileIsWritten)
{
    const std::string exe = ReadBytes(exePath());
    const std::string save = ReadBytes(savePath());
    struct Case {
        const char* what;
        std::size_t exeLength, saveLength;
        bool exeIsShort;
    };
    // The placeholders differ from the demo teams in every field, so that
    // any write shows.
    for (const Case& c : {Case{"short save file", exe.size(), 1000, false},
                          Case{"save file without its seal", exe.size(), 0x17E48, false},
                          Case{"executable ending in the figures", 0x229800, save.size(), true}}) {
        SCOPED_TRACE(c.what);
        const std::string exeBefore = exe.substr(0, c.exeLength);
        const std::string saveBefore = save.substr(0, c.saveLength);
        WriteBytes(exePath(), exeBefore);
        WriteBytes(savePath(), saveBefore);
        try {
            WriteTeams(allTeams(), recorder());
            ADD_FAILURE() << "no error";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.path(), c.exeIsShort ? exePath() : savePath());
            EXPECT_NE(std::string(e.what()).find(std::to_string(c.exeIsShort ? c.exeLength : c.saveLength) +
                                                 " bytes long"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(changesOutside(exeBefore, ReadBytes(exePath())), "");
        EXPECT_EQ(changesOutside(saveBefore, ReadBytes(savePath())), "");
        EXPECT_TRUE(done.empty());
    }
}

TEST_F(TeamsTest, AShortFileLeavesTheRecordsAsTheyWere)
{
    const std::string exe = ReadBytes(exePath());
    const std::string save = ReadBytes(savePath());
    LoadedItems[ItemPoints] = 1;
    const TItemSet loaded = LoadedItems;
    const TTeams placeholders = Teams;
    // The save file is read first: an executable that ends in its last block
    // fails after every name has been read.
    for (const auto& [exeLength, saveLength] :
         {std::pair<std::size_t, std::size_t>{exe.size(), 0x17C00}, {0x229800, save.size()}}) {
        SCOPED_TRACE(std::to_string(exeLength) + " / " + std::to_string(saveLength));
        WriteBytes(exePath(), exe.substr(0, exeLength));
        WriteBytes(savePath(), save.substr(0, saveLength));
        EXPECT_THROW(ReadTeams(allTeams(), recorder()), EReadError);
        EXPECT_EQ(Teams, placeholders);
        EXPECT_EQ(LoadedItems, loaded);
        EXPECT_TRUE(done.empty());
    }
}

TEST_F(TeamsTest, PointsAreReadAndWrittenInPlace)
{
    const std::string exe = ReadBytes(exePath());
    // Without the points item neither opens the file.
    std::filesystem::remove(exePath());
    EXPECT_NO_THROW(ReadPoints(allTeams(), recorder()));
    EXPECT_NO_THROW(WritePoints(allTeams(), recorder()));
    EXPECT_FALSE(std::filesystem::exists(exePath()));
    EXPECT_TRUE(done.empty());
    WriteBytes(exePath(), exe);

    ReadPoints(itemSet({ItemPoints}), recorder());
    EXPECT_EQ(PointsTable, demo::DemoPoints());
    EXPECT_EQ(LoadedItems, itemSet({ItemPoints}));
    EXPECT_EQ(done, std::vector<std::string>{"Points table"});

    PointsTable[0] = 25;
    WritePoints(itemSet({ItemPoints}), recorder());
    const std::string after = ReadBytes(exePath());
    EXPECT_EQ(ByteAt(after, 0x3BE1D2), 0x19u);
    EXPECT_EQ(changesOutside(exe, after, {{0x3BE1D2, 0x3BE1D2}}), "");
    EXPECT_EQ(done.size(), 2u);
}

TEST_F(TeamsTest, AShortExecutableLeavesThePointsAndTheFileAsTheyWere)
{
    const std::string shortExe = ReadBytes(exePath()).substr(0, 0x3BE1E0); // ends inside the table
    WriteBytes(exePath(), shortExe);
    PointsTable.fill(7); // unlike the bytes still in the file
    const TPointsTable before = PointsTable;

    EXPECT_THROW(ReadPoints(itemSet({ItemPoints}), recorder()), EReadError);
    EXPECT_EQ(PointsTable, before);
    EXPECT_EQ(LoadedItems, TItemSet{});

    PointsTable[0] = 25;
    try {
        WritePoints(itemSet({ItemPoints}), recorder());
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.path(), exePath());
    }
    EXPECT_EQ(changesOutside(shortExe, ReadBytes(exePath())), "");
    EXPECT_TRUE(done.empty());
}

TEST_F(TeamsTest, AFailedWriteLeavesBothGameFilesWholeAndLinksAndPermissionsStay)
{
    namespace fs = std::filesystem;
    const std::string exe = ReadBytes(exePath());
    const std::string save = ReadBytes(savePath());
    // The disk fills up while the new executable or save file is written:
    // neither file changes, not even the one written first, and nothing is
    // left beside them.
    for (const char* failing : {"GP4.EXE", "F1GSTATE.SAV"}) {
        SCOPED_TRACE(failing);
        SetFileFault([failing](TFileOp op, const std::string& path) {
            if (op == TFileOp::Write && ExtractFileName(path) == failing)
                throw EWriteError(path, "No space left on device");
        });
        EXPECT_THROW(WriteTeams(allTeams(), recorder()), EWriteError);
        PointsTable[0] = 25;
        if (std::string(failing) == "GP4.EXE") {
            EXPECT_THROW(WritePoints(itemSet({ItemPoints}), recorder()), EWriteError);
        }
        SetFileFault({});
        EXPECT_TRUE(ReadBytes(exePath()) == exe);
        EXPECT_TRUE(ReadBytes(savePath()) == save);
        EXPECT_TRUE(done.empty());
        EXPECT_EQ(OursLeftIn(dir.path()), "");
    }

    // A game file that is a link to a file elsewhere: the file behind it gets
    // the records, with its permissions, and the link stays a link.
    if (SkippedOnWindows("a game file that is a link: symbolic links need a privilege that Windows gives administrators only"))
        return;
    const fs::path real = fs::path(dir.path()) / "elsewhere";
    fs::create_directory(real);
    fs::rename(exePath(), real / "GP4.EXE");
    fs::create_symlink(real / "GP4.EXE", exePath());
    fs::permissions(real / "GP4.EXE", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteTeams(allTeams(), recorder());
    EXPECT_TRUE(fs::is_symlink(exePath()));
    EXPECT_EQ(fs::status(real / "GP4.EXE").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ReadTeams(allTeams());
    EXPECT_EQ(FieldText(Teams[0].TeamName), "Team 1");
    EXPECT_NE(ReadBytes(FromPath(real / "GP4.EXE")), exe);
    EXPECT_EQ(ReadBytes(savePath()).size(), save.size());
}

TEST_F(TeamsTest, GameFilesKeepTheirBackupOwnerAndNamesAndChangeInPlaceWhereNoNewFileMayBeMade)
{
    namespace fs = std::filesystem;
    ScopedScript script;
    ForgetRunBackups();
    const std::string exe = ReadBytes(exePath());
    const std::string save = ReadBytes(savePath());
    // A name goes into the save file, a figure into the executable.
    const auto change = [](const char* name, std::uint16_t power) {
        SetFieldText(Teams[0].TeamName, name);
        Teams[0].PowerQuali = power;
    };

    // The first change of a run keeps the files as they were, flushed to
    // disk before each takes its name, the folder after.
    std::vector<std::pair<TFileOp, std::string>> ops;
    SetFileFault([&ops](TFileOp op, const std::string& path) { ops.emplace_back(op, path); });
    change("First", 30001);
    WriteTeams(allTeams(), recorder());
    SetFileFault({});
    EXPECT_TRUE(ReadBytes(exePath() + ".BAK") == exe);
    EXPECT_TRUE(ReadBytes(savePath() + ".BAK") == save);
    for (const char* name : {"GP4.EXE", "F1GSTATE.SAV", "GP4.EXE.BAK", "F1GSTATE.SAV.BAK"}) {
        SCOPED_TRACE(name);
        const auto named = [&](const std::pair<TFileOp, std::string>& o, TFileOp op) {
            return o.first == op && ExtractFileName(o.second) == name;
        };
        const auto rename = std::find_if(ops.begin(), ops.end(), [&](const auto& o) { return named(o, TFileOp::Rename); });
        ASSERT_NE(rename, ops.end());
        EXPECT_TRUE(std::any_of(ops.begin(), rename, [&](const auto& o) { return named(o, TFileOp::Sync); }));
        EXPECT_TRUE(std::any_of(rename, ops.end(), [&](const auto& o) {
            return o.first == TFileOp::Sync && RemoveTrailingBackslash(o.second) == RemoveTrailingBackslash(dir.path());
        }));
    }
    // A later change of the same run keeps them.
    change("Second", 30002);
    WriteTeams(allTeams(), recorder());
    EXPECT_TRUE(ReadBytes(exePath() + ".BAK") == exe);
    EXPECT_TRUE(ReadBytes(savePath() + ".BAK") == save);

    // A second name for the executable stays a name of the changed file.
    fs::create_hard_link(exePath(), dir / "GP4-SECOND.EXE");
    change("Third", 30003);
    WriteTeams(allTeams(), recorder());
    EXPECT_TRUE(fs::equivalent(exePath(), dir / "GP4-SECOND.EXE"));
    EXPECT_EQ(ReadBytes(dir / "GP4-SECOND.EXE"), ReadBytes(exePath()));
    fs::remove(dir / "GP4-SECOND.EXE");

    // Files of another owner keep their owner and group (only root may give them).
#ifdef _WIN32
    SkippedOnWindows("the owner and group of a replaced game file: Windows files keep their attributes instead");
#else
    if (geteuid() == 0) {
        ASSERT_EQ(chown(exePath().c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(savePath().c_str(), 65534, 65534), 0);
        change("Fourth", 30004);
        WriteTeams(allTeams(), recorder());
        for (const std::string& path : {exePath(), savePath()}) {
            struct stat st {};
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u) << path;
            EXPECT_EQ(st.st_gid, 65534u) << path;
        }
    } else {
        std::cout << "Not run as root: the kept owner is not checked\n";
    }
#endif

    // A folder that takes no new files: the changed bytes are written in
    // place, without a backup, and said so; a failure part-way puts the old
    // bytes back.
    ForgetRunBackups();
    fs::remove(exePath() + ".BAK");
    fs::remove(savePath() + ".BAK");
    // The write into the save file fails (once), after the executable was
    // written: the executable is put back.
    const auto noNewFiles = [](bool failWrite) {
        return [failWrite, writes = 0](TFileOp op, const std::string& path) mutable {
            if (op == TFileOp::Create && path.find(".paddock-") != std::string::npos)
                throw EFileError("Cannot create file", path, "Permission denied", EACCES);
            if (failWrite && op == TFileOp::Write && ExtractFileName(path) == "F1GSTATE.SAV" && ++writes == 1)
                throw EWriteError(path, "Input/output error");
        };
    };
    const std::string before = ReadBytes(exePath());
    const std::string saveBefore = ReadBytes(savePath());
    // The file itself, whatever its name.
    const auto inode = [](const std::string& path) {
#ifdef _WIN32
        const HANDLE h = CreateFileW(ToPath(path).wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
#else
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_ino;
#endif
    };
    const auto exeInode = inode(exePath());
    SetFileFault(noNewFiles(true));
    change("Fifth", 30005);
    script->expectMessage("No backup of " + exePath() + " could be kept: Permission denied")
        .expectMessage("No backup of " + savePath() + " could be kept: Permission denied");
    EXPECT_THROW(WriteTeams(allTeams(), recorder()), EWriteError);
    EXPECT_TRUE(ReadBytes(exePath()) == before);
    EXPECT_TRUE(ReadBytes(savePath()) == saveBefore);
    SetFileFault(noNewFiles(false));
    script->expectMessage("No backup of " + exePath() + " could be kept: Permission denied")
        .expectMessage("No backup of " + savePath() + " could be kept: Permission denied");
    WriteTeams(allTeams(), recorder());
    SetFileFault({});
    EXPECT_EQ(inode(exePath()), exeInode);
    ReadTeams(allTeams());
    EXPECT_EQ(FieldText(Teams[0].TeamName), "Fifth");
    EXPECT_FALSE(FileExists(exePath() + ".BAK"));
    EXPECT_EQ(OursLeftIn(dir.path()), "");
    EXPECT_EQ(script->verify(), "");
}
