#include "app/Profile.h"

#include "app/FileError.h"
#include "app/Streams.h"
#include "app/Tools.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace paddock {

namespace {

// Loads the file when it exists; a missing or unreadable file reads as empty.
void load(CSimpleIniA& ini, const std::string& path)
{
    ini.SetUnicode(false);
    ini.SetSpaces(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    if (!FileExists(path))
        return;
    // Read through the file layer, whose names are UTF-8 on every system.
    TMemoryStream bytes;
    try {
        bytes.LoadFromFile(path);
    } catch (const EFileError&) {
        return;
    }
    ini.LoadData(reinterpret_cast<const char*>(bytes.Memory()), static_cast<std::size_t>(bytes.Size()));
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

    // Written beside the file and put in its place in one step, so that a
    // failed write never leaves a damaged settings file behind.
    std::string text;
    if (ini.Save(text, false) < 0)
        throw EFileError("Cannot write settings file", path, "Out of memory");
    try {
        TSafeFileStream out(path);
        out.WriteBuffer(text.data(), text.size());
        out.Commit();
    } catch (const EFileError& e) {
        throw EFileError("Cannot write settings file", path, e.reason(), e.code());
    }
}

} // namespace paddock
