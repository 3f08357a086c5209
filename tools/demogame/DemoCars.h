// The demo game's cars.wad: recognisable liveries drawn in code for the
// eleven teams, high and low resolution, plus a few unrelated members.
#pragma once

#include "formats/Picture.h"

#include <string>
#include <utility>
#include <vector>

namespace paddock::demo {

// The member names and bytes of the demo cars.wad, in archive order.
std::vector<std::pair<std::string, std::string>> MakeDemoCarMembers();

// An archive holding the members in order, laid out with one zero byte after
// every member, written independently of the program's archive code.
std::string BuildWAD(const std::vector<std::pair<std::string, std::string>>& members);

// The livery picture of team t, kind k (0, 1 liveries; 2 numbers) at a size.
TPicture DrawLivery(int team, int kind, int size);

// Width of texture 0 of team t's low-resolution numbers container: 128 for
// some teams, 256 for the others.
int LowResNumbersWidth(int team);

} // namespace paddock::demo
