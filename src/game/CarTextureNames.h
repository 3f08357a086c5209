// The names of the car texture containers inside the game's cars.wad.
#pragma once

#include <string>

namespace paddock {

inline constexpr int CarTextureKinds = 3; // liveries 1, liveries 2, numbers

// The member name of team t's (0..10) car texture of kind k (0..2), high or
// low resolution: "cars\hi_ferrari_1.TEX", "cars\ferrari_1.TEX", ...
std::string CarTextureName(int team, int kind, bool highRes);
// The prefix of team t's members ("ferrari", "mclaren", ...); fixed by the
// team's position, whatever the team is called.
const char* CarTexturePrefix(int team);

} // namespace paddock
