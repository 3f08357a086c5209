// The teams, drivers, figures, car numbers and points table of a game as a
// JSON document, and the changes a JSON document asks for. Every key is
// optional but "team"; what a document leaves out stays as the game has it:
//
//   {"teams": [{"team": 1, "name": "Rossa Corse", "engine": "Rossa 051",
//               "power_qualifying": 34350, "power_race": 34200,
//               "failure_probability": 1600,
//               "drivers": [{"name": "Marco Bellandi", "car_number": 1,
//                            "ability_qualifying": 16900, "ability_race": 16800,
//                            "range_qualifying": 240, "range_race": 260},
//                           {...driver 2...}]},
//              ...],
//    "points": [10, 6, 4, 3, 2, 1, 0, ...22 numbers, position 1 first]}
#pragma once

#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace paddock::cli {

// Every team (numbered 1 to 11) and the points table; names in UTF-8.
nlohmann::ordered_json GameToJson(const TTeams& teams, const TPointsTable& points);

struct TDriverChange {
    std::optional<std::string> Name; // in the game's code page
    std::optional<int> CarNumber, AbilityQualy, AbilityRace, RangeQuali, RangeRace;
};

struct TTeamChange {
    int Team = 0; // index 0..10
    std::optional<std::string> Name, Engine; // in the game's code page
    std::optional<int> PowerQuali, PowerRace, FailureProb;
    std::array<TDriverChange, 2> Drivers;
};

struct TGameChanges {
    std::vector<TTeamChange> Teams;
    std::optional<TPointsTable> Points;

    // The items the changes concern: ItemTeamFirst + team, ItemPoints.
    std::vector<std::uint16_t> Items() const;
};

// Reads the changes of a document, checking all of it: its shape and keys,
// that numbers are whole and fit their fields, that every name can be held by
// the game's code page and fits its field. Throws CommandFailed naming the
// place of the first problem ("teams[1].drivers[0].name: ...").
TGameChanges ReadGameChanges(const nlohmann::ordered_json& document);

// Applies the changes to the tables as the game has them. A name or number
// left as it is keeps the bytes it has; a changed name must hold no control
// characters, a changed figure must lie within the editor's limits (car
// numbers 0 to 99, points 0 to 255). Throws CommandFailed, with the tables
// then partly changed: apply to copies.
void ApplyGameChanges(const TGameChanges& changes, TTeams& teams, TPointsTable& points);

} // namespace paddock::cli
