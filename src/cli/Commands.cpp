#include "cli/Commands.h"

#include "app/Tools.h"
#include "cli/Terminal.h"

#include <cstdio>

namespace paddock::cli {

void PrintOut(const std::string& text)
{
    std::fputs((text + "\n").c_str(), stdout);
}

void RefuseExisting(const std::string& path, bool force)
{
    if (!force && FileExists(path))
        throw CommandFailed(path + " already exists; add --force to replace it");
}

void EnsureFolderOf(const std::string& path)
{
    const std::string folder = ExtractFilePath(path);
    if (!folder.empty() && !DirectoryExists(folder) && !ForceDirectories(folder))
        throw CommandFailed("Cannot create the folder " + folder);
}

} // namespace paddock::cli
