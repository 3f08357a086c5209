// The 11 teams and their 22 drivers. The game keeps their names and car
// numbers in the saved configuration (F1GSTATE.SAV) and their performance and
// reliability figures inside the executable (GP4.EXE); the records here hold
// both, read from and written into the two files in place.
#pragma once

#include "app/Items.h"
#include "app/Tools.h"
#include "game/GameOffsets.h"

#include <array>
#include <cstdint>
#include <string>

namespace paddock {

// Texts are fields of fixed width holding the game's single-byte
// (Windows-1252) bytes exactly as the files have them, so that a record read
// and written back leaves every byte as it was. A text in a field runs up to
// its first zero byte or to the field's end; a text stored in it fills it,
// then zeros, and a longer one is cut at the field's width. Numbers are the
// game's raw values.
template <std::size_t Width> using TTextField = std::array<char, Width>;

// The text of a field.
template <std::size_t Width> std::string FieldText(const TTextField<Width>& field)
{
    return FieldToString(field.data(), Width);
}

// Stores a text in a field as the game does.
template <std::size_t Width> void SetFieldText(TTextField<Width>& field, const std::string& text)
{
    StringToField(text, field.data(), Width - 1);
}

// What the editors let a figure and a car number hold: a figure its 16 bits,
// a car number the two digits the game shows.
constexpr int FigureMax = 65535;
constexpr int CarNumberMax = 99;

struct TDriverRecord {
    TTextField<DriverNameSize> DriverName{};
    std::uint16_t AbilityQualy = 0;
    std::uint16_t AbilityRace = 0;
    std::uint16_t RangeQuali = 0;
    std::uint16_t RangeRace = 0;
    std::uint8_t CarNumber = 0;

    bool operator==(const TDriverRecord&) const = default;
};

struct TTeamRecord {
    TTextField<TeamNameSize> TeamName{};
    TTextField<EngineNameSize> EngineName{};
    std::uint16_t FailureProb = 0;
    std::uint16_t PowerQuali = 0;
    std::uint16_t PowerRace = 0;
    std::array<TDriverRecord, 2> Drivers{};

    bool operator==(const TTeamRecord&) const = default;
};

using TTeams = std::array<TTeamRecord, TeamCount>;

// Index 0..10 is the game's team 1..11, in the game's order.
extern TTeams Teams;

// Numbered placeholders: "Team n", "Engine n", drivers "Driver 1" to
// "Driver 22" with car numbers 1 to 22, and middling figures.
void InitTeams();

// Reads the teams whose items (ItemTeamFirst + index) are selected from
// Settings.GameExePath and Settings.SaveFilePath, marks them in LoadedItems
// and reports each to done as "Team n". Both files are opened even when no
// team is selected. A file too short for a selected team's bytes throws
// EReadError and leaves Teams and LoadedItems as they were.
void ReadTeams(const TItemSet& selection, const TItemDone& done = {});

// Writes the selected teams into the two files in place, leaving every other
// byte as it is, then renews the save file's checksum. Without a selected team
// no file is opened. A file too short for the records throws EFileError
// before anything is written to either file.
void WriteTeams(const TItemSet& selection, const TItemDone& done = {});

} // namespace paddock
