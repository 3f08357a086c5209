// The two commands that move data between the program's tables and the
// installed game. The editor windows choose the items (SelectItems) and call
// one of them; a progress window shows while it runs.
#pragma once

#include "formats/GP4WAD.h"

#include <string>
#include <vector>

namespace paddock {

// What an export put into one of the game's archives.
struct TAppliedArchive {
    std::string Archive; // the game's archive
    TWADRebuildReport Report;
};

// Reads every selected item from the game: the team records, then the
// points table, then the car textures; each marks what it read as loaded.
// Then the open editor shows the new values.
void ImportSelected();

// Writes every selected item that was loaded in this run into the game (the
// others are taken out of the selection first): the open editor stores its
// fields, then the team records, the points table and the car textures are
// written, the last staged below the export folder. Then every archive
// staged there is rebuilt in the game folder with its staged members, after
// a backup of it (name + ".BAK"); the archive is replaced only when the new
// one is whole, and left alone when its backup could not be made. Returns
// what went into each archive that was rebuilt.
std::vector<TAppliedArchive> ExportSelected();

// The last step of the export on its own: rebuilds the game's archives from
// the folders named *.wad in the export folder, and tells what each took.
std::vector<TAppliedArchive> ApplyStagedArchives();

} // namespace paddock
