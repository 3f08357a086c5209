// Reading the user's registry: the settings that the development environment
// keeps there. On Windows this is the registry itself; elsewhere a stand-in
// store of the same shape: an INI file whose sections are key paths (such as
// "HKEY_CURRENT_USER\Software\Paddock\Development") and whose keys are value
// names. The store is the file named by the environment variable
// PADDOCK_REGISTRY, else "Paddock/Registry.ini" in the user's configuration
// folder ($XDG_CONFIG_HOME, or ~/.config). The program never writes it.
#pragma once

#include <string>

namespace paddock {

enum TRegistryRoot { HKEY_CURRENT_USER_KEY };

class TPitlaneRegistry {
public:
    // value <- the text value valueName under root\keyPath, or defaultValue
    // when the store, the key or the value does not exist. Never fails.
    void ReadRegString(TRegistryRoot root, const std::string& keyPath, std::string& value,
                       const std::string& defaultValue, const std::string& valueName) const;
};

// The stand-in store's file (empty on Windows, where the registry is read).
std::string RegistryStandInFile();

} // namespace paddock
