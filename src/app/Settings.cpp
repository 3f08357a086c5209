#include "app/Settings.h"

#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/Profile.h"
#include "app/Tools.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace paddock {

TSettings Settings;
std::uint8_t AccessMode = AccessUser;

namespace {

const char* const FirstStartMessage =
    "----- IMPORTANT ----\r\n\r\nThis is the first time you are using Paddock v1.2. \r\n\r\n"
    "If you had problems with Paddock v1.1 please recover your original cars.wad file";

} // namespace

std::string SettingsFile()
{
    // One file whatever the case of its name: "Paddock.INI" when it exists,
    // else a file of that name in another case, else "Paddock.INI" (created
    // by the first write).
    return FindFileNoCase(Settings.ConfigPath.empty() ? Settings.ProgramPath : Settings.ConfigPath, SettingsFileName);
}

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// $VARIABLE, else HOME + fallback, with "Paddock" appended.
std::string userFolder(const char* variable, const char* fallback)
{
#ifdef _WIN32
    (void)fallback;
    std::string base = environment(variable);
    if (base.empty())
        base = environment("USERPROFILE");
#else
    std::string base = environment(variable);
    if (base.empty() || base.front() != '/') {
        const std::string home = environment("HOME");
        base = home.empty() ? std::string() : AddTrailingBackslash(home) + fallback;
    }
#endif
    return base.empty() ? std::string() : AddTrailingBackslash(AddTrailingBackslash(base) + "Paddock");
}

} // namespace

std::string UserConfigFolder()
{
#ifdef _WIN32
    return userFolder("APPDATA", "");
#else
    return userFolder("XDG_CONFIG_HOME", ".config");
#endif
}

std::string UserCacheFolder()
{
#ifdef _WIN32
    return userFolder("LOCALAPPDATA", "");
#else
    return userFolder("XDG_CACHE_HOME", ".cache");
#endif
}

bool FolderWritable(const std::string& folder)
{
    if (!DirectoryExists(folder))
        return false;
    // A file made and removed at once tells what permissions, attributes
    // and read-only media leave of the folder.
    try {
        TTempPath probe;
        std::FILE* file = CreateTempBeside(AddTrailingBackslash(folder) + SettingsFileName, probe);
        std::fclose(file);
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

namespace {
// The settings folder and the working folder's parent of a program there.
std::pair<std::string, std::string> programFolders(const std::string& programPath)
{
    if (!FolderWritable(programPath) && !UserConfigFolder().empty() && !UserCacheFolder().empty())
        return {UserConfigFolder(), UserCacheFolder()};
    return {programPath, programPath};
}
} // namespace

std::string SettingsFileFor(const std::string& programPath)
{
    const std::string config = programFolders(AddTrailingBackslash(programPath)).first;
    return FindFileNoCase(config, SettingsFileName);
}

void SetProgramPaths(const std::string& programPath)
{
    Settings.ProgramPath = AddTrailingBackslash(programPath);
    const auto [config, work] = programFolders(Settings.ProgramPath);
    if (config != Settings.ProgramPath) {
        ForceDirectories(config);
        ForceDirectories(work);
    }
    Settings.ConfigPath = config;
    Settings.TempPath = work + "PADDOCKTEMP" + PathDelim;
    Settings.ExportPath = Settings.TempPath + "Export" + PathDelim;
    Settings.DebugInfoPath = work + "DebugInfo.EIF";
}

std::uint8_t AccessModeFromText(const std::string& text)
{
    const std::string mode = UpperCase(text);
    if (mode == "DEVELOPER")
        return AccessDeveloper;
    if (mode == "ADVANCED")
        return AccessAdvanced;
    return AccessUser;
}

void SetGamePaths(const std::string& folder, const std::string& exeName)
{
    Settings.GamePath = AddTrailingBackslash(folder);
    // Game folders copied from Windows spell their files in any case.
    Settings.GameExePath = Settings.GamePath.empty() ? exeName : FindFileNoCase(Settings.GamePath, exeName);
    Settings.SaveFilePath =
        Settings.GamePath.empty() ? std::string(SaveFileName) : FindFileNoCase(Settings.GamePath, SaveFileName);
}

void LoadSettings()
{
    const std::string file = SettingsFile();
    const std::string gamePath = ProfileReadString(file, "Options", "GamePath", "");
    const std::string exeName = ProfileReadString(file, "Options", "GP4EXE", DefaultExeName);
    SetGamePaths(gamePath, exeName);
    AccessMode = AccessModeFromText(ProfileReadString(file, "Options", "AccessMode", "USER"));
    if (ProfileReadBool(file, "Paddock", "FirstStart", true))
        ShowMessage(FirstStartMessage);
}

void SaveSettings()
{
    const std::string file = SettingsFile();
    ProfileWriteString(file, "Options", "GamePath", Settings.GamePath);
    ProfileWriteString(file, "Options", "GP4EXE", ExtractFileName(Settings.GameExePath));
    ProfileWriteString(file, "Paddock", "FirstStart", "0");
}

std::string GamePathProblem(const std::string& folder, const std::string& exeName)
{
    const std::string base = AddTrailingBackslash(folder);
    if (folder.empty() || !DirectoryExists(folder))
        return "Invalid GP4 path. Please configure...";
    const std::string exe = FindFileNoCase(base, exeName);
    const std::string save = FindFileNoCase(base, SaveFileName);
    if (exeName.empty() || !FileExists(exe))
        return "Invalid GP4.EXE path. Please configure...";
    if (!FileExists(save))
        return "F1GSTATE.SAV not found. Try to execute GP4 and save your configuration when exiting the game. "
               "This will create F1GSTATE.SAV";
    if (GetFileSize(exe) != GameExeSize)
        return "Invalid GP4.EXE. You need a decrypted GP4.EXE (Filesize has to be 6250496 byte)";
    if (GetFileSize(save) != SaveFileSize)
        return "Invalid F1GSTATE.SAV. You need a F1GSTATE.SAV created by GP4 v1.0. (Filesize has to be 97868 "
               "byte)";
    return {};
}

bool CheckGamePath(const std::string& folder, const std::string& exeName)
{
    const std::string problem = GamePathProblem(folder, exeName);
    if (problem.empty())
        return true;
    ShowErrorMessage(problem);
    return false;
}

namespace {

namespace fs = std::filesystem;

bool looksLikeGameFolderName(const std::string& name)
{
    const std::string upper = UpperCase(name);
    return upper.find("GRAND PRIX 4") != std::string::npos || upper.find("GP4") != std::string::npos;
}

// Adds the subfolders of base (and theirs) whose names look like a GP4 folder.
void scanForGameFolders(const fs::path& base, std::vector<std::string>& out, std::set<std::string>& seen)
{
    constexpr int maxEntries = 4000;
    int entries = 0;
    std::error_code ec;
    auto consider = [&](const fs::path& p) {
        const std::string s = FromPath(p);
#ifdef _WIN32
        // The same folder reached through the system's name for it and
        // through its drive, in another letter case.
        if (seen.insert(UpperCase(s)).second)
#else
        if (seen.insert(s).second)
#endif
            out.push_back(AddTrailingBackslash(s));
    };
    for (fs::directory_iterator it(base, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end && entries < maxEntries; it.increment(ec), ++entries) {
        std::error_code typeError;
        if (!it->is_directory(typeError))
            continue;
        const fs::path sub = it->path();
        if (looksLikeGameFolderName(FromPath(sub.filename()))) {
            consider(sub);
            continue;
        }
        // One level deeper: publisher folders such as "Infogrames\Grand Prix 4".
        std::error_code ec2;
        for (fs::directory_iterator it2(sub, fs::directory_options::skip_permission_denied, ec2), end2;
             !ec2 && it2 != end2 && entries < maxEntries; it2.increment(ec2), ++entries) {
            std::error_code typeError2;
            if (it2->is_directory(typeError2) && looksLikeGameFolderName(FromPath(it2->path().filename())))
                consider(it2->path());
        }
    }
}

// The folders that hold programs, which the system names (on another drive
// or in the system's language, they are not "C:\Program Files").
std::vector<fs::path> programFolders()
{
    std::vector<fs::path> folders;
#ifdef _WIN32
    for (const wchar_t* name : {L"ProgramFiles(x86)", L"ProgramFiles", L"ProgramW6432"}) {
        wchar_t value[MAX_PATH + 1];
        const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
        if (n > 0 && n <= MAX_PATH)
            folders.emplace_back(std::wstring(value, n));
    }
#endif
    return folders;
}

std::vector<fs::path> windowsRoots()
{
    std::vector<fs::path> roots;
#ifdef _WIN32
    // The root of each local drive, fixed or removable; a drive without a
    // disk is passed over without a question to the user.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        const std::wstring root = {static_cast<wchar_t>(L'A' + i), L':', L'\\'};
        const UINT type = GetDriveTypeW(root.c_str());
        if (type == DRIVE_FIXED || type == DRIVE_REMOVABLE)
            roots.emplace_back(root);
    }
    SetErrorMode(oldMode);
#else
    const char* home = std::getenv("HOME");
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix)
        roots.push_back(fs::path(prefix) / "drive_c");
    if (home && *home) {
        const fs::path h(home);
        roots.push_back(h / ".wine" / "drive_c");
        // Prefixes made by the usual Wine front ends hold one folder per prefix.
        for (const fs::path& holder : {h / ".local/share/wineprefixes", h / "Games", h / ".PlayOnLinux/wineprefix",
                                       h / ".local/share/lutris/prefixes", h / ".var/app/com.usebottles.bottles/data/bottles/bottles"}) {
            std::error_code ec;
            for (fs::directory_iterator it(holder, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end; it.increment(ec)) {
                std::error_code dc;
                if (fs::is_directory(it->path() / "drive_c", dc))
                    roots.push_back(it->path() / "drive_c");
            }
        }
    }
#endif
    return roots;
}

} // namespace

std::vector<std::string> UsualGameFolders()
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const fs::path& folder : programFolders()) {
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            scanForGameFolders(folder, out, seen);
    }
    for (const fs::path& root : windowsRoots()) {
        for (const char* sub : {"Program Files (x86)", "Program Files", "Games", ""}) {
            const fs::path base = *sub ? root / sub : root;
            std::error_code ec;
            if (fs::is_directory(base, ec))
                scanForGameFolders(base, out, seen);
        }
    }
    return out;
}

std::string FindGameInstallation(const std::string& exeName)
{
    for (const std::string& folder : UsualGameFolders()) {
        try {
            if (GamePathProblem(folder, exeName).empty())
                return folder;
        } catch (const std::exception&) {
            // A file that cannot be opened only rules this folder out.
        }
    }
    return {};
}

} // namespace paddock
