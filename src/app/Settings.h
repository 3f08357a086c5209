// Where things are: the program's folders, the game folder and the two game
// files, carried from run to run in the settings file "Paddock.INI".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace paddock {

inline constexpr std::int64_t GameExeSize = 6250496;  // GP4.EXE of GP4 v1.0
inline constexpr std::int64_t SaveFileSize = 97868;   // F1GSTATE.SAV of GP4 v1.0
inline constexpr const char* SettingsFileName = "Paddock.INI";
inline constexpr const char* DefaultExeName = "GP4.EXE";
inline constexpr const char* SaveFileName = "F1GSTATE.SAV";

// Every folder ends with the path delimiter.
struct TSettings {
    std::string ProgramPath;
    // The folder of the settings file: ProgramPath for a program that may
    // write its own folder, else the user's configuration folder; empty
    // means ProgramPath.
    std::string ConfigPath;
    std::string TempPath;
    std::string ExportPath;
    std::string DebugInfoPath;
    std::string GamePath;
    std::string GameExePath;
    std::string SaveFilePath;
};

extern TSettings Settings;

enum : std::uint8_t { AccessUser = 1, AccessAdvanced = 2, AccessDeveloper = 3 };
extern std::uint8_t AccessMode;

// The settings file in its folder (ConfigPath), found without regard to the
// case of its name; every reader and writer of the settings uses this one path.
std::string SettingsFile();

// Where the program keeps its settings and its working folder. A program
// whose folder may be written is portable: its settings, working folder
// (PADDOCKTEMP) and debug information stay beside it. An installed program
// keeps its settings in the user's configuration folder and the rest in the
// user's cache folder (below), created when missing. Sets ProgramPath,
// ConfigPath, TempPath, ExportPath and DebugInfoPath.
void SetProgramPaths(const std::string& programPath);
// The settings file a program in that folder uses, without creating anything.
std::string SettingsFileFor(const std::string& programPath);
// True when new files may be made in the folder.
bool FolderWritable(const std::string& folder);
// The user's configuration and cache folders for Paddock, ending with the
// path delimiter: $XDG_CONFIG_HOME/Paddock/ (else ~/.config/Paddock/) and
// $XDG_CACHE_HOME/Paddock/ (else ~/.cache/Paddock/); on Windows
// %APPDATA%\Paddock\ and %LOCALAPPDATA%\Paddock\.
std::string UserConfigFolder();
std::string UserCacheFolder();

// Reads the game folder, executable name and access mode; shows the first-start
// message until the program has once ended normally.
void LoadSettings();
// Writes the game folder, the executable name and FirstStart=0.
void SaveSettings();
// Sets GamePath, GameExePath and SaveFilePath from a folder and an executable name.
void SetGamePaths(const std::string& folder, const std::string& exeName);

// The installation check. Returns the message of the first failing test, or an
// empty text when the folder holds a usable GP4 v1.0 installation.
std::string GamePathProblem(const std::string& folder, const std::string& exeName);
// The installation check that reports its first failure in an error box.
bool CheckGamePath(const std::string& folder, const std::string& exeName);

// The access mode a settings value selects.
std::uint8_t AccessModeFromText(const std::string& text);

// Folders where a GP4 installation is usually found on this system, most
// likely first: folders whose names hold "GP4" or "Grand Prix 4", in the
// program folders, "Games" and the root of each drive, or one level below
// (a publisher's folder). On Windows the drives are the local ones and the
// program folders also those the system names; on Linux the drives are the
// Wine prefixes under the user's home.
std::vector<std::string> UsualGameFolders();
// The first folder of UsualGameFolders that passes the installation check,
// or empty.
std::string FindGameInstallation(const std::string& exeName);

} // namespace paddock
