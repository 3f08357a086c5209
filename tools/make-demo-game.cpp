// Writes a synthetic GP4 v1.0 game folder of our own making:
//   make-demo-game FOLDER
#include "DemoGame.h"
#include "DemoMeshes.h"

#include <cstdio>
#include <exception>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\nWrites a synthetic Grand Prix 4 game folder for Paddock.\n", argv[0]);
        return 2;
    }
    try {
        paddock::demo::WriteDemoGame(argv[1], true);
        paddock::demo::WriteDemoMeshes(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo-game: %s\n", e.what());
        return 1;
    }
    std::printf("Demo game written to %s\n", argv[1]);
    return 0;
}
