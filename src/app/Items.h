// Item sets: what the next import or export concerns (SelectedItems) and what
// has been read from the game during this run (LoadedItems).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>

namespace paddock {

inline constexpr int ItemCount = 4096;
using TItemSet = std::array<std::uint8_t, ItemCount>;

// Item numbers.
inline constexpr int ItemTeamFirst = 10;        // + team index 0..10: team record
inline constexpr int ItemPoints = 21;           // the points table
inline constexpr int ItemCarTexturesFirst = 22; // + team index 0..10: car textures
inline constexpr int TeamCount = 11;
// In a list of codes, this code is followed by the first and last item of a range.
inline constexpr std::uint16_t ItemRange = 0xFFFF;

// Told by the readers and writers of the game data each time one item has
// been read or written, with a short name of it ("Team 3", "Points table"),
// so that a progress window can follow the work. May be empty.
using TItemDone = std::function<void(const std::string& item)>;

extern TItemSet SelectedItems;
extern TItemSet LoadedItems;

// Clears SelectedItems and sets the items the codes name.
void SelectItems(std::span<const std::uint16_t> codes);
void SelectItems(std::initializer_list<std::uint16_t> codes);
// True when any flag from first to last inclusive is set; false when last < first.
bool AnyItemSelected(const TItemSet& set, int first, int last);
void ClearItems(TItemSet& set);

} // namespace paddock
