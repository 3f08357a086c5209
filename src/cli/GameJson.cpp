#include "cli/GameJson.h"

#include "cli/Terminal.h"
#include "formats/CodePage.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <set>

namespace paddock::cli {

namespace {

using json = nlohmann::ordered_json;

// The keys of the document.
const char* const KeyTeams = "teams";
const char* const KeyPoints = "points";
const char* const KeyTeam = "team";
const char* const KeyName = "name";
const char* const KeyEngine = "engine";
const char* const KeyPowerQuali = "power_qualifying";
const char* const KeyPowerRace = "power_race";
const char* const KeyFailureProb = "failure_probability";
const char* const KeyDrivers = "drivers";
const char* const KeyCarNumber = "car_number";
const char* const KeyAbilityQualy = "ability_qualifying";
const char* const KeyAbilityRace = "ability_race";
const char* const KeyRangeQuali = "range_qualifying";
const char* const KeyRangeRace = "range_race";

constexpr int ByteMax = 0xFF;

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw CommandFailed(where + ": " + what);
}

void checkKeys(const json& object, const std::string& where, std::initializer_list<const char*> keys)
{
    if (!object.is_object())
        fail(where, "must be an object");
    for (auto it = object.begin(); it != object.end(); ++it)
        if (std::none_of(keys.begin(), keys.end(), [&](const char* key) { return it.key() == key; })) {
            std::string known;
            for (const char* key : keys)
                known += std::string(known.empty() ? "" : ", ") + key;
            fail(where + "." + it.key(), "unknown key; the keys here are " + known);
        }
}

int number(const json& value, const std::string& where, int max)
{
    if (!value.is_number_integer())
        fail(where, "must be a whole number");
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > static_cast<std::uint64_t>(max))
        fail(where, "must be from 0 to " + std::to_string(max));
    return static_cast<int>(value.get<std::uint64_t>());
}

std::optional<int> optionalNumber(const json& object, const char* key, const std::string& where, int max)
{
    const auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    return number(*it, where + "." + key, max);
}

std::optional<std::string> optionalName(const json& object, const char* key, const std::string& where,
                                        std::size_t width)
{
    const auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    const std::string place = where + "." + key;
    if (!it->is_string())
        fail(place, "must be a text");
    const std::optional<std::string> bytes = Utf8ToGameText(it->get<std::string>());
    if (!bytes)
        fail(place, "\"" + it->get<std::string>() +
                        "\" holds a character that the game's code page (Windows-1252) cannot hold");
    if (bytes->size() > width)
        fail(place, "\"" + it->get<std::string>() + "\" is " + std::to_string(bytes->size()) +
                        " characters long; the game holds " + std::to_string(width));
    return bytes;
}

TDriverChange readDriver(const json& object, const std::string& where)
{
    checkKeys(object, where,
              {KeyName, KeyCarNumber, KeyAbilityQualy, KeyAbilityRace, KeyRangeQuali, KeyRangeRace});
    TDriverChange d;
    d.Name = optionalName(object, KeyName, where, DriverNameSize);
    d.CarNumber = optionalNumber(object, KeyCarNumber, where, ByteMax);
    d.AbilityQualy = optionalNumber(object, KeyAbilityQualy, where, FigureMax);
    d.AbilityRace = optionalNumber(object, KeyAbilityRace, where, FigureMax);
    d.RangeQuali = optionalNumber(object, KeyRangeQuali, where, FigureMax);
    d.RangeRace = optionalNumber(object, KeyRangeRace, where, FigureMax);
    return d;
}

TTeamChange readTeam(const json& object, const std::string& where)
{
    checkKeys(object, where,
              {KeyTeam, KeyName, KeyEngine, KeyPowerQuali, KeyPowerRace, KeyFailureProb, KeyDrivers});
    const auto team = object.find(KeyTeam);
    if (team == object.end())
        fail(where, "needs the key \"team\": the team's number, 1 to 11");
    TTeamChange t;
    if (!team->is_number_unsigned() || team->get<std::uint64_t>() < 1 || team->get<std::uint64_t>() > TeamCount)
        fail(where + ".team", "must be a team's number, 1 to 11");
    t.Team = static_cast<int>(team->get<std::uint64_t>()) - 1;
    t.Name = optionalName(object, KeyName, where, TeamNameSize);
    t.Engine = optionalName(object, KeyEngine, where, EngineNameSize);
    t.PowerQuali = optionalNumber(object, KeyPowerQuali, where, FigureMax);
    t.PowerRace = optionalNumber(object, KeyPowerRace, where, FigureMax);
    t.FailureProb = optionalNumber(object, KeyFailureProb, where, FigureMax);
    if (const auto drivers = object.find(KeyDrivers); drivers != object.end()) {
        const std::string place = where + "." + KeyDrivers;
        if (!drivers->is_array() || drivers->size() != 2)
            fail(place, "must be a list of the team's two drivers (an empty {} leaves one as it is)");
        for (std::size_t d = 0; d < 2; ++d)
            t.Drivers[d] = readDriver((*drivers)[d], place + "[" + std::to_string(d) + "]");
    }
    return t;
}

json driverJson(const TDriverRecord& d)
{
    return {{KeyName, GameTextToUtf8(FieldText(d.DriverName))},
            {KeyCarNumber, d.CarNumber},
            {KeyAbilityQualy, d.AbilityQualy},
            {KeyAbilityRace, d.AbilityRace},
            {KeyRangeQuali, d.RangeQuali},
            {KeyRangeRace, d.RangeRace}};
}

// A name is stored only when it changes: one left as it is keeps every byte
// of its field, even those after its end.
template <std::size_t Width>
void applyName(TTextField<Width>& field, const std::optional<std::string>& name, const std::string& where)
{
    if (!name || *name == FieldText(field))
        return;
    for (const char c : *name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            fail(where, "a name holds no control characters");
    SetFieldText(field, *name);
}

template <typename T> void applyNumber(T& field, const std::optional<int>& value)
{
    if (value)
        field = static_cast<T>(*value);
}

} // namespace

json GameToJson(const TTeams& teams, const TPointsTable& points)
{
    json list = json::array();
    for (std::size_t i = 0; i < teams.size(); ++i) {
        const TTeamRecord& t = teams[i];
        list.push_back({{KeyTeam, i + 1},
                        {KeyName, GameTextToUtf8(FieldText(t.TeamName))},
                        {KeyEngine, GameTextToUtf8(FieldText(t.EngineName))},
                        {KeyPowerQuali, t.PowerQuali},
                        {KeyPowerRace, t.PowerRace},
                        {KeyFailureProb, t.FailureProb},
                        {KeyDrivers, {driverJson(t.Drivers[0]), driverJson(t.Drivers[1])}}});
    }
    return {{KeyTeams, list}, {KeyPoints, points}};
}

std::vector<std::uint16_t> TGameChanges::Items() const
{
    std::vector<std::uint16_t> items;
    for (const TTeamChange& t : Teams)
        items.push_back(static_cast<std::uint16_t>(ItemTeamFirst + t.Team));
    if (Points)
        items.push_back(ItemPoints);
    return items;
}

TGameChanges ReadGameChanges(const json& document)
{
    checkKeys(document, "the document", {KeyTeams, KeyPoints});
    TGameChanges changes;
    if (const auto teams = document.find(KeyTeams); teams != document.end()) {
        if (!teams->is_array())
            fail(KeyTeams, "must be a list of teams");
        std::set<int> seen;
        for (std::size_t i = 0; i < teams->size(); ++i) {
            const std::string where = std::string(KeyTeams) + "[" + std::to_string(i) + "]";
            TTeamChange team = readTeam((*teams)[i], where);
            if (!seen.insert(team.Team).second)
                fail(where, "team " + std::to_string(team.Team + 1) + " is named twice");
            changes.Teams.push_back(std::move(team));
        }
    }
    if (const auto points = document.find(KeyPoints); points != document.end()) {
        if (!points->is_array() || points->size() != PointsCount)
            fail(KeyPoints, "must be a list of " + std::to_string(PointsCount) +
                                " numbers, the points of positions 1 to 22");
        TPointsTable table{};
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = static_cast<std::uint8_t>(
                number((*points)[i], std::string(KeyPoints) + "[" + std::to_string(i) + "]", PointsMax));
        changes.Points = table;
    }
    return changes;
}

void ApplyGameChanges(const TGameChanges& changes, TTeams& teams, TPointsTable& points)
{
    for (const TTeamChange& change : changes.Teams) {
        TTeamRecord& team = teams[static_cast<std::size_t>(change.Team)];
        const std::string where = "team " + std::to_string(change.Team + 1);
        applyName(team.TeamName, change.Name, where + " name");
        applyName(team.EngineName, change.Engine, where + " engine");
        applyNumber(team.PowerQuali, change.PowerQuali);
        applyNumber(team.PowerRace, change.PowerRace);
        applyNumber(team.FailureProb, change.FailureProb);
        for (std::size_t d = 0; d < 2; ++d) {
            const TDriverChange& dc = change.Drivers[d];
            TDriverRecord& driver = team.Drivers[d];
            const std::string driverWhere = where + " driver " + std::to_string(d + 1);
            applyName(driver.DriverName, dc.Name, driverWhere + " name");
            // A car number the game has is kept, whatever it is.
            if (dc.CarNumber && *dc.CarNumber != driver.CarNumber && *dc.CarNumber > CarNumberMax)
                fail(driverWhere + " car number", "must be from 0 to " + std::to_string(CarNumberMax));
            applyNumber(driver.CarNumber, dc.CarNumber);
            applyNumber(driver.AbilityQualy, dc.AbilityQualy);
            applyNumber(driver.AbilityRace, dc.AbilityRace);
            applyNumber(driver.RangeQuali, dc.RangeQuali);
            applyNumber(driver.RangeRace, dc.RangeRace);
        }
    }
    if (changes.Points)
        points = *changes.Points;
}

} // namespace paddock::cli
