// The points the game awards for each finishing position, kept inside the
// executable (GP4.EXE) as 22 bytes, one per position.
#pragma once

#include "app/Items.h"
#include "game/GameOffsets.h"

#include <array>
#include <cstdint>

namespace paddock {

using TPointsTable = std::array<std::uint8_t, PointsCount>;
// The most points a position can award: one byte.
constexpr int PointsMax = 255;

// Entry i: the points for finishing position i + 1. All zero until read.
extern TPointsTable PointsTable;

// With ItemPoints selected, reads the table from Settings.GameExePath, marks
// it in LoadedItems and reports "Points table" to done. A file too short for
// the table throws EReadError and leaves the table and LoadedItems as they were.
void ReadPoints(const TItemSet& selection, const TItemDone& done = {});

// With ItemPoints selected, writes the table into the executable in place and
// reports "Points table" to done; otherwise opens nothing. A file too short for
// the table throws EFileError before anything is written.
void WritePoints(const TItemSet& selection, const TItemDone& done = {});

} // namespace paddock
