#include "app/FileError.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/CodePage.h"
#include "formats/GP4WAD.h"
#include "game/CarTextureNames.h"

#include "DemoCars.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

using namespace paddock;
using namespace paddock::testing;
using Members = std::vector<std::pair<std::string, std::string>>;

namespace {

const std::string ErrOutside = "GP4WAD Error 001: Invalid member name. It leads outside the folder: ";
const std::string ErrNoFile = "GP4WAD Error 002: Invalid member name. It names no file: ";
const std::string ErrNotWindows =
    "GP4WAD Error 006: Invalid member name. Windows cannot hold it as a file name (a device name such as CON or NUL, "
    "one of <>:\"|?* or a control character, or a dot or space at the end of a level): ";
const std::string ErrOutsideFile = "GP4WAD Error 003: Invalid member. It lies outside the archive file: ";
const std::string ErrLinkOnTheWay = "GP4WAD Error 005: A folder on the member's way is a link, which is not followed: ";

std::string readMember(const TWADFile& wad, int index)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(wad.ReadMember(index, bytes));
    return std::string(bytes.begin(), bytes.end());
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t v)
{
    std::memcpy(bytes.data() + at, &v, 4);
}

// Every file below a folder, relative to it, with its bytes.
std::set<std::pair<std::string, std::string>> treeOf(const std::string& folder)
{
    std::set<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(ToPath(folder)))
        if (e.is_regular_file())
            files.emplace(ReplaceAll(FromPath(e.path()).substr(folder.size()), "\\", "/"), ReadBytes(FromPath(e.path())));
    return files;
}

const Members SmallMembers = {{"a.bin", "0123456789"}, {"cars\\empty.bin", ""}, {"cars\\b.bin", "abcde"}};

class WADFileTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(script->verify(), ""); }

    // Writes an archive with the independent writer and reads its directory.
    TWADFile archive(const std::string& name, const Members& members)
    {
        WriteBytes(dir / name, demo::BuildWAD(members));
        TWADFile wad(dir / name);
        EXPECT_TRUE(wad.ReadDirectory());
        return wad;
    }

    ScopedScript script;
    TempDir dir;
};

} // namespace

TEST_F(WADFileTest, EmptyFolderGivesTheBareCountAndNothingToRepair)
{
    ForceDirectories(dir / "empty");
    TWADFile made;
    made.CreateFromDirectory(dir / "e.wad", dir / "empty", true);
    EXPECT_EQ(ReadBytes(dir / "e.wad"), std::string(4, '\0'));

    TWADFile wad(dir / "e.wad");
    ASSERT_TRUE(wad.ReadDirectory());
    EXPECT_EQ(wad.Count, 0);
    EXPECT_TRUE(wad.ListEntries().empty());
    EXPECT_EQ(wad.HealthMeasure(), std::nullopt);
    wad.RepairOffsets();
    EXPECT_EQ(ReadBytes(dir / "e.wad"), std::string(4, '\0'));
}

TEST_F(WADFileTest, DirectoryAndExtractionFollowTheGapRule)
{
    TWADFile wad = archive("s.wad", SmallMembers);
    const std::vector<std::vector<std::string>> expected = {{"1", "a.bin", "0000019C", "0000000A"},
                                                        {"2", "cars\\empty.bin", "000001A7", "00000000"},
                                                        {"3", "cars\\b.bin", "000001A8", "00000005"}};
    const std::vector<TWADListRow> rows = wad.ListEntries();
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ((std::vector<std::string>{rows[i].Index, rows[i].Name, rows[i].Offset, rows[i].Size}), expected[i]);
    EXPECT_EQ(ReadBytes(dir / "s.wad").size(), 430u);
    EXPECT_EQ(wad.HealthMeasure(), 1);

    // The default folder is the archive's path plus ".paddock"; levels of the
    // names become folders and an empty member an empty file.
    EXPECT_EQ(wad.DefaultExtractFolder(), dir / "s.wad.paddock");
    wad.ExtractAll("");
    EXPECT_EQ(treeOf(dir / "s.wad.paddock/"),
              (std::set<std::pair<std::string, std::string>>{
                  {"a.bin", "0123456789"}, {"cars/empty.bin", ""}, {"cars/b.bin", "abcde"}}));

    // A full path is used as it is, replacing what was there.
    WriteBytes(dir / "deep/chosen.txt", "older and longer");
    EXPECT_TRUE(wad.ExtractMember(2, dir / "deep/chosen.txt", false));
    EXPECT_EQ(ReadBytes(dir / "deep/chosen.txt"), "abcde");
    EXPECT_TRUE(wad.ExtractMember(2, dir / "new/level", false));
    EXPECT_EQ(ReadBytes(dir / "new/level"), "abcde");
    EXPECT_FALSE(wad.ExtractMember(3, dir / "x", false));

    // Without replacements a rebuild reproduces the archive.
    wad.Rebuild(dir / "copy.wad", "");
    EXPECT_EQ(ReadBytes(dir / "copy.wad"), ReadBytes(dir / "s.wad"));
    wad.Rebuild(dir / "copy.wad", dir / "no-such-folder");
    EXPECT_EQ(ReadBytes(dir / "copy.wad"), ReadBytes(dir / "s.wad"));
}

TEST_F(WADFileTest, CreateNamesMembersWithBackslashesInTheListingsOrder)
{
    const std::string longName(130, 'n');
    WriteBytes(dir / "src/a.bin", "0123456789");
    WriteBytes(dir / "src/cars/empty.bin", "");
    WriteBytes(dir / "src/cars/sub/b.bin", "abcde");
    WriteBytes(dir / ("src/" + longName), "long");

    for (bool recursive : {true, false}) {
        Members expected;
        for (const std::string& file : ListFiles(dir / "src", "*.*", recursive, false))
            expected.emplace_back(ReplaceAll(file.substr((dir / "src/").size()), "/", "\\"), ReadBytes(file));
        ASSERT_EQ(expected.size(), recursive ? 4u : 2u);

        TWADFile made;
        made.CreateFromDirectory(dir / "made.wad", dir / "src", recursive);
        // The independent writer cuts names to 128 bytes the same way.
        EXPECT_EQ(ReadBytes(dir / "made.wad"), demo::BuildWAD(expected));
        ASSERT_EQ(made.Count, static_cast<int>(expected.size()));
        EXPECT_EQ(made.IndexOf("CARS\\SUB\\B.BIN") >= 0, recursive);

        TWADFile wad(dir / "made.wad");
        ASSERT_TRUE(wad.ReadDirectory());
        const int at = wad.IndexOf(longName.substr(0, 128));
        ASSERT_GE(at, 0);
        EXPECT_EQ(std::string(wad.Entries[static_cast<std::size_t>(at)].Name, 128), longName.substr(0, 128));
        EXPECT_EQ(readMember(wad, at), "long");
    }
}

TEST_F(WADFileTest, IndexOfFoldsOnlyAsciiLettersAndBadIndexesGiveNothing)
{
    TWADFile wad = archive("i.wad", {{"cars\\ferrari_1.TEX", "x"}, {"cars\\\xE9t\xE9.tex", "y"}, {"CARS\\FERRARI_1.TEX", "z"}});
    EXPECT_EQ(wad.IndexOf("CARS\\FERRARI_1.TEX"), 0);
    EXPECT_EQ(wad.IndexOf("Cars\\Ferrari_1.tex"), 0);
    EXPECT_EQ(wad.IndexOf("CARS\\\xE9T\xE9.TEX"), 1);
    EXPECT_EQ(wad.IndexOf("CARS\\\xC9T\xC9.TEX"), -1);
    EXPECT_EQ(wad.IndexOf("cars\\ferrari_1"), -1);

    std::vector<std::uint8_t> bytes{1, 2};
    EXPECT_FALSE(wad.ReadMember(-1, bytes));
    EXPECT_FALSE(wad.ReadMember(3, bytes));
    EXPECT_EQ(bytes.size(), 2u);
    EXPECT_EQ(wad.LoadTexture(wad.IndexOf("missing")), nullptr);
    script->expectError("GP4TEX Error 001: Invalid TEX. No header found");
    EXPECT_EQ(wad.LoadTexture(0), nullptr);
}

TEST_F(WADFileTest, TruncatedDirectoriesAreRefusedAndMembersOutsideTheFileKept)
{
    const std::string whole = demo::BuildWAD(SmallMembers);
    const std::size_t directoryEnd = 4 + 3 * 136;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string path = dir / "t.wad";
        WriteBytes(path, whole.substr(0, length));
        TWADFile wad(path);
        wad.Count = 1;
        wad.Entries.resize(1);
        if (length < directoryEnd) {
            try {
                wad.ReadDirectory();
                ADD_FAILURE() << "length " << length << " was accepted";
            } catch (const EFileError& e) {
                EXPECT_EQ(e.path(), path);
                EXPECT_EQ(std::string(e.what()).rfind("Not a WAD archive", 0), 0u) << e.what();
            }
            EXPECT_EQ(wad.Count, 0);
            EXPECT_TRUE(wad.Entries.empty());
            continue;
        }
        // The directory is whole: every member is listed, and only those cut
        // off refuse to be read. The empty member lies nowhere.
        ASSERT_TRUE(wad.ReadDirectory()) << length;
        ASSERT_EQ(wad.Count, 3);
        const bool cut[3] = {length < 422, false, length < 429};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(wad.LiesOutside(i), cut[i]) << length << " member " << i;
            EXPECT_EQ(wad.ListEntries()[static_cast<std::size_t>(i)].Outside, cut[i]);
            if (cut[i]) {
                std::vector<std::uint8_t> bytes;
                try {
                    wad.ReadMember(i, bytes);
                    ADD_FAILURE() << "member " << i << " read from a file of " << length << " bytes";
                } catch (const EReadError& e) {
                    EXPECT_NE(std::string(e.what()).find(SmallMembers[static_cast<std::size_t>(i)].first),
                              std::string::npos)
                        << e.what();
                }
            } else {
                EXPECT_EQ(readMember(wad, i), SmallMembers[static_cast<std::size_t>(i)].second);
            }
        }
    }

    // Counts that no file of this length can hold are refused; members that
    // point or reach past its end are kept and marked.
    for (auto [at, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{{0, 0xFFFFFFFF}, {0, 0x7FFFFFFF}}) {
        std::string bad = whole;
        putU32(bad, at, value);
        WriteBytes(dir / "bad.wad", bad);
        TWADFile wad(dir / "bad.wad");
        EXPECT_THROW(wad.ReadDirectory(), EFileError) << at;
    }
    std::string far = whole;
    putU32(far, 4 + 128, 0xFFFFFFF0);         // member 0 starts far beyond the end
    putU32(far, 4 + 2 * 136 + 132, 0xFFFFFFFF); // member 2 reaches far beyond it
    putU32(far, 4 + 136 + 128, 0xFFFFFFF0);   // the empty member points anywhere
    WriteBytes(dir / "far.wad", far);
    TWADFile wad(dir / "far.wad");
    ASSERT_TRUE(wad.ReadDirectory());
    EXPECT_TRUE(wad.LiesOutside(0));
    EXPECT_FALSE(wad.LiesOutside(1));
    EXPECT_TRUE(wad.LiesOutside(2));
    EXPECT_EQ(readMember(wad, 1), "");
    EXPECT_TRUE(wad.ExtractMember(1, dir / "empty.bin", false));
    EXPECT_EQ(ReadBytes(dir / "empty.bin"), "");
}

TEST_F(WADFileTest, FailuresNeverReplaceAGoodTarget)
{
    TWADFile wad = archive("s.wad", SmallMembers);
    WriteBytes(dir / "old.wad", "the old archive");
    WriteBytes(dir / "out.bin", "keep");

    // The archive loses its last member after its directory was read.
    WriteBytes(dir / "s.wad", demo::BuildWAD(SmallMembers).substr(0, 425));
    std::vector<std::uint8_t> bytes;
    EXPECT_THROW(wad.ReadMember(2, bytes), EReadError);
    script->expectError(ErrOutsideFile + "cars\\b.bin");
    EXPECT_FALSE(wad.ExtractMember(2, dir / "out.bin", false));
    EXPECT_THROW(wad.Rebuild(dir / "old.wad", ""), EFileError);
    // The other members are still extracted.
    script->expectError(ErrOutsideFile + "cars\\b.bin");
    wad.ExtractAll(dir / "all");
    EXPECT_EQ(ReadBytes(dir / "all/a.bin"), "0123456789");
    EXPECT_EQ(ReadBytes(dir / "all/cars/empty.bin"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "all/cars/b.bin"));
    // With a replacement for the member outside, the rebuild has all it needs.
    WriteBytes(dir / "stage/cars/b.bin", "fghij");
    wad.Rebuild(dir / "fixed.wad", dir / "stage");
    EXPECT_EQ(ReadBytes(dir / "fixed.wad"),
              demo::BuildWAD({{"a.bin", "0123456789"}, {"cars\\empty.bin", ""}, {"cars\\b.bin", "fghij"}}));

    // A folder that is not there makes no archive, not an empty one.
    EXPECT_THROW(wad.CreateFromDirectory(dir / "new.wad", dir / "nothere", true), EFileError);
    EXPECT_THROW(wad.CreateFromDirectory(dir / "old.wad", dir / "all/a.bin", true), EFileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "new.wad"));

    // A file that cannot be read ends the creation.
    if (SkippedOnWindows("a link that leads nowhere: symbolic links need a privilege that Windows gives administrators only"))
        return;
    WriteBytes(dir / "src/a.bin", "a");
    std::filesystem::create_symlink(dir / "nowhere", dir / "src/dangling");
    EXPECT_THROW(wad.CreateFromDirectory(dir / "old.wad", dir / "src", true), EFileError);
    EXPECT_EQ(wad.Count, 3);

    EXPECT_EQ(ReadBytes(dir / "old.wad"), "the old archive");
    EXPECT_EQ(ReadBytes(dir / "out.bin"), "keep");
    EXPECT_EQ(OursLeftIn(dir.path()), "");
}

TEST_F(WADFileTest, HostileNamesStayInsideTheFolder)
{
    const std::string absolute = dir / "abs.txt";
    const Members members = {{"good\\a.txt", "good"},   {"..\\..\\evil1.txt", "1"}, {absolute, "2"},
                             {"C:\\x.txt", "3"},        {"a\\..\\..\\evil4.txt", "4"}, {"../evil5.txt", "5"},
                             {"cars\\", "6"},           {"last.txt", "last"}};
    TWADFile wad = archive("h.wad", members);
    for (int i = 1; i <= 5; ++i)
        script->expectError(ErrOutside + members[static_cast<std::size_t>(i)].first);
    script->expectError(ErrNoFile + "cars\\");
    const std::string out = dir / "one/two/out/";
    wad.ExtractAll(out);
    EXPECT_EQ(treeOf(dir.path()), (std::set<std::pair<std::string, std::string>>{
                               {"h.wad", demo::BuildWAD(members)},
                               {"one/two/out/good/a.txt", "good"},
                               {"one/two/out/last.txt", "last"}}));

    script->expectError(ErrOutside + "..\\..\\evil1.txt");
    EXPECT_FALSE(wad.ExtractMember(1, out, true));
    EXPECT_TRUE(wad.ExtractMember(1, dir / "chosen.txt", false));
    EXPECT_EQ(ReadBytes(dir / "chosen.txt"), "1");

    // A rebuild takes no replacement from outside its folder.
    WriteBytes(dir / "one/evil1.txt", "outside");
    WriteBytes(dir / "one/two/src/good/a.txt", "better");
    wad.Rebuild(dir / "r.wad", dir / "one/two/src");
    Members expected = members;
    expected[0].second = "better";
    EXPECT_EQ(ReadBytes(dir / "r.wad"), demo::BuildWAD(expected));

    // A link in the folder with a member's name is replaced by the member:
    // the file it leads to, outside the folder, stays as it was.
    if (SkippedOnWindows("links in the folder: symbolic links need a privilege that Windows gives administrators only"))
        return;
    WriteBytes(dir / "victim.txt", "mine");
    std::filesystem::remove(out + "last.txt");
    std::filesystem::create_symlink(dir / "victim.txt", out + "last.txt");
    for (int i = 1; i <= 5; ++i)
        script->expectError(ErrOutside + members[static_cast<std::size_t>(i)].first);
    script->expectError(ErrNoFile + "cars\\");
    wad.ExtractAll(out);
    EXPECT_EQ(ReadBytes(dir / "victim.txt"), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink(out + "last.txt"));
    EXPECT_EQ(ReadBytes(out + "last.txt"), "last");

    // A link where a member's folder would be is not followed out of the
    // folder; nor is a link at the name the file used to be written under
    // beside its target, nor at any name of ours.
    std::filesystem::remove_all(out + "good");
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", out + "good");
    std::filesystem::create_symlink(dir / "victim.txt", out + "last.txt.paddock-new");
    script->expectError(ErrLinkOnTheWay + "good\\a.txt");
    for (int i = 1; i <= 5; ++i)
        script->expectError(ErrOutside + members[static_cast<std::size_t>(i)].first);
    script->expectError(ErrNoFile + "cars\\");
    wad.ExtractAll(out);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
    EXPECT_EQ(ReadBytes(dir / "victim.txt"), "mine");
    EXPECT_FALSE(std::filesystem::exists(out + "last.txt.paddock-new"));
    EXPECT_EQ(OursLeftIn(dir.path()), "");
}

TEST_F(WADFileTest, NamesWindowsCannotHoldAreRefusedOnEverySystem)
{
    const Members members = {
        {"CON", "1"},           {"cars\\nul.tex", "2"},  {"Com1.txt", "3"},      {"LPT\xB9.TEX", "4"},
        {"aux .txt", "5"},      {"ab:cd", "6"},             {"cars.\\x.tex", "7"}, {"x ", "8"},
        {"q?.txt", "9"},        {"a<b>", "10"},            {"p|\"q", "11"},       {"tab\t.txt", "12"},
        {"CONSOLE.txt", "ok1"}, {"COM10.txt", "ok2"},     {"con_x\\lpt.tex", "ok3"}, {".hidden", "ok4"},
        {"cars\\.\\last.TEX", "ok5"}};
    TWADFile wad = archive("w.wad", members);
    for (std::size_t i = 0; i < 12; ++i)
        script->expectError(ErrNotWindows + GameTextToUtf8(members[i].first));
    wad.ExtractAll(dir / "out");
    EXPECT_EQ(treeOf(dir / "out/"), (std::set<std::pair<std::string, std::string>>{{"CONSOLE.txt", "ok1"},
                                                                                  {"COM10.txt", "ok2"},
                                                                                  {"con_x/lpt.tex", "ok3"},
                                                                                  {".hidden", "ok4"},
                                                                                  {"cars/last.TEX", "ok5"}}));
    script->expectError(ErrNotWindows + "CON");
    EXPECT_FALSE(wad.ExtractMember(0, dir / "out", true));
    // A name the user chose is the user's.
    EXPECT_TRUE(wad.ExtractMember(0, dir / "out/console.bin", false));
}

TEST_F(WADFileTest, RebuildShiftsTheMembersAfterALongerReplacement)
{
    const Members members = {{"cars\\a.TEX", "0123456789"}, {"cars\\b.TEX", "abcde"}, {"c.bin", "tail123"}};
    TWADFile wad = archive("g.wad", members);
    const std::string longer(25, 'L');
    WriteBytes(dir / "stage/cars/b.TEX", longer);
    wad.Rebuild(dir / "new.wad", dir / "stage");

    Members expected = members;
    expected[1].second = longer;
    EXPECT_EQ(ReadBytes(dir / "new.wad"), demo::BuildWAD(expected));
    TWADFile rebuilt(dir / "new.wad");
    ASSERT_TRUE(rebuilt.ReadDirectory());
    EXPECT_EQ(rebuilt.Entries[1].Offset, wad.Entries[1].Offset);
    EXPECT_EQ(rebuilt.Entries[2].Offset, wad.Entries[2].Offset + 20);
    EXPECT_EQ(readMember(rebuilt, 2), "tail123");
    // The rebuilt object keeps its own directory, and can rebuild its own file.
    EXPECT_EQ(wad.Entries[1].Size, 5u);
    wad.Rebuild(wad.FileName, dir / "stage");
    EXPECT_EQ(ReadBytes(wad.FileName), demo::BuildWAD(expected));
}

// Members of more than the copy buffer, members that land at the same place
// in a page as in their source and members that do not, and archives whose
// members do not lie one after another: every writer gives the gap rule's
// bytes.
TEST_F(WADFileTest, LargeMembersAndAnyLayoutComeOutByTheGapRule)
{
    auto bytes = [](std::size_t size, unsigned seed) {
        std::string s(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            s[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
        return s;
    };
    const Members members = {{"big\\one.bin", bytes(2'500'001, 1)},  {"a.bin", bytes(5000, 2)},
                             {"empty.bin", ""},                         {"big\\two.bin", bytes(1'100'000, 3)},
                             {"c.bin", bytes(4096, 4)},                 {"d.bin", bytes(77, 5)}};
    TWADFile wad = archive("large.wad", members);
    const std::string expected = demo::BuildWAD(members);

    wad.Rebuild(dir / "same.wad", "");
    EXPECT_EQ(ReadBytes(dir / "same.wad"), expected);
    wad.ExtractAll(dir / "out");
    for (const auto& [name, data] : members)
        EXPECT_EQ(ReadBytes(dir / ("out/" + ReplaceAll(name, "\\", "/"))), data) << name;
    TWADFile made;
    made.CreateFromDirectory(dir / "made.wad", dir / "out", true);
    TWADFile listed(dir / "made.wad");
    ASSERT_TRUE(listed.ReadDirectory());
    Members inListing;
    for (const TWADEntry& e : listed.Entries)
        inListing.emplace_back(e.NameString(), ReadBytes(dir / ("out/" + ReplaceAll(e.NameString(), "\\", "/"))));
    EXPECT_EQ(ReadBytes(dir / "made.wad"), demo::BuildWAD(inListing));

    // Replacements longer by a page (the members after them keep their
    // place in a page) and by a few bytes (they do not).
    Members replaced = members;
    replaced[1].second = bytes(5000 + 4096, 6);
    replaced[4].second = bytes(4096 + 3, 7);
    WriteBytes(dir / "stage/a.bin", replaced[1].second);
    WriteBytes(dir / "stage/c.bin", replaced[4].second);
    wad.Rebuild(dir / "replaced.wad", dir / "stage");
    EXPECT_EQ(ReadBytes(dir / "replaced.wad"), demo::BuildWAD(replaced));

    // Gap bytes that are not zero, and members stored in the reverse order
    // with bytes between them.
    std::string dirty = expected;
    for (const TWADEntry& e : wad.Entries)
        dirty[e.Offset + e.Size] = '\xFF';
    WriteBytes(dir / "dirty.wad", dirty);
    TWADFile dirtyWad(dir / "dirty.wad");
    ASSERT_TRUE(dirtyWad.ReadDirectory());
    dirtyWad.Rebuild(dir / "clean.wad", "");
    EXPECT_EQ(ReadBytes(dir / "clean.wad"), expected);

    std::string reversed = expected.substr(0, 4 + members.size() * 136);
    for (std::size_t i = members.size(); i-- > 0;) {
        putU32(reversed, 4 + i * 136 + 128, static_cast<std::uint32_t>(reversed.size()));
        reversed += members[i].second + "xy";
    }
    WriteBytes(dir / "reversed.wad", reversed);
    TWADFile reversedWad(dir / "reversed.wad");
    ASSERT_TRUE(reversedWad.ReadDirectory());
    reversedWad.Rebuild(dir / "ordered.wad", "");
    EXPECT_EQ(ReadBytes(dir / "ordered.wad"), expected);
}

TEST_F(WADFileTest, HealthMeasureAndRepair)
{
    const Members members = {{"a", "aaaa"}, {"b", ""}, {"c", "cc"}, {"d", "ddddd"}};
    TWADFile healthy = archive("ok.wad", members);
    EXPECT_EQ(healthy.HealthMeasure(), 1);
    const std::uint32_t lastOffset = healthy.Entries[3].Offset;
    healthy.RepairOffsets();
    // Only the directory changed; the last member's recorded offset moved by
    // N - 1, now past the end of its data, so the archive no longer reads.
    std::string expected = demo::BuildWAD(members);
    for (std::uint32_t i = 0; i < 4; ++i)
        putU32(expected, 4 + i * 136 + 128, healthy.Entries[i].Offset);
    EXPECT_EQ(healthy.Entries[3].Offset, lastOffset + 3);
    EXPECT_EQ(ReadBytes(dir / "ok.wad"), expected);
    // Such a mistaken repair still opens, shows how often it was repaired too
    // often, and can be undone.
    TWADFile again(dir / "ok.wad");
    ASSERT_TRUE(again.ReadDirectory());
    EXPECT_TRUE(again.LiesOutside(3));
    EXPECT_EQ(again.GapRuleDrift(), 1);
    again.RepairOffsets();
    ASSERT_TRUE(again.ReadDirectory());
    EXPECT_EQ(again.GapRuleDrift(), 2);
    again.RepairOffsets(-2);
    EXPECT_EQ(ReadBytes(dir / "ok.wad"), demo::BuildWAD(members));
    ASSERT_TRUE(again.ReadDirectory());
    EXPECT_EQ(again.GapRuleDrift(), 0);

    // Offsets written without counting the gap bytes.
    std::string old = demo::BuildWAD(members);
    for (std::uint32_t i = 0; i < 4; ++i)
        putU32(old, 4 + i * 136 + 128, healthy.Entries[i].Offset - 2 * i);
    WriteBytes(dir / "old.wad", old);
    TWADFile earlier(dir / "old.wad");
    ASSERT_TRUE(earlier.ReadDirectory());
    EXPECT_EQ(earlier.HealthMeasure(), 4);
    EXPECT_EQ(earlier.GapRuleDrift(), -1);
    earlier.RepairOffsets();
    EXPECT_EQ(ReadBytes(dir / "old.wad"), demo::BuildWAD(members));
}

TEST_F(WADFileTest, DemoCarsArchiveLoadsEveryCarTextureAndSurvivesARoundTrip)
{
    const Members members = demo::MakeDemoCarMembers();
    TWADFile wad = archive("cars.wad", members);
    ASSERT_EQ(wad.Count, static_cast<int>(members.size()));
    int found = 0;
    for (int team = 0; team < 11; ++team)
        for (int kind = 0; kind < CarTextureKinds; ++kind)
            for (bool high : {true, false}) {
                const std::string name = CarTextureName(team, kind, high);
                const auto texture = wad.LoadTexture(wad.IndexOf(UpperCase(name)));
                ASSERT_NE(texture, nullptr) << name;
                ++found;
                if (high) {
                    EXPECT_EQ(texture->GetHeader(0).Width(), 512u) << name;
                    EXPECT_EQ(texture->GetHeader(0).Height(), 512u) << name;
                }
            }
    EXPECT_EQ(found, 66);

    wad.ExtractAll(dir / "tree");
    TWADFile made;
    made.CreateFromDirectory(dir / "made.wad", dir / "tree", true);
    TWADFile back(dir / "made.wad");
    ASSERT_TRUE(back.ReadDirectory());
    std::set<std::pair<std::string, std::string>> original(members.begin(), members.end()), roundTrip;
    for (int i = 0; i < back.Count; ++i)
        roundTrip.emplace(back.Entries[static_cast<std::size_t>(i)].NameString(), readMember(back, i));
    EXPECT_EQ(roundTrip, original);
}

TEST_F(WADFileTest, MembersAndFilesMeetThroughTheCodePageInAnyLetterCase)
{
    const Members members = {
        {"CARS\\HI_X_1.TEX", "hi"}, {"cars\\caf\xE9.TEX", "cafe"}, {"cars/sub\\Low.TEX", "low"}, {"a.bin", "a"}};
    TWADFile wad = archive("n.wad", members);

    // A member's name becomes a file's through the code page, in the listing,
    // the mapping and the extraction alike; the folder makes it back.
    EXPECT_EQ(wad.ListEntries()[1].Name, "cars\\caf\u00E9.TEX");
    EXPECT_EQ(MemberFilePath(dir / "t", members[1].first), dir / "t/cars/caf\u00E9.TEX");
    wad.ExtractAll(dir / "t");
#ifdef _WIN32
    // Folders whose names differ only in letter case are one folder there,
    // spelt as it was first made.
    EXPECT_EQ(treeOf(dir / "t/"), (std::set<std::pair<std::string, std::string>>{{"CARS/HI_X_1.TEX", "hi"},
                                                                               {"CARS/caf\u00E9.TEX", "cafe"},
                                                                               {"CARS/sub/Low.TEX", "low"},
                                                                               {"a.bin", "a"}}));
    EXPECT_EQ(FileMemberName(dir / "t", dir / "t/CARS/caf\u00E9.TEX"), "CARS\\caf\xE9.TEX");
    if (SkippedOnWindows("files whose names differ only in letter case, or are not UTF-8: Windows names "
                         "cannot tell them apart"))
        return;
#endif
    EXPECT_EQ(treeOf(dir / "t/"), (std::set<std::pair<std::string, std::string>>{{"CARS/HI_X_1.TEX", "hi"},
                                                                               {"cars/caf\u00E9.TEX", "cafe"},
                                                                               {"cars/sub/Low.TEX", "low"},
                                                                               {"a.bin", "a"}}));
    EXPECT_EQ(FileMemberName(dir / "t", dir / "t/cars/caf\u00E9.TEX"), "cars\\caf\xE9.TEX");
    TWADFile made;
    ASSERT_TRUE(made.CreateFromDirectory(dir / "made.wad", dir / "t", true));
    std::set<std::string> names;
    for (const TWADEntry& e : made.Entries)
        names.insert(e.NameString());
    EXPECT_EQ(names, (std::set<std::string>{"CARS\\HI_X_1.TEX", "cars\\caf\xE9.TEX", "cars\\sub\\Low.TEX", "a.bin"}));

    // Staged files stand for their members in any ASCII letter case; the
    // report names what replaced what and what stood for nothing.
    const std::string s = dir / "s/";
    WriteBytes(s + "cars/hi_x_1.tex", "new hi");
    WriteBytes(s + "Cars/Caf\u00E9.tex", "new cafe");
    WriteBytes(s + "CARS/SUB/LOW.TEX", "new low");
    WriteBytes(s + "cars/other.TEX", "other");
    WriteBytes(s + "cars/CAF\u00C9.TEX", "not folded");
    WriteBytes(s + "caf\xE9.bin", "not UTF-8");
    TWADRebuildReport report = wad.Rebuild(dir / "r.wad", s);
    EXPECT_EQ(ReadBytes(dir / "r.wad"), demo::BuildWAD({{"CARS\\HI_X_1.TEX", "new hi"},
                                                        {"cars\\caf\xE9.TEX", "new cafe"},
                                                        {"cars/sub\\Low.TEX", "new low"},
                                                        {"a.bin", "a"}}));
    ASSERT_EQ(report.Replaced.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(report.Replaced[static_cast<std::size_t>(i)].Index, i);
        EXPECT_EQ(report.Replaced[static_cast<std::size_t>(i)].Member, members[static_cast<std::size_t>(i)].first);
    }
    EXPECT_EQ(report.Replaced[1].File, s + "Cars/Caf\u00E9.tex");
    EXPECT_EQ(std::set<std::string>(report.Unused.begin(), report.Unused.end()),
              (std::set<std::string>{s + "cars/other.TEX", s + "cars/CAF\u00C9.TEX", s + "caf\xE9.bin"}));
    EXPECT_TRUE(report.Took("cars\\hi_x_1.tex") && report.Took("CARS/SUB/low.tex"));
    EXPECT_FALSE(report.Took("a.bin") || report.Took("cars\\other.TEX"));

    // A file spelt as the member is taken before one spelt otherwise; two
    // spelt otherwise cannot be told apart, and nothing is written.
    WriteBytes(s + "CARS/HI_X_1.TEX", "exact");
    report = wad.Rebuild(dir / "r.wad", s);
    EXPECT_EQ(report.Replaced[0].File, s + "CARS/HI_X_1.TEX");
    EXPECT_NE(std::find(report.Unused.begin(), report.Unused.end(), s + "cars/hi_x_1.tex"), report.Unused.end());
    std::filesystem::remove(s + "CARS/HI_X_1.TEX");
    WriteBytes(s + "cars/HI_x_1.TEX", "second");
    const std::string before = ReadBytes(dir / "r.wad");
    EXPECT_THROW(wad.Rebuild(dir / "r.wad", s), EFileError);
    EXPECT_EQ(ReadBytes(dir / "r.wad"), before);

    // A file whose name the code page cannot hold makes no archive; each is named.
    WriteBytes(dir / "bad/ok.txt", "ok");
    WriteBytes(dir / "bad/\u4E2D.txt", "x");
    WriteBytes(dir / "bad/caf\xE9.txt", "y");
    script->expectError("GP4WAD Error 004: Invalid file name. The game's code page (Windows-1252) cannot hold it: *")
        .expectError("GP4WAD Error 004: Invalid file name. The game's code page (Windows-1252) cannot hold it: *");
    EXPECT_FALSE(made.CreateFromDirectory(dir / "made.wad", dir / "bad", true));
    const std::vector<std::string>& log = script->log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& line) {
                                return line.find(dir / "bad/\u4E2D.txt") != std::string::npos ||
                                       line.find(dir / "bad/caf\xE9.txt") != std::string::npos;
                            }),
              2);
    EXPECT_EQ(made.Count, 4);
    TWADFile still(dir / "made.wad");
    ASSERT_TRUE(still.ReadDirectory());
    EXPECT_EQ(still.Count, 4);
}
