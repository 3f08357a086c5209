#include "DemoGame.h"

#include "DemoCars.h"

#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "game/GameOffsets.h"

#include <cstring>

namespace paddock::demo {

const std::array<DemoTeam, 11>& DemoTeams()
{
    // Invented teams and drivers; the figures lie in the ranges the game uses.
    static const std::array<DemoTeam, 11> teams{{
        {"Rossa Corse", "Rossa 051", 34350, 34200, 1600, {{"Marco Bellandi", 1, 16900, 16800, 240, 260}, {"Rui Carvalho", 2, 16300, 16400, 260, 280}}},
        {"Silverline", "Stern FO110", 34300, 34150, 2200, {{"Jari Koskinen", 3, 16700, 16500, 250, 300}, {"David Harland", 4, 16400, 16300, 270, 290}}},
        {"Lancaster GP", "Vantage V10", 33900, 33800, 1900, {{"Ralph Steiner", 5, 16200, 16250, 280, 300}, {"Juan Pablo Reyes", 6, 16350, 16100, 300, 340}}},
        {"Emerald Team", "Hartwell", 33700, 33600, 2100, {{"Eddie Doyle", 7, 15800, 15900, 300, 310}, {"Pedro de Lima", 8, 15500, 15600, 320, 330}}},
        {"Benedetti", "Renard RS21", 33500, 33450, 2400, {{"Giancarlo Fini", 9, 15700, 15650, 300, 320}, {"Jenson Barlow", 10, 15600, 15700, 290, 300}}},
        {"Harrier", "Vantage V10", 33400, 33350, 2000, {{"Heinrich Frenz", 11, 15900, 15800, 280, 300}, {"Jarno Tulli", 12, 15750, 15600, 300, 330}}},
        {"Sauterne", "Petrus 01", 33300, 33250, 2300, {{"Nils Hedfeld", 14, 15650, 15700, 300, 310}, {"Kimi Raikka", 15, 15500, 15450, 330, 360}}},
        {"Arrowfield", "Asterix V10", 33000, 32950, 2700, {{"Jos Verbeek", 16, 15400, 15500, 320, 300}, {"Enrique Bernal", 17, 15100, 15200, 340, 350}}},
        {"Jaguaro Works", "Stallion CR3", 33150, 33050, 2500, {{"Eduardo Irwin", 18, 15450, 15400, 310, 330}, {"Luciano Burti", 19, 15200, 15150, 340, 360}}},
        {"Minardo", "European V10", 32600, 32500, 3000, {{"Fernando Alcala", 20, 15300, 15250, 330, 350}, {"Tarso Marquez", 21, 14800, 14900, 360, 380}}},
        {"Prost-Lyon", "Acier AP04", 32800, 32700, 2900, {{"Jean Alesand", 22, 15350, 15300, 320, 340}, {"Gaston Mazzer", 23, 14900, 14850, 350, 370}}},
    }};
    return teams;
}

const std::array<std::uint8_t, 22>& DemoPoints()
{
    static const std::array<std::uint8_t, 22> points{10, 6, 4, 3, 2, 1};
    return points;
}

namespace {

void put16(std::string& bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void putText(std::string& bytes, std::size_t offset, const char* text, std::size_t width)
{
    StringToField(text, bytes.data() + offset, width - 1);
}

// Deterministic filler, so that the files do not look empty and a write at a
// wrong offset shows.
void fill(std::string& bytes, std::uint32_t seed)
{
    std::uint32_t x = seed;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
}

} // namespace

std::string MakeDemoExe()
{
    std::string exe(static_cast<std::size_t>(GameExeSize), '\0');
    fill(exe, 0x47503445u);
    const char header[] = "MZ Paddock demo game: not a program";
    std::memcpy(exe.data(), header, sizeof header);

    const auto& teams = DemoTeams();
    const std::size_t base = ExeFiguresOffset[GameVersion];
    for (std::size_t i = 0; i < teams.size(); ++i) {
        const DemoTeam& t = teams[i];
        put16(exe, base + 2 * i, t.PowerQuali);
        put16(exe, base + 22 + 2 * i, t.PowerRace);
        for (std::size_t d = 0; d < 2; ++d) {
            put16(exe, base + 44 + 8 * i + 4 * d, t.Drivers[d].AbilityQualy);
            put16(exe, base + 44 + 8 * i + 4 * d + 2, t.Drivers[d].AbilityRace);
            put16(exe, base + 132 + 8 * i + 4 * d, t.Drivers[d].RangeQuali);
            put16(exe, base + 132 + 8 * i + 4 * d + 2, t.Drivers[d].RangeRace);
        }
        put16(exe, base + 220 + 2 * i, t.FailureProb);
    }
    const auto& points = DemoPoints();
    std::memcpy(exe.data() + ExePointsOffset[GameVersion], points.data(), points.size());
    return exe;
}

std::string MakeDemoSave()
{
    std::string save(static_cast<std::size_t>(SaveFileSize), '\0');
    fill(save, 0x53415645u);
    const auto& teams = DemoTeams();
    const std::size_t numbers = SaveNumbersOffset[GameVersion];
    const std::size_t names = SaveNamesOffset[SaveNamesVersion];
    const std::size_t teamNames = names + 48 * teams.size();
    const std::size_t engineNames = teamNames + TeamNameSize * teams.size();
    for (std::size_t i = 0; i < teams.size(); ++i) {
        const DemoTeam& t = teams[i];
        for (std::size_t d = 0; d < 2; ++d) {
            save[numbers + 2 * i + d] = static_cast<char>(t.Drivers[d].CarNumber);
            putText(save, names + 48 * i + DriverNameSize * d, t.Drivers[d].Name, DriverNameSize);
        }
        putText(save, teamNames + TeamNameSize * i, t.Name, TeamNameSize);
        putText(save, engineNames + EngineNameSize * i, t.Engine, EngineNameSize);
    }
    const std::uint32_t sum =
        ComputeChecksum(reinterpret_cast<const std::uint8_t*>(save.data()), save.size() - 4);
    for (int k = 0; k < 4; ++k)
        save[save.size() - 4 + k] = static_cast<char>((sum >> (8 * k)) & 0xFF);
    return save;
}

namespace {
void writeFile(const std::string& path, const std::string& bytes)
{
    TSafeFileStream out(path);
    out.WriteBuffer(bytes.data(), bytes.size());
    out.Commit();
}
} // namespace

void WriteDemoGame(const std::string& folder, bool withCars)
{
    const std::string base = AddTrailingBackslash(folder);
    ForceDirectories(base);
    writeFile(base + "GP4.EXE", MakeDemoExe());
    writeFile(base + "F1GSTATE.SAV", MakeDemoSave());
    if (withCars)
        writeFile(base + "cars.wad", BuildWAD(MakeDemoCarMembers()));
}

} // namespace paddock::demo
