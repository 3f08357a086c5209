#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/Items.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Tools.h"

#include "DemoGame.h"
#include "GameBytes.h"
#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

using namespace paddock;
using namespace paddock::testing;

namespace {

const char* const FirstStart =
    "----- IMPORTANT ----\r\n\r\nThis is the first time you are using Paddock v1.2. \r\n\r\n"
    "If you had problems with Paddock v1.1 please recover your original cars.wad file";
const char* const BadPath = "Invalid GP4 path. Please configure...";
const char* const BadExePath = "Invalid GP4.EXE path. Please configure...";
const char* const NoSave = "F1GSTATE.SAV not found. Try to execute GP4 and save your configuration when exiting the "
                           "game. This will create F1GSTATE.SAV";
const char* const BadExe = "Invalid GP4.EXE. You need a decrypted GP4.EXE (Filesize has to be 6250496 byte)";
const char* const BadSave =
    "Invalid F1GSTATE.SAV. You need a F1GSTATE.SAV created by GP4 v1.0. (Filesize has to be 97868 byte)";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = Settings;
        savedMode_ = AccessMode;
        Settings = {};
        Settings.ProgramPath = dir.path();
    }
    void TearDown() override
    {
        EXPECT_EQ(script->verify(), "");
        Settings = saved_;
        AccessMode = savedMode_;
    }
    void writeIni(const std::string& text) { WriteBytes(dir / "Paddock.INI", text); }

    TempDir dir;
    ScopedScript script;
    TSettings saved_;
    std::uint8_t savedMode_ = 0;
};

} // namespace

TEST_F(SettingsTest, MissingFileGivesDefaultsAndTheFirstStartMessage)
{
    script->expectMessage(FirstStart);
    LoadSettings();
    EXPECT_EQ(Settings.GamePath, "");
    EXPECT_EQ(Settings.GameExePath, "GP4.EXE");
    EXPECT_EQ(Settings.SaveFilePath, "F1GSTATE.SAV");
    EXPECT_EQ(AccessMode, AccessUser);
    EXPECT_FALSE(FileExists(dir / "Paddock.INI"));
}

TEST_F(SettingsTest, ValuesAreReadWithoutRegardToCase)
{
    const std::string game = RemoveTrailingBackslash(dir / "game");
    writeIni("[options]\ngamepath=" + game + "\nGP4EXE=gp4_nocd.exe\naccessmode=developer\n[PADDOCK]\nfirststart=0\n");
    LoadSettings();
    EXPECT_EQ(Settings.GamePath, game + PathDelim);
    EXPECT_EQ(Settings.GameExePath, game + PathDelim + "gp4_nocd.exe");
    EXPECT_EQ(Settings.SaveFilePath, game + PathDelim + "F1GSTATE.SAV");
    EXPECT_EQ(AccessMode, AccessDeveloper);
}

TEST_F(SettingsTest, AccessModeWords)
{
    EXPECT_EQ(AccessModeFromText("DEVELOPER"), AccessDeveloper);
    EXPECT_EQ(AccessModeFromText("Developer"), AccessDeveloper);
    EXPECT_EQ(AccessModeFromText("advanced"), AccessAdvanced);
    EXPECT_EQ(AccessModeFromText("USER"), AccessUser);
    EXPECT_EQ(AccessModeFromText("root"), AccessUser);
    EXPECT_EQ(AccessModeFromText(""), AccessUser);
}

TEST_F(SettingsTest, SavingKeepsTheRestOfTheFile)
{
    writeIni("; my notes\n[Options]\nGamePath=old\nAccessMode=DEVELOPER\n[Pathes]\nEditorTEX.LoadTEX=/x/\n"
             "[Paddock]\nFirstStart=1\n");
    Settings.GamePath = dir / "new/";
    Settings.GameExePath = dir / "new/gp4.exe";
    SaveSettings();
    const std::string ini = dir / "Paddock.INI";
    EXPECT_EQ(ProfileReadString(ini, "Options", "GamePath", ""), dir / "new/");
    EXPECT_EQ(ProfileReadString(ini, "Options", "GP4EXE", ""), "gp4.exe");
    EXPECT_EQ(ProfileReadString(ini, "Paddock", "FirstStart", ""), "0");
    EXPECT_EQ(ProfileReadString(ini, "Options", "AccessMode", ""), "DEVELOPER");
    EXPECT_EQ(ProfileReadString(ini, "Pathes", "EditorTEX.LoadTEX", ""), "/x/");
    EXPECT_NE(ReadBytes(ini).find("; my notes"), std::string::npos);
    // The next start shows no first-start message.
    LoadSettings();
}

TEST_F(SettingsTest, TheSettingsFileIsOneFileInAnyLetterCase)
{
    const auto namesInFolder = [this] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // Without a settings file, a file dialog's first write creates it as
    // "Paddock.INI", and the end of the program writes into the same file.
    script->expectOpenFile(dir / "x/a.TEX");
    std::string chosen;
    ASSERT_TRUE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    SaveSettings();
    EXPECT_EQ(namesInFolder(), std::vector<std::string>{"Paddock.INI"});
    std::filesystem::remove(dir / "Paddock.INI");

    // A file spelled otherwise is read and written in place.
    WriteBytes(dir / "PADDOCK.INI", "[Paddock]\nFirstStart=0\n[Options]\nGamePath=/games/gp4\n");
    LoadSettings();
    EXPECT_EQ(Settings.GamePath, std::string("/games/gp4") + PathDelim);
    script->expectOpenFile(std::nullopt);
    EXPECT_FALSE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    EXPECT_EQ(script->fileRequests().back().initialFolder, Settings.GamePath);
    script->expectOpenFile(dir / "y/b.TEX");
    ASSERT_TRUE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    SaveSettings();
    EXPECT_EQ(namesInFolder(), std::vector<std::string>{"PADDOCK.INI"});
    EXPECT_EQ(ProfileReadString(dir / "PADDOCK.INI", "Pathes", "EditorTEX.LoadTEX", ""), dir / "y/");
    EXPECT_EQ(ProfileReadString(dir / "PADDOCK.INI", "Options", "GP4EXE", ""), "GP4.EXE");

    // Beside a hand-made "Paddock.INI", every reader and writer takes that one.
    WriteBytes(dir / "Paddock.INI", "[Paddock]\nFirstStart=0\n[Pathes]\nEditorTEX.LoadTEX=/mine/\n");
    script->expectOpenFile(std::nullopt);
    EXPECT_FALSE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    EXPECT_EQ(script->fileRequests().back().initialFolder, "/mine/");
    LoadSettings();
    EXPECT_EQ(Settings.GamePath, "");
}

TEST_F(SettingsTest, ValuesAreKeptVerbatim)
{
    const std::string ini = dir / "Paddock.INI";
    ProfileWriteString(ini, "Options", "GamePath", "C:\\Games\\GP4\\");
    ProfileWriteString(ini, "Pathes", "a", "x=y;\"z\"");
    EXPECT_EQ(ProfileReadString(ini, "OPTIONS", "GAMEPATH", ""), "C:\\Games\\GP4\\");
    EXPECT_EQ(ProfileReadString(ini, "pathes", "A", ""), "x=y;\"z\"");
    EXPECT_EQ(ProfileReadInt(ini, "Options", "GamePath", 7), 7);
}

TEST_F(SettingsTest, InstallationCheckReportsTheFirstFailureOnly)
{
    const std::string game = dir / "game/";
    script->expectError(BadPath);
    EXPECT_FALSE(CheckGamePath(game, "GP4.EXE"));
    script->expectError(BadPath);
    EXPECT_FALSE(CheckGamePath("", "GP4.EXE"));

    ForceDirectories(game);
    script->expectError(BadExePath);
    EXPECT_FALSE(CheckGamePath(game, "GP4.EXE"));

    // A valid executable without the saved configuration.
    WriteBytes(game + "GP4.EXE", std::string(GameExeSize, '\0'));
    script->expectError(NoSave);
    EXPECT_FALSE(CheckGamePath(game, "GP4.EXE"));

    // One byte too short or too long fails the size test of the executable,
    // and the save file's size is not looked at while it does.
    WriteBytes(game + "F1GSTATE.SAV", "tiny");
    for (std::int64_t size : {GameExeSize - 1, GameExeSize + 1}) {
        std::filesystem::resize_file(game + "GP4.EXE", static_cast<std::uintmax_t>(size));
        script->expectError(BadExe);
        EXPECT_FALSE(CheckGamePath(game, "GP4.EXE"));
    }
    std::filesystem::resize_file(game + "GP4.EXE", GameExeSize);
    for (std::int64_t size : {SaveFileSize - 1, SaveFileSize + 1, std::int64_t{0}}) {
        std::filesystem::resize_file(game + "F1GSTATE.SAV", static_cast<std::uintmax_t>(size));
        script->expectError(BadSave);
        EXPECT_FALSE(CheckGamePath(game, "GP4.EXE"));
    }
    // Contents do not matter; the folder may be given without its delimiter.
    std::filesystem::resize_file(game + "F1GSTATE.SAV", SaveFileSize);
    EXPECT_TRUE(CheckGamePath(game, "GP4.EXE"));
    EXPECT_TRUE(CheckGamePath(RemoveTrailingBackslash(game), "GP4.EXE"));
}

TEST_F(SettingsTest, GameFilesAreFoundInAnyLetterCase)
{
    const std::string game = dir / "game/";
    demo::WriteDemoGame(game);
    // Through another name: a change of letter case alone is no change to
    // every file system.
    std::filesystem::rename(ToPath(game + "GP4.EXE"), ToPath(game + "x"));
    std::filesystem::rename(ToPath(game + "x"), ToPath(game + "gp4.exe"));
    std::filesystem::rename(ToPath(game + "F1GSTATE.SAV"), ToPath(game + "x"));
    std::filesystem::rename(ToPath(game + "x"), ToPath(game + "f1gstate.sav"));
    EXPECT_TRUE(CheckGamePath(game, "GP4.EXE"));
    SetGamePaths(game, "GP4.EXE");
    EXPECT_EQ(Settings.GameExePath, game + "gp4.exe");
    EXPECT_EQ(Settings.SaveFilePath, game + "f1gstate.sav");
}

TEST_F(SettingsTest, DemoGamePassesTheCheckAndCarriesASealedSaveFile)
{
    const std::string game = dir / "demo";
    demo::WriteDemoGame(game);
    EXPECT_TRUE(CheckGamePath(game, "GP4.EXE"));
    const std::string save = ReadBytes(game + PathDelim + "F1GSTATE.SAV");
    EXPECT_EQ(Le32(save, save.size() - 4), SaveFileSeal(save));
}

TEST_F(SettingsTest, AutoSearchFindsAGameInAWinePrefix)
{
#ifdef _WIN32
    GTEST_SKIP() << "Skipped on Windows: Wine prefixes are searched on Linux only";
#endif
    const std::string home = dir / "home";
    const std::string game = home + "/.wine/drive_c/Program Files (x86)/Infogrames/Grand Prix 4";
    ForceDirectories(home + "/.wine/drive_c/Program Files/GP4 broken");
    WriteBytes(home + "/.wine/drive_c/Program Files/GP4 broken/GP4.EXE", "too small");
    demo::WriteDemoGame(game);
    const std::optional<std::string> savedHome = GetEnv("HOME");
    const std::optional<std::string> savedPrefix = GetEnv("WINEPREFIX");
    SetEnv("HOME", home);
    SetEnv("WINEPREFIX", std::nullopt);
    const std::string found = FindGameInstallation("GP4.EXE");
    SetEnv("HOME", savedHome);
    SetEnv("WINEPREFIX", savedPrefix);
    EXPECT_EQ(found, game + PathDelim);
}

TEST_F(SettingsTest, AutoSearchFindsAGameInTheProgramFoldersAndAtTheRootOfADrive)
{
#ifndef _WIN32
    GTEST_SKIP() << "Windows only: the program folders and drives of Windows";
#else
    // The program folders as the system names them, which need not be on C:
    // nor be called "Program Files".
    const std::string x86 = dir / "Programme (x86)";
    const std::string game = x86 + "\\Infogrames\\Grand Prix 4 \u00E9t\u00E9";
    ForceDirectories(dir / "Programme/GP4 broken");
    WriteBytes(dir / "Programme/GP4 broken/GP4.EXE", "too small");
    demo::WriteDemoGame(game);
    const std::optional<std::string> saved64 = GetEnv("ProgramFiles");
    const std::optional<std::string> saved86 = GetEnv("ProgramFiles(x86)");
    const std::optional<std::string> savedW = GetEnv("ProgramW6432");
    SetEnv("ProgramFiles", dir / "Programme");
    SetEnv("ProgramFiles(x86)", x86);
    SetEnv("ProgramW6432", std::nullopt);
    const std::vector<std::string> usual = UsualGameFolders();
    EXPECT_EQ(FindGameInstallation("GP4.EXE"), game + PathDelim);
    EXPECT_NE(std::find(usual.begin(), usual.end(), dir / "Programme\\GP4 broken\\"), usual.end());

    // At the root of the drive (the drive of the temporary folder).
    SetEnv("ProgramFiles(x86)", dir / "none");
    const std::string root = FromPath(ToPath(dir.path()).root_path());
    const std::string atRoot = root + "GP4 paddock-test-" + ExtractFileName(RemoveTrailingBackslash(dir.path()));
    if (ForceDirectories(atRoot)) {
        demo::WriteDemoGame(atRoot);
        EXPECT_EQ(FindGameInstallation("GP4.EXE"), atRoot + PathDelim);
        DeleteTree(atRoot);
    } else {
        SkippedOnWindows("a game at the root of a drive: no folder can be made at " + root);
    }
    SetEnv("ProgramFiles", saved64);
    SetEnv("ProgramFiles(x86)", saved86);
    SetEnv("ProgramW6432", savedW);
#endif
}

TEST(ItemSets, SelectionCodesAndRanges)
{
    SelectItems({0xFFFF, 10, 20});
    for (int i = 0; i < ItemCount; ++i)
        EXPECT_EQ(SelectedItems[static_cast<std::size_t>(i)], (i >= 10 && i <= 20) ? 1 : 0) << i;

    SelectItems({0xFFFF, 20, 10});
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 0, ItemCount - 1));

    SelectItems({15});
    EXPECT_TRUE(AnyItemSelected(SelectedItems, 15, 15));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 0, 14));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 16, ItemCount - 1));

    // Every call starts from an empty selection.
    SelectItems({0xFFFF, 10, 20});
    SelectItems({12});
    EXPECT_TRUE(AnyItemSelected(SelectedItems, 12, 12));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 10, 11));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 13, 20));

    // Codes mixed with ranges; a range code cut short names nothing.
    SelectItems({21, 0xFFFF, 22, 24, 30, 0xFFFF, 40});
    EXPECT_TRUE(AnyItemSelected(SelectedItems, 21, 24));
    EXPECT_TRUE(AnyItemSelected(SelectedItems, 30, 30));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 25, 29));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 31, ItemCount - 1));

    SelectItems({21});
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 10, 20));
    EXPECT_FALSE(AnyItemSelected(SelectedItems, 21, 20));
    EXPECT_TRUE(AnyItemSelected(SelectedItems, -5, 21));
}

#ifndef _WIN32
TEST_F(SettingsTest, AProgramThatMayNotWriteItsFolderKeepsItsSettingsInTheUsersFolders)
{
    // The environment as it was, put back at the end.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    const std::string program = dir / "bin/";
    ForceDirectories(program);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);

    // A folder it may write: the program is portable, everything beside it.
    SetProgramPaths(program);
    EXPECT_EQ(Settings.ConfigPath, program);
    EXPECT_EQ(Settings.TempPath, program + "PADDOCKTEMP/");
    EXPECT_EQ(SettingsFile(), program + "Paddock.INI");
    EXPECT_EQ(SettingsFileFor(program), program + "Paddock.INI");
    EXPECT_FALSE(DirectoryExists(dir / "config"));

    // An installed program: settings in the user's configuration folder,
    // the working folder and debug information in the cache folder.
    SetFileFault([&program](TFileOp op, const std::string& path) {
        if (op == TFileOp::Create && ExtractFilePath(path) == program)
            throw EFileError("Cannot create file", path, "Permission denied", EACCES);
    });
    EXPECT_EQ(SettingsFileFor(program), dir / "config/Paddock/Paddock.INI");
    SetProgramPaths(program);
    EXPECT_EQ(Settings.ProgramPath, program);
    EXPECT_EQ(Settings.ConfigPath, dir / "config/Paddock/");
    EXPECT_EQ(Settings.TempPath, dir / "cache/Paddock/PADDOCKTEMP/");
    EXPECT_EQ(Settings.ExportPath, dir / "cache/Paddock/PADDOCKTEMP/Export/");
    EXPECT_EQ(Settings.DebugInfoPath, dir / "cache/Paddock/DebugInfo.EIF");
    EXPECT_TRUE(DirectoryExists(dir / "config/Paddock"));
    EXPECT_EQ(SettingsFile(), dir / "config/Paddock/Paddock.INI");
    // Without the XDG variables (or with relative ones): below the home folder.
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_CACHE_HOME", "relative", 1);
    setenv("HOME", (dir / "home").c_str(), 1);
    SetProgramPaths(program);
    EXPECT_EQ(Settings.ConfigPath, dir / "home/.config/Paddock/");
    EXPECT_EQ(Settings.TempPath, dir / "home/.cache/Paddock/PADDOCKTEMP/");
    SetFileFault({});

    for (const auto& [name, value] : saved)
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
}
#endif
