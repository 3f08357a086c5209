// paddock-cli on a demo game folder and on damaged files, run as a separate
// program without a display: what it prints, its exit codes, the files it
// writes compared with fixed bytes, with independent readers (the bytes
// themselves, JSON, Pillow) and with the files that the windows' calls of the
// core write for the same job.
#include "CliRun.h"

#include "../interop/InteropSupport.h"

#include "app/ExportImport.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include "DemoCars.h"
#include "DemoGame.h"
#include "DemoMeshes.h"
#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include "formats/PNG.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

using namespace paddock;
using namespace paddock::testing;
using nlohmann::json;

namespace {

constexpr auto npos = std::string::npos;

std::string hex8(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

// The path of a member below a folder: its backslashes as folder levels.
std::string below(const std::string& folder, const std::string& member)
{
    return folder + ReplaceAll(member, "\\", "/");
}

// Texture i's width, height and FourCC, read from a container's bytes.
std::uint32_t recordField(const std::string& tex, std::size_t i, std::size_t field)
{
    const std::size_t table = Le32(tex, 12) == 0 ? 212 : 276;
    return Le32(tex, Le32(tex, table + 8 * i) + field);
}

// A 32-bit TGA of the given size, uncompressed, bottom row first, every pixel
// the same; or of 24 bits.
std::string plainTGA(int width, int height, int bits)
{
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = static_cast<char>(width);
    tga[14] = static_cast<char>(height);
    tga[16] = static_cast<char>(bits);
    tga += std::string(static_cast<std::size_t>(width * height * bits / 8), '\x40');
    return tga;
}

// The objects of a 3DS file, found by walking its chunk tree: name, number
// of points and of faces.
struct Object3DS {
    std::string name;
    std::uint32_t points = 0;
    std::uint32_t faces = 0;
    bool operator==(const Object3DS&) const = default;
};

std::vector<Object3DS> objectsOf(const std::string& bytes)
{
    std::vector<Object3DS> objects;
    std::function<void(std::size_t, std::size_t)> walk = [&](std::size_t at, std::size_t end) {
        while (at + 6 <= end) {
            const std::uint32_t id = Le16(bytes, at);
            const std::uint32_t length = Le32(bytes, at + 2);
            if (length < 6 || length > end - at) {
                ADD_FAILURE() << "chunk " << id << " at " << at << " of length " << length;
                return;
            }
            const std::size_t content = at + 6;
            if (id == 0x4D4D || id == 0x3D3D || id == 0x4100) {
                walk(content, at + length);
            } else if (id == 0x4000) {
                const std::size_t zero = bytes.find('\0', content);
                objects.push_back({bytes.substr(content, zero - content)});
                walk(zero + 1, at + length);
            } else if ((id == 0x4110 || id == 0x4120) && !objects.empty()) {
                (id == 0x4110 ? objects.back().points : objects.back().faces) = Le16(bytes, content);
            }
            at += length;
        }
    };
    if (bytes.size() < 6 || Le32(bytes, 2) != bytes.size())
        ADD_FAILURE() << "The main chunk does not span the file";
    walk(0, bytes.size());
    return objects;
}

// What the 3DS export should hold for a shape of a demo mesh.
Object3DS objectOf(const demo::DemoShape& shape)
{
    std::set<std::int32_t> corners;
    for (const auto& t : shape.Triangles)
        corners.insert(t.begin(), t.end());
    return {shape.Name, static_cast<std::uint32_t>(corners.size()), static_cast<std::uint32_t>(shape.Triangles.size())};
}

// A 3DS file's bytes with the ambient colours of its materials, which the
// writer draws at random, set to zero; count receives how many there were.
std::string withoutAmbient(std::string bytes, int& count)
{
    // Ambient colour chunk (0xA010, 15 bytes) holding a 24-bit colour (0x0011, 9 bytes).
    const std::string ambient("\x10\xA0\x0F\x00\x00\x00\x11\x00\x09\x00\x00\x00", 12);
    count = 0;
    for (std::size_t at = bytes.find(ambient); at != npos; at = bytes.find(ambient, at + 1), ++count)
        bytes.replace(at + ambient.size(), 3, 3, '\0');
    return bytes;
}

// Numbers as the window shows them, for the expectations.
std::string u32(std::int64_t v)
{
    return std::to_string(static_cast<std::uint32_t>(v));
}

std::string fixed3(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(v));
    return text;
}

// The words of a line after its label: "    data: 1 2 3".
std::vector<std::string> wordsAfter(const std::string& text, const std::string& label)
{
    const std::size_t at = text.find(label);
    if (at == npos)
        return {};
    std::istringstream line(text.substr(at + label.size(), text.find('\n', at) - at - label.size()));
    std::vector<std::string> words;
    for (std::string w; line >> w;)
        words.push_back(w);
    return words;
}

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The folder that make-demo-game wrote before the tests (a test run
        // on its own writes one of its own).
        pristine_ = new std::string(
            AddTrailingBackslash(FromPath(std::filesystem::absolute(ToPath(PADDOCK_CLI_DEMO_GAME)))));
        if (!FileExists(*pristine_ + "cars.wad")) {
            ownDemo_ = new TempDir;
            *pristine_ = ownDemo_->path();
            demo::WriteDemoGame(*pristine_, true);
            demo::WriteDemoMeshes(*pristine_);
        }
        cars_ = new std::string(ReadBytes(*pristine_ + "cars.wad"));
        exe_ = new std::string(ReadBytes(*pristine_ + "GP4.EXE"));
        save_ = new std::string(ReadBytes(*pristine_ + "F1GSTATE.SAV"));
    }
    static void TearDownTestSuite()
    {
        delete pristine_;
        delete ownDemo_;
        delete cars_;
        delete exe_;
        delete save_;
    }

    void SetUp() override
    {
        saved_ = Settings;
        game = newGame("game");
    }
    void TearDown() override
    {
        ClearCarTextures();
        ClearItems(LoadedItems);
        ClearItems(SelectedItems);
        Settings = saved_;
    }

    // A copy of the demo game folder.
    std::string newGame(const std::string& name) const
    {
        const std::string folder = dir / (name + "/");
        std::filesystem::copy(ToPath(RemoveTrailingBackslash(*pristine_)), ToPath(RemoveTrailingBackslash(folder)),
                              std::filesystem::copy_options::recursive);
        return folder;
    }

    CliResult cli(const std::vector<std::string>& args) const { return RunCli(args, cliTemp.path()); }

    // The windows' calls of the core work on this game folder from now on.
    void useGame(const std::string& folder)
    {
        Settings.GamePath = folder;
        Settings.GameExePath = folder + "GP4.EXE";
        Settings.SaveFilePath = folder + "F1GSTATE.SAV";
        Settings.ExportPath = dir / "export/";
        DeleteTree(Settings.ExportPath);
        ForceDirectories(Settings.ExportPath);
        InitTeams();
        PointsTable.fill(0);
        ClearCarTextures();
        ClearItems(LoadedItems);
    }

    std::string container(const std::string& member) const { return MemberBytes(ArchiveMembers(*cars_), member); }

    static std::string* pristine_;
    static TempDir* ownDemo_;
    static std::string* cars_;
    static std::string* exe_;
    static std::string* save_;
    TempDir dir;
    TempDir cliTemp;
    std::string game;
    TSettings saved_;
};

std::string* CliTest::pristine_ = nullptr;
TempDir* CliTest::ownDemo_ = nullptr;
std::string* CliTest::cars_ = nullptr;
std::string* CliTest::exe_ = nullptr;
std::string* CliTest::save_ = nullptr;

} // namespace

TEST_F(CliTest, EveryCommandHasHelpAndBadUsageEndsWithCode2)
{
    const CliResult help = cli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: paddock-cli"), npos) << help.out;
    for (const std::string command :
         {"wad list", "wad extract", "wad create", "wad rebuild", "wad check", "wad repair", "tex info", "tex export",
          "tex import", "tex downsample", "game show", "game export", "game import", "game liveries export",
          "game liveries import", "mesh info", "mesh export-3ds"}) {
        std::vector<std::string> args;
        std::istringstream words(command);
        for (std::string w; words >> w;)
            args.push_back(w);
        args.push_back("--help");
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find("Usage: paddock-cli " + command), npos) << r.out;
    }

    const std::string wad = game + "cars.wad";
    const struct {
        std::vector<std::string> args;
        const char* says;
    } bad[] = {
        {{}, "subcommand"},
        {{"wad", "frobnicate", wad}, ""},
        {{"wad", "list"}, "archive is required"},
        {{"wad", "list", wad, "--bogus"}, "--bogus"},
        {{"wad", "list", wad, "--yes"}, "--yes"},
        {{"wad", "extract", wad, "a", "b", "--file", dir / "x"}, "--file takes exactly one member"},
        {{"tex", "export", dir / "a.TEX", dir / "a.bmp"}, "must end in .tga or .png"},
        {{"tex", "export", dir / "a.TEX", dir / "a.png"}, "Invalid filemask"},
        {{"tex", "import", dir / "a.TEX", dir / "a.png", "--index", "-1"}, "--index"},
        {{"game", "liveries", "export", game, dir / "out", "--team", "12"}, "--team"},
        {{"game", "liveries", "export", game, dir / "out", "--format", "bmp"}, "--format"},
        {{"mesh", "info"}, "file is required"},
        {{"mesh", "export-3ds", dir / "a.GP4"}, "output is required"},
        {{"mesh", "export-3ds", dir / "a.GP4", dir / "a.3DS", "--shape", "-1"}, "--shape"},
    };
    for (const auto& b : bad) {
        const CliResult r = cli(b.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(b.says), npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // The program's own options may follow the command; a quiet command that
    // succeeds says nothing.
    const CliResult quiet = cli({"wad", "extract", wad, "-o", dir / "quiet", "--quiet"});
    EXPECT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_FALSE(FileExists(dir / "x"));
}

TEST_F(CliTest, ArchivesAreListedExtractedCreatedAndRebuiltAsTheWorkshopDoes)
{
    const std::string wad = game + "cars.wad";
    const TArchiveMembers members = ArchiveMembers(*cars_);

    CliResult r = cli({"wad", "list", wad, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const json list = json::parse(r.out);
    ASSERT_EQ(list["count"], members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const json& m = list["members"][i];
        EXPECT_EQ(m["index"], i + 1);
        EXPECT_EQ(m["name"], members[i].first);
        EXPECT_EQ(m["offset"], Le32(*cars_, 4 + 136 * i + 128));
        EXPECT_EQ(m["size"], members[i].second.size());
        EXPECT_EQ(m["outside"], false);
    }
    r = cli({"wad", "list", wad});
    ASSERT_EQ(r.code, 0) << r.err;
    // The window's row: index from 1, name, offset and size in hexadecimal.
    ASSERT_EQ(members[25].first, "cars\\hi_bar_1.TEX");
    const std::size_t row = r.out.find("\n   26  cars\\hi_bar_1.TEX ");
    ASSERT_NE(row, npos) << r.out;
    EXPECT_NE(r.out.substr(row, r.out.find('\n', row + 1) - row)
                  .find("  " + hex8(Le32(*cars_, 4 + 136 * 25 + 128)) + "  " +
                        hex8(static_cast<std::uint32_t>(members[25].second.size()))),
              npos)
        << r.out;

    // Every member, then one named in another letter case, to a file.
    const std::string out = dir / "out/";
    r = cli({"wad", "extract", wad, "-o", out});
    EXPECT_EQ(r.code, 0) << r.err;
    for (const auto& [name, bytes] : members)
        EXPECT_TRUE(ReadBytes(below(out, name)) == bytes) << name;
    WriteBytes(out + "cars/readme.txt", "changed");
    r = cli({"wad", "extract", wad, "-o", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("already exist"), npos) << r.err;
    EXPECT_EQ(ReadBytes(out + "cars/readme.txt"), "changed");
    r = cli({"wad", "extract", wad, "-o", out, "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(out + "cars/readme.txt"), members[0].second);
    r = cli({"wad", "extract", wad, "CARS\\HI_BAR_1.tex", "--file", dir / "bar.TEX"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "bar.TEX") == members[25].second);
    r = cli({"wad", "extract", wad, "cars\\nothing.TEX"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("has no member named cars\\nothing.TEX"), npos) << r.err;

    // A new archive from the extracted folder: the workshop's archive, which
    // holds the members under their names.
    r = cli({"wad", "create", dir / "new.wad", out});
    EXPECT_EQ(r.code, 0) << r.err;
    TWADFile().CreateFromDirectory(dir / "window.wad", out, true);
    const std::string created = ReadBytes(dir / "new.wad");
    EXPECT_TRUE(created == ReadBytes(dir / "window.wad"));
    TArchiveMembers sorted = members;
    TArchiveMembers createdMembers = ArchiveMembers(created);
    std::sort(sorted.begin(), sorted.end());
    std::sort(createdMembers.begin(), createdMembers.end());
    EXPECT_TRUE(createdMembers == sorted);
    r = cli({"wad", "create", dir / "new.wad", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("already exists; add --force"), npos) << r.err;
    r = cli({"wad", "create", out + "inside.wad", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("inside the folder"), npos) << r.err;
    EXPECT_FALSE(FileExists(out + "inside.wad"));

    // Rebuilt with one member replaced; a misspelt file is named and left out.
    const std::string source = dir / "source/";
    WriteBytes(source + "cars/readme.txt", "A new readme");
    WriteBytes(source + "cars/hi_barr_1.TEX", "misspelt");
    r = cli({"wad", "rebuild", wad, source, "-o", dir / "rebuilt.wad"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("left out: " + dir / "source/cars/hi_barr_1.TEX"), npos) << r.err;
    TWADFile window(wad);
    window.ReadDirectory();
    window.Rebuild(dir / "window-rebuilt.wad", source);
    const std::string rebuilt = ReadBytes(dir / "rebuilt.wad");
    EXPECT_TRUE(rebuilt == ReadBytes(dir / "window-rebuilt.wad"));
    TArchiveMembers expected = members;
    expected[0].second = "A new readme";
    EXPECT_TRUE(ArchiveMembers(rebuilt) == expected);
    // In place, the archive as it was stays beside it.
    r = cli({"wad", "rebuild", wad, source});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(wad) == rebuilt);
    EXPECT_TRUE(ReadBytes(wad + ".BAK") == *cars_);
}

TEST_F(CliTest, MemberNamesAndFileNamesMeetThroughTheCodePageInAnyLetterCase)
{
    const std::string wad = dir / "names.wad";
    WriteBytes(wad, demo::BuildWAD({{"cars\\caf\xE9.TEX", "cafe"}, {"CARS\\README.TXT", "readme"}}));
    CliResult r = cli({"wad", "list", wad});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("  cars\\caf\u00E9.TEX "), npos) << r.out;
    r = cli({"wad", "list", wad, "--json"});
    EXPECT_EQ(json::parse(r.out)["members"][0]["name"], "cars\\caf\u00E9.TEX");

    // Extracted under the name as listed, and found by it in any ASCII case.
    const std::string out = dir / "out/";
    r = cli({"wad", "extract", wad, "-o", out});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(out + "cars/caf\u00E9.TEX"), "cafe");
    EXPECT_EQ(ReadBytes(out + "CARS/README.TXT"), "readme");
    EXPECT_EQ(ListFiles(out, "*.*", true, false).size(), 2u);
    r = cli({"wad", "extract", wad, "CARS\\CAF\u00E9.tex", "--file", dir / "one.TEX"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir / "one.TEX"), "cafe");

    // Staged files replace the members they stand for, whatever their case;
    // what stands for none is named and counted out.
    const std::string staged = dir / "staged/";
    WriteBytes(staged + "cars/caf\u00E9.tex", "new cafe");
    WriteBytes(staged + "cars/readme.txt", "new readme");
    WriteBytes(staged + "cars/extra.bin", "extra");
    r = cli({"wad", "rebuild", wad, staged, "-o", dir / "rebuilt.wad"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Wrote " + dir / "rebuilt.wad" + ": 2 of 2 members replaced"), npos) << r.err;
    EXPECT_NE(r.err.find("left out: " + dir / "staged/cars/extra.bin"), npos) << r.err;
    EXPECT_EQ(r.err.find("left out: " + dir / "staged/cars/readme.txt"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "rebuilt.wad") ==
                demo::BuildWAD({{"cars\\caf\xE9.TEX", "new cafe"}, {"CARS\\README.TXT", "new readme"}}));

    // A file name the code page cannot hold is named, and no archive made;
    // without it the folder makes the archive again.
    WriteBytes(out + "\u4E2D.bin", "x");
    r = cli({"wad", "create", dir / "new.wad", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4WAD Error 004: Invalid file name. The game's code page (Windows-1252) cannot hold it: " +
                         out + "\u4E2D.bin"),
              npos)
        << r.err;
    EXPECT_NE(r.err.find("Nothing was written"), npos) << r.err;
    EXPECT_FALSE(FileExists(dir / "new.wad"));
    std::filesystem::remove(ToPath(out + "\u4E2D.bin"));
    r = cli({"wad", "create", dir / "new.wad", out});
    EXPECT_EQ(r.code, 0) << r.err;
    TArchiveMembers made = ArchiveMembers(ReadBytes(dir / "new.wad"));
    std::sort(made.begin(), made.end());
#ifdef _WIN32
    // One folder for "CARS" and "cars" there, spelt as it was made first.
    EXPECT_TRUE(made == (TArchiveMembers{{"cars\\README.TXT", "readme"}, {"cars\\caf\xE9.TEX", "cafe"}}));
#else
    EXPECT_TRUE(made == (TArchiveMembers{{"CARS\\README.TXT", "readme"}, {"cars\\caf\xE9.TEX", "cafe"}}));
#endif
}

TEST_F(CliTest, LiveriesReachAnArchiveNamedInCapitalsAndAFailedStagingWritesNothing)
{
    // The game's cars.wad with every member's name in capitals.
    TArchiveMembers members = ArchiveMembers(*cars_);
    for (auto& member : members)
        member.first = UpperCase(member.first);
    const std::string capitals = demo::BuildWAD(members);
    WriteBytes(game + "cars.wad", capitals);
    const std::string folder = dir / "liveries/";
    CliResult r = cli({"game", "liveries", "export", game, folder, "--team", "3"});
    ASSERT_EQ(r.code, 0) << r.err;

    // A blue band across the top of the first livery.
    const std::string first = folder + "Lancaster GP - 1.png";
    const std::string png = ReadBytes(first);
    TPicture livery;
    ASSERT_EQ(DecodePNG(reinterpret_cast<const std::uint8_t*>(png.data()), png.size(), livery), PNGStatus::Ok);
    ASSERT_EQ(livery.Width, 512);
    ASSERT_EQ(livery.Height, 512);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 512; ++x) {
            const std::uint8_t blue[4] = {255, 0, 0, 255};
            std::copy(blue, blue + 4, livery.Pixel(x, y));
        }
    const std::vector<std::uint8_t> painted = EncodePNG(livery);
    WriteBytes(first, std::string(painted.begin(), painted.end()));
    r = cli({"game", "liveries", "import", game, folder});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Wrote 3 pictures of team 3 into " + game + "cars.wad"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == capitals);
    const TArchiveMembers after = ArchiveMembers(ReadBytes(game + "cars.wad"));
    ASSERT_EQ(after.size(), members.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].first, members[i].first);
    TTEXFile high;
    const std::string edited = MemberBytes(after, "CARS\\HI_WILLIAMS_1.TEX");
    ASSERT_TRUE(high.LoadFromBuffer(edited.data(), edited.size()));
    const std::uint8_t* blue = high.GetBitmap(0)->Pixel(100, 100);
    EXPECT_EQ(std::vector<int>(blue, blue + 4), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_FALSE(MemberBytes(after, "CARS\\WILLIAMS_1.TEX") == MemberBytes(members, "CARS\\WILLIAMS_1.TEX"));

    // A low-resolution member the game lacks: the import says so and stops
    // before the game's archive is touched; no backup is made.
    std::erase_if(members, [](const auto& m) { return m.first == "CARS\\WILLIAMS_2.TEX"; });
    const std::string without = demo::BuildWAD(members);
    WriteBytes(game + "cars.wad", without);
    std::filesystem::remove(game + "cars.wad.BAK");
    r = cli({"game", "liveries", "import", game, folder});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Error saving car texture cars\\williams_2.TEX: it is missing from the game's cars.wad"), npos)
        << r.err;
    EXPECT_NE(r.err.find("Nothing was written"), npos) << r.err;
    EXPECT_EQ(r.err.find("Wrote"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(game + "cars.wad") == without);
    EXPECT_FALSE(FileExists(game + "cars.wad.BAK"));
}

TEST_F(CliTest, DamagedArchivesAreReportedAndRepairedOnlyWhenConfirmed)
{
    const std::string wad = dir / "damaged.wad";
    const TArchiveMembers members = ArchiveMembers(*cars_);
    const std::string cut = "sounds\\engine\\v10_idle.bin";
    ASSERT_EQ(members[members.size() - 2].first, cut);

    // Cut short inside the last member but one (the last has no bytes).
    WriteBytes(wad, cars_->substr(0, cars_->size() - 100));
    CliResult r = cli({"wad", "check", wad, "--json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is damaged"), npos) << r.err;
    const json report = json::parse(r.out);
    EXPECT_EQ(report["health_measure"], 99);
    EXPECT_EQ(report["healthy"], false);
    EXPECT_EQ(report["outside"], json::array({cut}));
    r = cli({"wad", "list", wad});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(cut + "  "), npos);
    EXPECT_NE(r.out.find("lies outside the file"), npos) << r.out;
    r = cli({"wad", "extract", wad, "-o", dir / "cut"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4WAD Error 003: Invalid member. It lies outside the archive file: " + cut), npos) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "cut/cars/readme.txt") == members[0].second);
    EXPECT_FALSE(FileExists(below(dir / "cut/", cut)));

    // Offsets written by the earlier rule, without the gap bytes.
    std::string earlier = *cars_;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::uint32_t offset = Le32(earlier, 4 + 136 * i + 128) - static_cast<std::uint32_t>(i);
        for (std::size_t k = 0; k < 4; ++k)
            earlier[4 + 136 * i + 128 + k] = static_cast<char>(offset >> (8 * k));
    }
    WriteBytes(wad, earlier);
    r = cli({"wad", "check", wad});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("without the gap bytes"), npos) << r.out;
    r = cli({"wad", "repair", wad});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("add --yes"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(wad) == earlier);
    r = cli({"wad", "repair", wad, "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(wad) == *cars_);
    // Healthy now: another repair only with --force, and the next one
    // undoes it.
    r = cli({"wad", "repair", wad, "--yes"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("seems to be OK (health measure 1)"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(wad) == *cars_);
    r = cli({"wad", "repair", wad, "--yes", "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Le32(ReadBytes(wad), 4 + 136 * 2 + 128), Le32(*cars_, 4 + 136 * 2 + 128) + 2);
    r = cli({"wad", "check", wad});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("repaired 1 time too often"), npos) << r.out;
    r = cli({"wad", "repair", wad, "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(wad) == *cars_);
    r = cli({"wad", "check", wad});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Health measure: 1 (healthy)"), npos) << r.out;

    // A member whose name leads out of the folder stays inside it.
    WriteBytes(wad, demo::BuildWAD({{"..\\evil.txt", "x"}, {"good.txt", "y"}}));
    r = cli({"wad", "extract", wad, "-o", dir / "safe"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4WAD Error 001"), npos) << r.err;
    EXPECT_FALSE(FileExists(dir / "evil.txt"));
    EXPECT_EQ(ReadBytes(dir / "safe/good.txt"), "y");

    // Not an archive, and no file at all.
    WriteBytes(wad, "AB");
    r = cli({"wad", "list", wad});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Not a WAD archive"), npos) << r.err;
    r = cli({"wad", "check", dir / "missing.wad"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot open"), npos) << r.err;
}

TEST_F(CliTest, TexturesGoOutAndInAsTheWorkshopMovesThem)
{
    const std::string tex = dir / "bar.TEX";
    const std::string original = container("cars\\hi_bar_1.TEX");
    WriteBytes(tex, original);

    CliResult r = cli({"tex", "info", tex, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const json info = json::parse(r.out);
    ASSERT_EQ(info["count"], Le32(original, 16));
    ASSERT_EQ(info["count"], 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(info["textures"][i]["width"], recordField(original, i, 16));
        EXPECT_EQ(info["textures"][i]["height"], recordField(original, i, 12));
        EXPECT_EQ(info["textures"][i]["format"], "DXT5");
    }
    r = cli({"tex", "info", tex});
    EXPECT_NE(r.out.find("Texture 1: (256 x 256) DXT5"), npos) << r.out;

    // Every texture as TGA: the workshop's files.
    r = cli({"tex", "export", tex, dir / "tga/bar*.tga"});
    EXPECT_EQ(r.code, 0) << r.err;
    ForceDirectories(dir / "window");
    ASSERT_TRUE(TTEXFile(tex).ExportAllTGA(dir / "window/bar*.tga"));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(ReadBytes(dir / ("tga/bar" + std::to_string(i) + ".tga")) ==
                    ReadBytes(dir / ("window/bar" + std::to_string(i) + ".tga")))
            << i;

    // Texture 1 out as PNG and in again as texture 0, the smaller ones
    // rebuilt: the container that its TGA gives through the workshop.
    r = cli({"tex", "export", tex, dir / "one.png", "--index", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = cli({"tex", "import", tex, dir / "one.png", "-i", "0", "--downsample", "-o", dir / "png.TEX"});
    EXPECT_EQ(r.code, 0) << r.err;
    TTEXFile window(tex);
    ASSERT_TRUE(window.ImportTGA(0, dir / "window/bar1.tga"));
    ASSERT_TRUE(window.Downsample(2));
    ASSERT_TRUE(window.SaveToFile(dir / "window.TEX"));
    const std::string fromPNG = ReadBytes(dir / "png.TEX");
    EXPECT_TRUE(fromPNG == ReadBytes(dir / "window.TEX"));
    EXPECT_EQ(recordField(fromPNG, 0, 16), 256u);
    EXPECT_EQ(recordField(fromPNG, 3, 16), 32u);

    // Over the container itself only with --yes, over another file only with
    // --force.
    r = cli({"tex", "import", tex, dir / "one.png", "-i", "0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("add --yes"), npos) << r.err;
    r = cli({"tex", "import", tex, dir / "one.png", "-i", "0", "-o", dir / "png.TEX"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("already exists"), npos) << r.err;
    r = cli({"tex", "export", tex, dir / "tga/bar*.tga"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(ReadBytes(tex) == original);

    // All textures in from a mask, then downsampled in place.
    r = cli({"tex", "import", tex, dir / "tga/bar*.tga", "-o", dir / "all.TEX"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "all.TEX") == original);
    r = cli({"tex", "downsample", tex, "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    TTEXFile downsampled(dir / "all.TEX");
    ASSERT_TRUE(downsampled.Downsample(2));
    ASSERT_TRUE(downsampled.SaveToFile(dir / "window-downsampled.TEX"));
    EXPECT_TRUE(ReadBytes(tex) == ReadBytes(dir / "window-downsampled.TEX"));
    EXPECT_FALSE(ReadBytes(tex) == original);
}

TEST_F(CliTest, RefusedPicturesAndContainersLeaveTheFilesAsTheyWere)
{
    const std::string tex = dir / "bar.TEX";
    const std::string original = container("cars\\hi_bar_1.TEX");
    WriteBytes(tex, original);

    WriteBytes(dir / "no.TEX", std::string(400, 'x'));
    CliResult r = cli({"tex", "info", dir / "no.TEX"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4TEX Error 002: Invalid TEX. Magic ID not found"), npos) << r.err;

    // Pictures the game's textures cannot take.
    WriteBytes(dir / "24bit.tga", plainTGA(32, 32, 24));
    WriteBytes(dir / "30wide.tga", plainTGA(30, 32, 32));
    WriteBytes(dir / "rgb.png", StoredPNG(32, 32, 2, std::string(32 * 96, '\x40')));
    const std::vector<std::uint8_t> narrow = EncodePNG(TPicture(30, 32));
    WriteBytes(dir / "30wide.png", std::string(narrow.begin(), narrow.end()));
    // Colour with alpha, but only three bytes a pixel in the data.
    WriteBytes(dir / "cut.png", StoredPNG(32, 32, 6, std::string(32 * 96, '\x40')));
    WriteBytes(dir / "broken.png", "\x89PNG\r\n\x1a\n broken");
    const struct {
        const char* file;
        const char* says;
    } refused[] = {
        {"24bit.tga", "GP4TEX Error 014: Invalid TGA. Needs to be 32 Bit"},
        {"30wide.tga", "GP4TEX Error 013: Invalid TGA. Width and height must be multiples of 4"},
        {"rgb.png", "GP4TEX Error 023: Invalid PNG. Needs to be 32 Bit"},
        {"30wide.png", "GP4TEX Error 024: Invalid PNG. Width and height must be multiples of 4"},
        {"cut.png", "GP4TEX Error 026: Invalid PNG. The picture data is damaged or ends early"},
        {"broken.png", "GP4TEX Error 022: Invalid PNG. No PNG signature and header found"},
    };
    for (const auto& f : refused) {
        r = cli({"tex", "import", tex, dir / f.file, "-i", "0", "--yes"});
        EXPECT_EQ(r.code, 1) << f.file;
        EXPECT_NE(r.err.find(f.says), npos) << r.err;
        EXPECT_TRUE(ReadBytes(tex) == original) << f.file;
    }
    r = cli({"tex", "import", tex, dir / "missing.png", "-i", "0", "--yes"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("does not exist"), npos) << r.err;
    r = cli({"tex", "export", tex, dir / "nine.png", "-i", "9"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("has no texture 9; it holds 4 textures"), npos) << r.err;
    EXPECT_FALSE(FileExists(dir / "nine.png"));

    // A container with a texture of a format the program cannot read is not
    // written again: that texture would be lost.
    std::string dxt3 = original;
    dxt3.replace(Le32(original, 212 + 16) + 84, 4, "DXT3");
    WriteBytes(tex, dxt3);
    r = cli({"tex", "downsample", tex, "--yes"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4TEX Error 004"), npos) << r.err;
    EXPECT_NE(r.err.find("Texture 2 of " + tex + " could not be read"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(tex) == dxt3);
}

TEST_F(CliTest, GameDataGoesOutAsJsonAndComesBackByteForByte)
{
    CliResult r = cli({"game", "show", game});
    ASSERT_EQ(r.code, 0) << r.err;
    for (std::size_t i = 0; i < 11; ++i) {
        const demo::DemoTeam& t = demo::DemoTeams()[i];
        EXPECT_NE(r.out.find("Team " + std::to_string(i + 1) + ": " + t.Name + ", engine " + t.Engine), npos);
        EXPECT_NE(r.out.find(std::string(t.Drivers[1].Name) + ", car number " + std::to_string(t.Drivers[1].CarNumber)),
                  npos);
    }
    EXPECT_NE(r.out.find("Points for positions 1 to 22: 10 6 4 3 2 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"), npos);

    // Every field as the demo game holds it.
    const std::string exported = dir / "game.json";
    r = cli({"game", "export", game, "-o", exported});
    ASSERT_EQ(r.code, 0) << r.err;
    const json document = json::parse(ReadBytes(exported));
    ASSERT_EQ(document["teams"].size(), 11u);
    for (std::size_t i = 0; i < 11; ++i) {
        const demo::DemoTeam& t = demo::DemoTeams()[i];
        const json& j = document["teams"][i];
        EXPECT_EQ(j["team"], i + 1);
        EXPECT_EQ(j["name"], t.Name);
        EXPECT_EQ(j["engine"], t.Engine);
        EXPECT_EQ(j["power_qualifying"], t.PowerQuali);
        EXPECT_EQ(j["power_race"], t.PowerRace);
        EXPECT_EQ(j["failure_probability"], t.FailureProb);
        for (std::size_t d = 0; d < 2; ++d) {
            const json& jd = j["drivers"][d];
            EXPECT_EQ(jd["name"], t.Drivers[d].Name);
            EXPECT_EQ(jd["car_number"], t.Drivers[d].CarNumber);
            EXPECT_EQ(jd["ability_qualifying"], t.Drivers[d].AbilityQualy);
            EXPECT_EQ(jd["ability_race"], t.Drivers[d].AbilityRace);
            EXPECT_EQ(jd["range_qualifying"], t.Drivers[d].RangeQuali);
            EXPECT_EQ(jd["range_race"], t.Drivers[d].RangeRace);
        }
    }
    EXPECT_EQ(document["points"], json(demo::DemoPoints()));
    r = cli({"game", "show", game, "--json"});
    EXPECT_EQ(json::parse(r.out), document);

    // Into a copy: both game files stay as they are.
    const std::string copy = newGame("copy");
    r = cli({"game", "import", copy, exported});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(copy + "GP4.EXE") == *exe_);
    EXPECT_TRUE(ReadBytes(copy + "F1GSTATE.SAV") == *save_);

    // Into a game whose every record byte differs: afterwards both of its
    // files are the exported game's, byte for byte.
    const std::string other = newGame("other");
    std::string exe = *exe_;
    std::string save = *save_;
    auto scramble = [](std::string& bytes, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            bytes[i] = static_cast<char>(bytes[i] ^ 0xA5);
    };
    scramble(exe, 0x22971C, 0x22980E);
    scramble(exe, 0x3BE1D2, 0x3BE1D2 + 22);
    scramble(save, 0x17A36, 0x17A36 + 22);
    scramble(save, 0x17B14, 0x17E42);
    Reseal(save);
    WriteBytes(other + "GP4.EXE", exe);
    WriteBytes(other + "F1GSTATE.SAV", save);
    r = cli({"game", "import", other, exported});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(other + "GP4.EXE") == *exe_);
    EXPECT_TRUE(ReadBytes(other + "F1GSTATE.SAV") == *save_);

    // A few changes, with names beyond ASCII (the second with its
    // diaeresis as a combining character): the bytes that the windows' save
    // of the same edits writes.
    WriteBytes(dir / "changes.json", R"({"teams": [{"team": 3, "name": "Équipe €",
        "drivers": [{}, {"name": "Zoe\u0308", "car_number": 42}]}],
        "points": [25, 18, 15, 12, 10, 8, 6, 4, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]})");
    r = cli({"game", "import", game, dir / "changes.json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Wrote team 3 and the points table into " + game), npos) << r.err;
    const std::string windows = newGame("windows");
    {
        ScopedScript script;
        useGame(windows);
        SelectItems({12, 21});
        ImportSelected();
        SetFieldText(Teams[2].TeamName, "\xC9quipe \x80");
        SetFieldText(Teams[2].Drivers[1].DriverName, "Zo\xEB");
        Teams[2].Drivers[1].CarNumber = 42;
        PointsTable[0] = 25;
        PointsTable[1] = 18;
        PointsTable[2] = 15;
        PointsTable[3] = 12;
        PointsTable[4] = 10;
        PointsTable[5] = 8;
        PointsTable[6] = 6;
        PointsTable[7] = 4;
        PointsTable[8] = 2;
        PointsTable[9] = 1;
        SelectItems({12, 21});
        ExportSelected();
        EXPECT_EQ(script->verify(), "");
    }
    const std::string newSave = ReadBytes(game + "F1GSTATE.SAV");
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == ReadBytes(windows + "GP4.EXE"));
    EXPECT_TRUE(newSave == ReadBytes(windows + "F1GSTATE.SAV"));
    EXPECT_EQ(newSave.substr(0x17D3E, 13), std::string("\xC9quipe \x80\0\0\0\0\0", 13));
    EXPECT_EQ(newSave.substr(0x17B74 + 24, 4), std::string("Zo\xEB\0", 4));
    EXPECT_EQ(ByteAt(newSave, 0x17A3B), 42u);
    EXPECT_EQ(Le32(newSave, 0x17E48), SaveFileSeal(newSave));
}

TEST_F(CliTest, GameImportRefusesWhatTheGameCannotHoldAndWritesNothing)
{
    const struct {
        const char* document;
        const char* says;
    } refused[] = {
        {R"({"teams": [{"team": 3, "name": "中国"}]})", "teams[0].name: \"中国\" holds a character that the game's code page"},
        {R"({"teams": [{"team": 3, "nmae": "x"}]})", "teams[0].nmae: unknown key"},
        {R"({"teams": [{"team": 3, "engine": "Fourteen chars"}]})", "is 14 characters long; the game holds 13"},
        {R"({"teams": [{"team": 3, "drivers": [{}, {"car_number": 150}]}]})", "team 3 driver 2 car number: must be from 0 to 99"},
        {R"({"teams": [{"team": 3, "drivers": [{}]}]})", "teams[0].drivers: must be a list of the team's two drivers"},
        {R"({"teams": [{"team": 3}, {"team": 3}]})", "team 3 is named twice"},
        {R"({"teams": [{"team": 12}]})", "must be a team's number, 1 to 11"},
        {R"({"teams": [{"name": "x"}]})", "needs the key \"team\""},
        {R"({"teams": [{"team": 1, "power_race": -1}]})", "power_race: must be from 0 to 65535"},
        {R"({"teams": [{"team": 1, "power_race": 1.5}]})", "power_race: must be a whole number"},
        {R"({"teams": [{"team": 1, "name": "Tab\there"}]})", "team 1 name: a name holds no control characters"},
        {R"({"points": [1, 2, 3]})", "points: must be a list of 22 numbers"},
        {R"({"points": [256, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]})", "points[0]: must be from 0 to 255"},
        {R"({"teams": [)", "is not a JSON document"},
        {R"([1, 2])", "the document: must be an object"},
    };
    for (const auto& f : refused) {
        WriteBytes(dir / "bad.json", f.document);
        const CliResult r = cli({"game", "import", game, dir / "bad.json"});
        EXPECT_EQ(r.code, 1) << f.document;
        EXPECT_NE(r.err.find(f.says), npos) << r.err;
    }
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == *exe_);
    EXPECT_TRUE(ReadBytes(game + "F1GSTATE.SAV") == *save_);

    // Not a game folder of the release the program edits.
    WriteBytes(dir / "good.json", R"({"teams": [{"team": 1, "name": "x"}]})");
    CliResult r = cli({"game", "import", dir / "nowhere", dir / "good.json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Invalid GP4 path"), npos) << r.err;
    WriteBytes(dir / "short/GP4.EXE", "MZ");
    WriteBytes(dir / "short/F1GSTATE.SAV", *save_);
    r = cli({"game", "show", dir / "short"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(dir / "short: "), npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = cli({"game", "import", game, dir / "missing.json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing.json"), npos) << r.err;
}

TEST_F(CliTest, LiveriesMakeARoundTripThroughPngAndReachTheGameAsTheWindowPutsThem)
{
#ifdef _WIN32
    GTEST_SKIP() << "Skipped on Windows: Pillow, the independent reader, runs on Linux only";
#endif
    if (!havePillow())
        GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const std::string folder = dir / "liveries/";
    CliResult r = cli({"game", "liveries", "export", game, folder, "--team", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> files = ListFiles(folder, "*.*", false, false);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{folder + "Silverline - 1.png", folder + "Silverline - 2.png",
                                                folder + "Silverline - 3.png"}));

    // Pillow reads the first livery, paints an opaque blue band and a
    // transparent one across its top, and saves it as PNG and as TGA.
    const std::string edited = dir / "edited/";
    ForceDirectories(edited);
    const char* const edit = "import sys\n"
                             "from PIL import Image, ImageDraw\n"
                             "im = Image.open(sys.argv[1])\n"
                             "assert im.mode == 'RGBA' and im.size == (512, 512)\n"
                             "open(sys.argv[2], 'wb').write(im.tobytes())\n"
                             "d = ImageDraw.Draw(im)\n"
                             "d.rectangle((0, 0, 255, 127), fill=(0, 0, 255, 255))\n"
                             "d.rectangle((256, 0, 511, 127), fill=(255, 255, 0, 0))\n"
                             "im.save(sys.argv[3])\n"
                             "im.save(sys.argv[4])\n";
    ASSERT_TRUE(run(std::string(Python) + " -c " + quoted(edit) + " " + quoted(folder + "Silverline - 1.png") + " " +
                    quoted(dir / "exported.rgba") + " " + quoted(edited + "Silverline - 1.png") + " " +
                    quoted(dir / "edited.tga")));
    // The exported picture is texture 0 of the team's container, every byte.
    TTEXFile high;
    const std::string member = container("cars\\hi_mclaren_1.TEX");
    ASSERT_TRUE(high.LoadFromBuffer(member.data(), member.size()));
    const std::string rgba = ReadBytes(dir / "exported.rgba");
    const TPicture& picture = *high.GetBitmap(0);
    ASSERT_EQ(rgba.size(), picture.Pixels.size());
    bool same = true;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        same = same && ByteAt(rgba, i) == picture.Pixels[i + 2] && ByteAt(rgba, i + 1) == picture.Pixels[i + 1] &&
               ByteAt(rgba, i + 2) == picture.Pixels[i] && ByteAt(rgba, i + 3) == picture.Pixels[i + 3];
    EXPECT_TRUE(same);

    r = cli({"game", "liveries", "import", game, edited});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("A backup of " + game + "cars.wad\nwill be created: " + game + "cars.wad.BAK"), npos)
        << r.err;

    // The window: team 2 loaded, the TGA put in, the smaller ones rebuilt,
    // saved into the game.
    const std::string windows = newGame("windows");
    {
        ScopedScript script;
        useGame(windows);
        script->expectMessage("A backup of " + windows + "cars.wad\r\nwill be created: " + windows + "cars.wad.BAK");
        SelectItems({23});
        ImportSelected();
        TTEXFile& livery = *CarTextureTable[1][0];
        ASSERT_TRUE(livery.ImportTGA(0, dir / "edited.tga"));
        ASSERT_TRUE(livery.Downsample(2));
        SelectItems({23});
        ExportSelected();
        EXPECT_EQ(script->verify(), "");
    }
    const std::string cars = ReadBytes(game + "cars.wad");
    EXPECT_TRUE(cars == ReadBytes(windows + "cars.wad"));
    EXPECT_TRUE(ReadBytes(game + "cars.wad.BAK") == *cars_);
    const std::string newHigh = MemberBytes(ArchiveMembers(cars), "cars\\hi_mclaren_1.TEX");
    TTEXFile decoded;
    ASSERT_TRUE(decoded.LoadFromBuffer(newHigh.data(), newHigh.size()));
    const std::uint8_t* blue = decoded.GetBitmap(0)->Pixel(100, 100);
    EXPECT_EQ(std::vector<int>(blue, blue + 4), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(decoded.GetBitmap(0)->Pixel(300, 100)[3], 0);
    // The other liveries keep their bytes.
    EXPECT_TRUE(MemberBytes(ArchiveMembers(cars), "cars\\hi_mclaren_2.TEX") == container("cars\\hi_mclaren_2.TEX"));

    // A picture of no use stops the import before the game is touched.
    WriteBytes(edited + "Silverline - 2.tga", plainTGA(30, 32, 32));
    r = cli({"game", "liveries", "import", game, edited});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4TEX Error 013"), npos) << r.err;
    EXPECT_NE(r.err.find("Nothing was written"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(game + "cars.wad") == cars);
}

TEST_F(CliTest, AProgressBarShowsOnATerminalUnlessQuiet)
{
#ifdef _WIN32
    GTEST_SKIP() << "Skipped on Windows: the test has no pseudo-terminal to show the bar on there";
#endif
    CliResult r = RunCliOnTerminal({"game", "show", game}, cliTemp.path());
    if (r.code == -1 && r.err.empty())
        GTEST_SKIP() << "No pseudo-terminal";
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("Importing... ["), npos) << r.err;
    EXPECT_NE(r.err.find("] 12/12 Points table"), npos) << r.err;
    EXPECT_NE(r.out.find("Team 1: Rossa Corse"), npos);
    r = RunCliOnTerminal({"--quiet", "game", "show", game}, cliTemp.path());
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    // Not on a terminal: no bar either.
    r = cli({"game", "show", game});
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, MeshInfoShowsTheWorkshopsLinesAndTheSameDataAsJson)
{
    const std::string car = game + "meshes/DEMOCAR.GP4";
    const demo::DemoMesh source = demo::DemoCarMesh();
    std::size_t polygons = 0;
    for (const demo::DemoShape& s : source.Shapes)
        polygons += s.Triangles.size();

    CliResult r = cli({"mesh", "info", car});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string text = r.out;
    // The header in the order of the window's captions, numbers unsigned.
    EXPECT_NE(text.find("Header\n  ID: GP4MESHBIN\n  M_Type: M_07\n  Filename: democar.gp4\n  Unknown1: 3\n"
                        "  Unknown2: 7\n  Unknown3: 0\n  Unknown4: 4294967295\n  Unknown5: 65536\n  NumShapes: 7\n"
                        "  Num Vertices: " + std::to_string(source.Positions.size()) +
                        "\n  Num Polygons: " + std::to_string(polygons) +
                        "\n  Num Unk16: 8\n  Num Unk21: 7\n  Vertex Unknown1: 17\n  Vertex Unknown2: 3\n"
                        "  Vertex Unknown3: 0\n  Vertex Unknown4: 2\nShapes (7)\n  0 body\n"),
              npos)
        << text;
    // The rear wing: its two runs, its list record and its 46 data words,
    // integers signed and floats with three decimals.
    EXPECT_NE(text.find("  6 wing_rear\n    preview line: wing_rear (runs 6, 7)\n    run list: 506 2 6 7\n"), npos);
    const std::size_t rear = text.find("  6 wing_rear\n");
    const std::vector<std::string> data = wordsAfter(text.substr(rear), "    data: ");
    ASSERT_EQ(data.size(), 46u);
    EXPECT_EQ(data[0], "6");
    EXPECT_EQ(data[1], "24");
    for (std::size_t w : {7, 9, 11, 15, 37})
        EXPECT_EQ(data[w], fixed3(6.0f + static_cast<float>(w) * 0.25f - 3.5f)) << w;
    for (std::size_t w : {2, 10, 14, 38, 45})
        EXPECT_EQ(data[w].find('.'), npos) << w;
    // Material 1: per group its word unsigned and its floats, then 16 words.
    const std::vector<std::string> material = wordsAfter(text.substr(text.find("  1 wing_carbon\n")), "    data: ");
    ASSERT_EQ(material.size(), 36u);
    for (int g = 0; g < 5; ++g) {
        EXPECT_EQ(material[4 * g], u32(g == 0 ? 1 : -g));
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(material[4 * g + 1 + k], fixed3(static_cast<float>(g) * 0.5f + static_cast<float>(k) * 0.125f));
    }
    for (int w = 0; w < 16; ++w)
        EXPECT_EQ(material[20 + w], u32(w == 0 ? 1 : w - 8)) << w;
    EXPECT_NE(text.find("Textures (3)\n  democar_body.tex\n  democar_wing.tex\n  democar_tyre.tex\nRuns (8)\n"
                        "  0: 0 12 2 3 4 5 6\n"),
              npos);
    // The pylon's run after the 142 triangles of the others; the log ends
    // with the end chunk at the end of the file.
    EXPECT_NE(text.find("  7: 142 12 72 73 74 75 76\nChunks (5)\n  00000028@ "), npos);
    EXPECT_EQ(text.substr(text.size() - 19), "00000029@ " + hex8(static_cast<std::uint32_t>(GetFileSize(car))) + "\n");

    // JSON: the same values, numbers as numbers.
    r = cli({"mesh", "info", car, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const json info = json::parse(r.out);
    const json& header = info["header"];
    EXPECT_EQ(header["id"], "GP4MESHBIN");
    EXPECT_EQ(header["m_type"], "M_07");
    EXPECT_EQ(header["filename"], source.Filename);
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_EQ(header["unknown" + std::to_string(k + 1)], static_cast<std::uint32_t>(source.Header[k]));
    EXPECT_EQ(header["num_shapes"], source.Shapes.size());
    EXPECT_EQ(header["num_vertices"], source.Positions.size());
    EXPECT_EQ(header["num_polygons"], polygons);
    EXPECT_EQ(header["num_unk16"], 8);
    EXPECT_EQ(header["num_unk21"], 7);
    EXPECT_EQ(header["vertex_unknown1"], source.VertexUnknown1);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(header["vertex_unknown" + std::to_string(k + 2)], source.VertexExtra[k]);
    ASSERT_EQ(info["shapes"].size(), source.Shapes.size());
    for (std::size_t s = 0; s < source.Shapes.size(); ++s) {
        const json& shape = info["shapes"][s];
        EXPECT_EQ(shape["name"], source.Shapes[s].Name);
        EXPECT_EQ(shape["run_list"]["runs"], s == 6 ? json::array({6, 7}) : json::array({s}));
        EXPECT_EQ(shape["run_list"]["first"], 500 + s);
        ASSERT_EQ(shape["data"].size(), 46u);
        EXPECT_EQ(shape["data"][0], s);
        EXPECT_EQ(shape["data"][1], source.Shapes[s].Triangles.size());
        for (std::size_t w = 0; w < 46; ++w) {
            const bool integer = w <= 6 || w == 10 || w == 14 || w >= 38;
            EXPECT_EQ(shape["data"][w].is_number_integer(), integer) << s << " " << w;
            if (!integer) {
                EXPECT_EQ(shape["data"][w].get<double>(), static_cast<float>(s) + static_cast<float>(w) * 0.25f - 3.5f);
            }
        }
    }
    EXPECT_EQ(info["shapes"][6]["preview_line"], "wing_rear (runs 6, 7)");
    ASSERT_EQ(info["materials"].size(), source.Materials.size());
    for (std::size_t m = 0; m < source.Materials.size(); ++m) {
        const json& j = info["materials"][m];
        EXPECT_EQ(j["name"], source.Materials[m]);
        for (std::size_t g = 0; g < 5; ++g) {
            EXPECT_EQ(j["groups"][g]["value"], static_cast<std::uint32_t>(g == 0 ? static_cast<int>(m) : -static_cast<int>(g)));
            for (std::size_t k = 0; k < 3; ++k)
                EXPECT_EQ(j["groups"][g]["floats"][k].get<double>(), static_cast<double>(g) * 0.5 + static_cast<double>(k) * 0.125);
        }
        EXPECT_EQ(j["words"][0], m);
        EXPECT_EQ(j["words"][1], 4294967289u);
    }
    EXPECT_EQ(info["textures"], json(source.Textures));
    ASSERT_EQ(info["runs"].size(), 8u);
    std::size_t covered = 0;
    for (std::size_t run = 0; run < 8; ++run) {
        const json& words = info["runs"][run]["words"];
        covered += words[1].get<std::size_t>();
        for (std::size_t w = 2; w < 7; ++w)
            EXPECT_EQ(words[w], 10 * run + w);
    }
    EXPECT_EQ(covered, polygons);
    const std::vector<std::string> chunks = info["chunks"];
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_NE(text.find("Chunks (5)\n  " + chunks[0] + "\n  " + chunks[1] + "\n"), npos);

    // Sections chosen: only those.
    r = cli({"mesh", "info", car, "--chunks"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, text.substr(text.find("Chunks (5)\n")));
    r = cli({"mesh", "info", car, "--json", "--textures", "--runs"});
    const json some = json::parse(r.out);
    EXPECT_EQ(some.size(), 3u);
    EXPECT_EQ(some["textures"], info["textures"]);
    EXPECT_EQ(some["runs"], info["runs"]);

    // The "M_05" mesh: no Unknown2, 180 bytes of shape data, 20-byte runs.
    r = cli({"mesh", "info", game + "meshes/TRACKSIDE.GP4", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const json side = json::parse(r.out);
    EXPECT_EQ(side["header"]["m_type"], "M_05");
    EXPECT_EQ(side["header"]["unknown2"], 0);
    EXPECT_EQ(side["header"]["unknown3"], 12);
    EXPECT_EQ(side["shapes"][3]["name"], "tyre_stack");
    EXPECT_EQ(side["shapes"][3]["data"][45], 0);
    EXPECT_EQ(side["runs"][3]["words"], json::array({36, 36, 32, 33, 34, 0, 0}));
}

TEST_F(CliTest, MeshExportWritesTheWindowsThreeDSFileOrTheNamedShapes)
{
    const std::string car = game + "meshes/DEMOCAR.GP4";
    const demo::DemoMesh source = demo::DemoCarMesh();
    const std::string out = dir / "out/car.3DS";

    CliResult r = cli({"mesh", "export-3ds", car, out});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Wrote " + out + " with 7 objects"), npos) << r.err;
    const std::string written = ReadBytes(out);
    std::vector<Object3DS> expected;
    for (const demo::DemoShape& shape : source.Shapes)
        expected.push_back(objectOf(shape));
    EXPECT_EQ(objectsOf(written), expected);
    // The window's Save as 3DS gives the same bytes, but for the random
    // ambient colour of each material.
    {
        ScopedScript script;
        ASSERT_TRUE(TGP4File(car).Save3DS(dir / "window.3DS"));
        EXPECT_EQ(script->verify(), "");
    }
    int ours = 0, theirs = 0;
    EXPECT_TRUE(withoutAmbient(written, ours) == withoutAmbient(ReadBytes(dir / "window.3DS"), theirs));
    EXPECT_EQ(ours, 3);
    EXPECT_EQ(theirs, 3);

    // An existing file only with --force.
    WriteBytes(out, "mine");
    r = cli({"mesh", "export-3ds", car, out, "--shape", "6", "-s", "0,6"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(out + " already exists; add --force"), npos) << r.err;
    EXPECT_EQ(ReadBytes(out), "mine");
    // Named shapes once each, in the file's order.
    r = cli({"mesh", "export-3ds", car, out, "--shape", "6", "-s", "0,6", "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(objectsOf(ReadBytes(out)), (std::vector<Object3DS>{expected[0], expected[6]}));

    // A shape the mesh does not hold, and the mesh file itself as the output.
    r = cli({"mesh", "export-3ds", car, dir / "nine.3DS", "--shape", "7"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(car + " has no shape 7; it holds 7 shapes, numbered from 0"), npos) << r.err;
    EXPECT_FALSE(FileExists(dir / "nine.3DS"));
    r = cli({"mesh", "export-3ds", car, car, "--force"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("would replace the mesh file"), npos) << r.err;
    EXPECT_EQ(GetFileSize(car), static_cast<std::int64_t>(demo::BuildGP4Mesh(source).size()));
}

TEST_F(CliTest, DamagedMeshesEndWithTheReadersMessage)
{
    const std::string whole = ReadBytes(game + "meshes/DEMOCAR.GP4");
    const std::string cut = dir / "cut.GP4";
    WriteBytes(cut, whole.substr(0, whole.size() - 20));
    std::string wrong = whole;
    wrong[9] = 'X';
    WriteBytes(dir / "wrong.GP4", wrong);
    const struct {
        std::string file;
        std::string says;
    } refused[] = {
        {cut, "Read error in \"" + cut + "\": The file ends inside"},
        {dir / "wrong.GP4", "GP4GP4 Error 001: Invalid GP4 file, magic ID not found (Read: GP4MESHBIX"},
        {dir / "missing.GP4", "missing.GP4"},
    };
    for (const auto& f : refused) {
        for (const bool json : {false, true}) {
            CliResult r = cli(json ? std::vector<std::string>{"mesh", "info", f.file, "--json"}
                                   : std::vector<std::string>{"mesh", "info", f.file});
            EXPECT_EQ(r.code, 1) << f.file;
            EXPECT_NE(r.err.find(f.says), npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
        const CliResult r = cli({"mesh", "export-3ds", f.file, dir / "out.3DS"});
        EXPECT_EQ(r.code, 1) << f.file;
        EXPECT_NE(r.err.find(f.says), npos) << r.err;
        EXPECT_FALSE(FileExists(dir / "out.3DS"));
    }

    // A shape that names a run the file does not hold: everything is shown
    // and exported but that run, and the exit code says so.
    demo::DemoMesh odd = demo::DemoTrackSideMesh();
    odd.RunListsOverride = {{0}, {1, 9}, {2}, {3}};
    WriteBytes(dir / "odd.GP4", demo::BuildGP4Mesh(odd));
    CliResult r = cli({"mesh", "info", dir / "odd.GP4", "--shapes"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4GP4 Error 011: Shapes name what the file does not hold (first shape 1, cone_right)"), npos)
        << r.err;
    EXPECT_NE(r.out.find("    preview line: cone_right (runs 1, 9)\n"), npos) << r.out;
    r = cli({"mesh", "export-3ds", dir / "odd.GP4", dir / "odd.3DS"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("GP4GP4 Error 013: The 3DS file leaves out what the shapes name but the mesh does not hold: "
                         "1 run list entry names no run"),
              npos)
        << r.err;
    std::vector<Object3DS> expected;
    for (const demo::DemoShape& shape : odd.Shapes)
        expected.push_back(objectOf(shape));
    EXPECT_EQ(objectsOf(ReadBytes(dir / "odd.3DS")), expected);
}

TEST_F(CliTest, ASignalEndsTheRunWithoutLeavingItsWorkingFolder)
{
#ifdef _WIN32
    GTEST_SKIP() << "Skipped on Windows: a console program there gets no signals that a test could send";
#else
    // The run waits for its JSON file, a pipe no one writes, with its
    // working folder in place.
    const std::string pipe = dir / "teams.json";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const CliResult r = RunCliAndSignal(
            {"game", "import", game, pipe}, cliTemp.path(),
            [this] {
                for (const auto& entry : std::filesystem::directory_iterator(cliTemp.path()))
                    if (DirectoryExists(entry.path().string() + "/Export"))
                        return true;
                return false;
            },
            signal);
        // Ended by the signal, the working folder gone (checked by the run).
        EXPECT_EQ(r.signal, signal);
    }
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == *exe_);
#endif
}

TEST_F(CliTest, AnImportKeepsTheFilesAsTheyWereAndRestorePutsThemBack)
{
    const std::string json = dir / "change.json";
    WriteBytes(json, R"({"teams": [{"team": 3, "name": "Changed", "power_qualifying": 30001}]})");
    CliResult r = cli({"game", "import", game, json});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE.BAK") == *exe_);
    EXPECT_TRUE(ReadBytes(game + "F1GSTATE.SAV.BAK") == *save_);
    const std::string changedExe = ReadBytes(game + "GP4.EXE");
    EXPECT_FALSE(changedExe == *exe_);

    r = cli({"game", "restore", game});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Restored " + game + "GP4.EXE from " + game + "GP4.EXE.BAK"), npos) << r.err;
    EXPECT_NE(r.err.find("Restored " + game + "F1GSTATE.SAV from " + game + "F1GSTATE.SAV.BAK"), npos) << r.err;
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE") == *exe_);
    EXPECT_TRUE(ReadBytes(game + "F1GSTATE.SAV") == *save_);
    EXPECT_TRUE(ReadBytes(game + "cars.wad") == *cars_);
    EXPECT_TRUE(ReadBytes(game + "GP4.EXE.BAK") == *exe_);

    // Without backups nothing is restored, and said so.
    for (const char* name : {"GP4.EXE.BAK", "F1GSTATE.SAV.BAK"})
        std::filesystem::remove(game + name);
    r = cli({"game", "restore", game});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("There are no backups in " + game + "; nothing was restored"), npos) << r.err;
}
