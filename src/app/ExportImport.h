// The two commands that move data between the program's tables and the
// installed game. The editor windows choose the items (SelectItems) and call
// one of them; a progress window shows while it runs.
#pragma once

#include "app/Items.h"
#include "formats/GP4WAD.h"

#include <string>
#include <vector>

namespace paddock {

// What an export put into one of the game's archives.
struct TAppliedArchive {
    std::string Archive; // the game's archive
    TWADRebuildReport Report;
};

// What an export did.
struct TExportReport {
    TItemSet Requested{}; // the selection as the window made it
    TItemSet Saved{};     // what of it was loaded in this run, and so written
    // The files the export changed, by the names the user knows them by,
    // backups first.
    std::vector<std::string> Written;
    // What went into each archive that was rebuilt.
    std::vector<TAppliedArchive> Archives;

    // True when nothing that was selected had been loaded: nothing was done.
    bool NothingToSave() const;
};

// Reads every selected item from the game: the team records, then the
// points table, then the car textures; each marks what it read as loaded.
// Then the open editor shows the new values, and the main window's status
// line says what was loaded.
void ImportSelected();

// Writes every selected item that was loaded in this run into the game (the
// others are taken out of the selection first): the open editor stores its
// fields, then the team records, the points table and the car textures are
// written, the last staged below the export folder. Then every archive
// staged there is rebuilt in the game folder with its staged members, with
// a backup of it (name + ".BAK"). The first change of GP4.EXE and
// F1GSTATE.SAV in a run keeps their bytes as they were in GP4.EXE.BAK and
// F1GSTATE.SAV.BAK. Every file the export changes reaches the game folder
// together with the others, or none does: a failure at any step leaves the
// game's files as they were. When nothing selected was loaded, nothing is
// done and a message says to load first. The main window's status line says
// what was saved where. Returns what the export did.
TExportReport ExportSelected();

// The items of a set in words: "team 3 (Ferrari)", "teams 1, 2 and 5",
// "all 11 teams", "the points", "the car textures of team 3 (Ferrari)",
// joined by "and"; empty for none.
std::string DescribeItems(const TItemSet& items);
// What an export did, in one sentence for the status line: "Saved team 3
// (Ferrari) into GP4.EXE and F1GSTATE.SAV".
std::string DescribeExport(const TExportReport& report);

// The loaded items whose data in memory differs from what was last read from
// or written into the game: team records and the points table compared with
// their values then, car textures marked by MarkEdited.
TItemSet UnsavedItems();
// The data of an item was changed in memory (a picture loaded into a car
// texture); a load or save of the item forgets it.
void MarkEdited(int item);

// The last step of the export on its own: rebuilds the game's archives from
// the folders named *.wad in the export folder, and tells what each took;
// each rebuilt archive is reported to done as "Archive NAME".
std::vector<TAppliedArchive> ApplyStagedArchives(const TItemDone& done = {});

// A game file and the backup beside it.
struct TGameBackup {
    std::string File;
    std::string Backup;
};

// The game's files that have a backup beside them (NAME.BAK, in any letter
// case): the executable, the saved configuration and cars.wad.
std::vector<TGameBackup> GameBackups();

// Puts the bytes of every backup in its file's place, all of them or none
// (the backups stay as they are), and returns what was restored.
std::vector<TGameBackup> RestoreGameBackups();

} // namespace paddock
