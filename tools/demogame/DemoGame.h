// A synthetic game folder of our own making, with plausible data at the
// places where the game keeps it, so that Paddock can be run and tested
// without the game. Used by tools/make-demo-game and by the tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace paddock::demo {

struct DemoDriver {
    const char* Name;
    std::uint8_t CarNumber;
    std::uint16_t AbilityQualy, AbilityRace, RangeQuali, RangeRace;
};

struct DemoTeam {
    const char* Name;
    const char* Engine;
    std::uint16_t PowerQuali, PowerRace, FailureProb;
    DemoDriver Drivers[2];
};

const std::array<DemoTeam, 11>& DemoTeams();
const std::array<std::uint8_t, 22>& DemoPoints();

// The bytes of the two game files.
std::string MakeDemoExe();  // 6250496 bytes
std::string MakeDemoSave(); // 97868 bytes, sealed with its checksum

// Writes GP4.EXE and F1GSTATE.SAV, and with withCars also cars.wad, into
// folder (created when missing).
void WriteDemoGame(const std::string& folder, bool withCars = false);

} // namespace paddock::demo
