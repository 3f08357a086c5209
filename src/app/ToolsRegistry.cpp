#include "app/ToolsRegistry.h"

#include "app/Profile.h"
#include "app/Tools.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace paddock {

std::string RegistryStandInFile()
{
#ifdef _WIN32
    return {};
#else
    if (const char* file = std::getenv("PADDOCK_REGISTRY"); file && *file)
        return file;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = std::string(home) + "/.config";
    else
        return {};
    return AddTrailingBackslash(config) + "Paddock/Registry.ini";
#endif
}

void TPitlaneRegistry::ReadRegString(TRegistryRoot root, const std::string& keyPath, std::string& value,
                                     const std::string& defaultValue, const std::string& valueName) const
{
    value = defaultValue;
    if (root != HKEY_CURRENT_USER_KEY)
        return;
#ifdef _WIN32
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::string text(size, '\0');
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) ==
            ERROR_SUCCESS) {
            text.resize(std::min<std::size_t>(size, text.size()));
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            value = text;
        }
    }
    RegCloseKey(key);
#else
    const std::string store = RegistryStandInFile();
    if (store.empty() || !FileExists(store))
        return;
    value = ProfileReadString(store, "HKEY_CURRENT_USER\\" + keyPath, valueName, defaultValue);
#endif
}

} // namespace paddock
