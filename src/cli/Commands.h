// The command groups of paddock-cli. Each adds its commands to the program's
// parser; the command that the arguments choose leaves its job in `job`, which
// runs once the whole command line has been parsed.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace paddock::cli {

using Job = std::function<void()>;

// wad list|extract|create|rebuild|check|repair
void AddWadCommands(CLI::App& app, Job& job);
// tex info|export|import|downsample
void AddTexCommands(CLI::App& app, Job& job);
// game show|export|import, game liveries export|import
void AddGameCommands(CLI::App& app, Job& job);
// mesh info|export-3ds
void AddMeshCommands(CLI::App& app, Job& job);

// Shared by the commands.

// Prints data on stdout.
void PrintOut(const std::string& text);
// Refuses to replace an existing file unless force is set.
void RefuseExisting(const std::string& path, bool force);
// Creates the folder that a file is to be written into.
void EnsureFolderOf(const std::string& path);

} // namespace paddock::cli
