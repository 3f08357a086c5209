// Writes a synthetic GP4 v1.0 game folder of our own making:
//   make-demo-game FOLDER
#include "DemoGame.h"
#include "DemoMeshes.h"

#include "app/Tools.h"

#include <cstdio>
#include <exception>

int main(int argc, char* argv[])
{
    // The folder's name in UTF-8 on every system.
    const std::vector<std::string> args = paddock::ProgramArguments(argc, argv);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\nWrites a synthetic Grand Prix 4 game folder for Paddock.\n", argv[0]);
        return 2;
    }
    try {
        paddock::demo::WriteDemoGame(args[1], true);
        paddock::demo::WriteDemoMeshes(args[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo-game: %s\n", e.what());
        return 1;
    }
    std::printf("Demo game written to %s\n", args[1].c_str());
    return 0;
}
