#include "app/Profile.h"

#include "app/FileError.h"
#include "app/Tools.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace paddock {

namespace {

// Loads the file when it exists; a missing or unreadable file reads as empty.
void load(CSimpleIniA& ini, const std::string& path)
{
    ini.SetUnicode(false);
    ini.SetSpaces(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    if (FileExists(path))
        ini.LoadFile(path.c_str());
}

} // namespace

std::string ProfileReadString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& defaultValue)
{
    CSimpleIniA ini;
    load(ini, ResolveNoCase(file));
    const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : defaultValue;
}

int ProfileReadInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue)
{
    // A value that is not a whole decimal number reads as the default.
    const std::string text = ProfileReadString(file, section, key, {});
    if (text.empty())
        return defaultValue;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX)
        return defaultValue;
    return static_cast<int>(value);
}

bool ProfileReadBool(const std::string& file, const std::string& section, const std::string& key,
                     bool defaultValue)
{
    return ProfileReadInt(file, section, key, defaultValue ? 1 : 0) != 0;
}

void ProfileWriteString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value)
{
    const std::string path = ResolveNoCase(file);
    CSimpleIniA ini;
    load(ini, path);
    ini.SetValue(section.c_str(), key.c_str(), value.c_str());

    // Write beside the file and put it in place in one step, so that a failed
    // write never leaves a damaged settings file behind.
    const std::string temp = path + ".new";
    errno = 0;
    if (ini.SaveFile(temp.c_str(), false) < 0) {
        const int err = errno;
        std::remove(temp.c_str());
        throw EFileError("Cannot write settings file", path, SystemReason(err ? err : EIO));
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        throw EFileError("Cannot write settings file", path, ec.message());
    }
}

} // namespace paddock
