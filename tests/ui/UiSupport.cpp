#include "UiSupport.h"

namespace paddock::testing {

void WriteSettingsFile(const TempDir& programDir, const std::string& gamePath, const std::string& accessMode,
                       bool firstStart)
{
    std::string text = "[Options]\nGamePath=" + gamePath + "\n";
    if (!accessMode.empty())
        text += "AccessMode=" + accessMode + "\n";
    text += std::string("[Paddock]\nFirstStart=") + (firstStart ? "1" : "0") + "\n";
    WriteBytes(programDir / "Paddock.INI", text);
}

} // namespace paddock::testing
