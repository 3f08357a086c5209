// The car textures of the 11 teams: two liveries and a sheet of car numbers
// each, held in memory as their high-resolution TEX containers. They are
// loaded from the game's cars.wad and, for the export, staged as files below
// the export folder together with low-resolution containers derived from
// them, from which the export rebuilds cars.wad.
#pragma once

#include "app/Items.h"
#include "game/CarTextureNames.h"

#include <array>
#include <memory>
#include <string>

namespace paddock {

class TTEXFile;

// One slot per team (0..10) and kind (0 liveries 1, 1 liveries 2, 2 numbers):
// the high-resolution container, or none. The table owns the containers; the
// car textures window changes them in place.
using TCarTextureTable = std::array<std::array<std::unique_ptr<TTEXFile>, CarTextureKinds>, TeamCount>;
extern TCarTextureTable CarTextureTable;

// Empties every slot.
void ClearCarTextures();

// The game's archive (the game folder's cars.wad, in any letter case).
std::string CarsArchivePath();
// The folder below the export folder where the members of cars.wad are staged.
std::string CarsStagingFolder();

// For every team whose item 22 + t is selected, loads its three
// high-resolution containers from the game's archive into the table. A
// container that is missing, lies outside the archive or is no TEX leaves its
// slot empty with "Error loading car texture " + its name; a team counts as
// loaded (LoadedItems[22 + t]) as soon as one of its containers loaded. The
// archive is opened only when some team is selected.
void LoadCarTextures(const TItemSet& selection, const TItemDone& done = {});

// For every selected team, stages its three high-resolution containers and
// three low-resolution containers derived from them below CarsStagingFolder,
// each under its member's name as the game's archive spells it. Texture 0 of
// the game's low-resolution container keeps its size: it becomes the
// high-resolution texture of that size (texture 1, or for numbers 128 pixels
// wide texture 0, where those have it), its blocks copied where the formats
// agree and the picture was not edited, or else the full-size picture scaled
// to it; the smaller textures are rebuilt from it. What cannot be staged (an
// empty slot, a member missing from the game's archive, a container with a
// texture that could not be read) is skipped with a message naming the
// member; a container is staged whole or not at all. What earlier saves
// staged for the selected teams goes first, so that only what this save
// staged reaches the game for them. The game's archive is only read, and
// only when some team is selected.
void SaveCarTextures(const TItemSet& selection, const TItemDone& done = {});

} // namespace paddock
