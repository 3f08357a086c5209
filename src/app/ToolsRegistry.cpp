#include "app/ToolsRegistry.h"

#include "app/Profile.h"
#include "app/Tools.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

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
    // Key paths, value names and values are UTF-8 here and UTF-16 there.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ToPath(keyPath).wstring().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    const std::wstring name = ToPath(valueName).wstring();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ)) {
            text.resize(std::min<std::size_t>(got / sizeof(wchar_t), text.size()));
            while (!text.empty() && text.back() == L'\0')
                text.pop_back();
            value = FromPath(std::filesystem::path(text));
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
