#include "game/CarTextureNames.h"

#include <array>

namespace paddock {

const char* CarTexturePrefix(int team)
{
    static const std::array<const char*, 11> prefixes{"ferrari", "mclaren", "williams", "benetton",
                                                      "bar",     "jordan",  "arrows_a22", "sauber",
                                                      "jaguar",  "minardi", "prost"};
    return team >= 0 && team < static_cast<int>(prefixes.size()) ? prefixes[static_cast<std::size_t>(team)] : "";
}

std::string CarTextureName(int team, int kind, bool highRes)
{
    return std::string("cars\\") + (highRes ? "hi_" : "") + CarTexturePrefix(team) + "_" + std::to_string(kind + 1) +
           ".TEX";
}

} // namespace paddock
