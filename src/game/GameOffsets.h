// Where the game keeps its data inside GP4.EXE and F1GSTATE.SAV. The tables
// are indexed by the game release (1 = GP4 v1.0, the only one); index 0 is
// unused.
#pragma once

#include <cstdint>

namespace paddock {

inline constexpr std::uint8_t GameVersion = 1;
inline constexpr std::uint8_t SaveNamesVersion = 1;

// GP4.EXE: the figures block of 242 bytes (power, ability, range, failure).
inline constexpr std::uint32_t ExeFiguresOffset[] = {0, 0x22971C};
// GP4.EXE: the 22-byte points table.
inline constexpr std::uint32_t ExePointsOffset[] = {0, 0x3BE1D2};
// F1GSTATE.SAV: two car numbers per team.
inline constexpr std::uint32_t SaveNumbersOffset[] = {0, 0x17A36};
// F1GSTATE.SAV: driver names (48 bytes a team), then team names and engine
// names (13 bytes each).
inline constexpr std::uint32_t SaveNamesOffset[] = {0, 0x17B14};

inline constexpr int TeamNameSize = 13;
inline constexpr int EngineNameSize = 13;
inline constexpr int DriverNameSize = 24;
inline constexpr int PointsCount = 22;

} // namespace paddock
