#include "game/GP4Teams.h"

#include "app/FileError.h"
#include "app/FileTransaction.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "game/GameOffsets.h"

#include <cstddef>

namespace paddock {

TTeams Teams{};

namespace {

// GP4.EXE: power in qualifying and race (2 bytes a team each), abilities and
// ranges (8 bytes a team each: driver 1 qualifying and race, then driver 2),
// failure probability (2 bytes a team).
constexpr std::int64_t FiguresSize = 2 * TeamCount + 2 * TeamCount + 8 * TeamCount + 8 * TeamCount + 2 * TeamCount;
// F1GSTATE.SAV: after the driver, team and engine names come six bytes that
// stay as they are and the file's 4-byte checksum.
constexpr std::int64_t NamesSize = (2 * DriverNameSize + TeamNameSize + EngineNameSize) * TeamCount;
constexpr std::int64_t SaveTailSize = 6 + 4;

constexpr std::int64_t ExeNeeded = ExeFiguresOffset[GameVersion] + FiguresSize;
constexpr std::int64_t SaveNeeded = SaveNamesOffset[SaveNamesVersion] + NamesSize + SaveTailSize;
static_assert(FiguresSize == 242);
static_assert(SaveNeeded <= SaveFileSize);

// Moves through a file field by field, reading each field into the record,
// writing it from the record, or stepping over it when its team is not
// selected, so that reading and writing follow one path through the files.
class TFieldWalk {
public:
    TFieldWalk(TStream& file, bool writing) : file_(file), writing_(writing) {}

    void At(std::int64_t offset) { file_.SetPosition(offset); }

    void Byte(std::uint8_t& value, bool selected)
    {
        if (!selected)
            file_.Seek(1, SeekOrigin::Current);
        else if (writing_)
            file_.WriteBuffer(&value, 1);
        else
            file_.ReadBuffer(&value, 1);
    }

    // Little-endian in the file, whatever the machine.
    void Word(std::uint16_t& value, bool selected)
    {
        std::uint8_t bytes[2];
        if (!selected) {
            file_.Seek(2, SeekOrigin::Current);
        } else if (writing_) {
            bytes[0] = static_cast<std::uint8_t>(value & 0xFF);
            bytes[1] = static_cast<std::uint8_t>(value >> 8);
            file_.WriteBuffer(bytes, 2);
        } else {
            file_.ReadBuffer(bytes, 2);
            value = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
        }
    }

    // The field's bytes as they are, whatever follows its first zero.
    template <std::size_t Width> void Text(TTextField<Width>& field, bool selected)
    {
        if (!selected)
            file_.Seek(static_cast<std::int64_t>(Width), SeekOrigin::Current);
        else if (writing_)
            file_.WriteBuffer(field.data(), Width);
        else
            file_.ReadBuffer(field.data(), Width);
    }

private:
    TStream& file_;
    bool writing_;
};

void walkTeams(TTeams& teams, const TItemSet& selection, TStream& exe, TStream& save, bool writing)
{
    const auto selected = [&selection](std::size_t team) {
        return selection[static_cast<std::size_t>(ItemTeamFirst) + team] != 0;
    };

    TFieldWalk s(save, writing);
    s.At(SaveNumbersOffset[GameVersion]);
    for (std::size_t i = 0; i < teams.size(); ++i)
        for (TDriverRecord& d : teams[i].Drivers)
            s.Byte(d.CarNumber, selected(i));
    // Driver names, team names and engine names follow one another.
    s.At(SaveNamesOffset[SaveNamesVersion]);
    for (std::size_t i = 0; i < teams.size(); ++i)
        for (TDriverRecord& d : teams[i].Drivers)
            s.Text(d.DriverName, selected(i));
    for (std::size_t i = 0; i < teams.size(); ++i)
        s.Text(teams[i].TeamName, selected(i));
    for (std::size_t i = 0; i < teams.size(); ++i)
        s.Text(teams[i].EngineName, selected(i));

    TFieldWalk x(exe, writing);
    x.At(ExeFiguresOffset[GameVersion]);
    for (std::size_t i = 0; i < teams.size(); ++i)
        x.Word(teams[i].PowerQuali, selected(i));
    for (std::size_t i = 0; i < teams.size(); ++i)
        x.Word(teams[i].PowerRace, selected(i));
    for (std::size_t i = 0; i < teams.size(); ++i)
        for (TDriverRecord& d : teams[i].Drivers) {
            x.Word(d.AbilityQualy, selected(i));
            x.Word(d.AbilityRace, selected(i));
        }
    for (std::size_t i = 0; i < teams.size(); ++i)
        for (TDriverRecord& d : teams[i].Drivers) {
            x.Word(d.RangeQuali, selected(i));
            x.Word(d.RangeRace, selected(i));
        }
    for (std::size_t i = 0; i < teams.size(); ++i)
        x.Word(teams[i].FailureProb, selected(i));
}

void requireLength(const std::string& path, TMemoryStream& bytes, std::int64_t needed)
{
    const std::int64_t size = bytes.Size();
    if (size < needed)
        throw EFileError("Cannot write the team records into", path,
                         "The file is " + std::to_string(size) + " bytes long; the team records need at least " +
                             std::to_string(needed));
}

void reportTeams(const TItemSet& selection, bool markLoaded, const TItemDone& done)
{
    for (int i = 0; i < TeamCount; ++i) {
        const auto item = static_cast<std::size_t>(ItemTeamFirst + i);
        if (!selection[item])
            continue;
        if (markLoaded)
            LoadedItems[item] = 1;
        if (done)
            done("Team " + std::to_string(i + 1));
    }
}

} // namespace

void InitTeams()
{
    for (std::size_t i = 0; i < Teams.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        TTeamRecord team;
        SetFieldText(team.TeamName, "Team " + n);
        SetFieldText(team.EngineName, "Engine " + n);
        team.PowerQuali = 33500;
        team.PowerRace = 33500;
        team.FailureProb = 2000;
        for (std::size_t j = 0; j < team.Drivers.size(); ++j) {
            const auto number = static_cast<std::uint8_t>(2 * i + 1 + j);
            TDriverRecord& d = team.Drivers[j];
            SetFieldText(d.DriverName, "Driver " + std::to_string(number));
            d.CarNumber = number;
            d.AbilityQualy = 16000;
            d.AbilityRace = 16000;
            d.RangeQuali = 300;
            d.RangeRace = 300;
        }
        Teams[i] = team;
    }
}

void ReadTeams(const TItemSet& selection, const TItemDone& done)
{
    TFileStream exe(Settings.GameExePath, FileMode::OpenRead);
    TFileStream save(Settings.SaveFilePath, FileMode::OpenRead);
    // Read into a copy: a file that ends early leaves the records as they were.
    TTeams read = Teams;
    walkTeams(read, selection, exe, save, false);
    exe.Close();
    save.Close();
    Teams = read;
    reportTeams(selection, true, done);
}

void WriteTeams(const TItemSet& selection, const TItemDone& done)
{
    if (!AnyItemSelected(selection, ItemTeamFirst, ItemTeamFirst + TeamCount - 1))
        return;
    // Both files are changed in memory and sealed there, then put in place
    // together (with the rest of the export they are part of): a short file,
    // a full disk or a failure part-way leaves both as they were, never a
    // half-written file or a stale checksum.
    TJoinTransaction transaction;
    TMemoryStream& exe = transaction->Rewrite(Settings.GameExePath, true);
    TMemoryStream& save = transaction->Rewrite(Settings.SaveFilePath, true);
    requireLength(Settings.GameExePath, exe, ExeNeeded);
    requireLength(Settings.SaveFilePath, save, SaveNeeded);
    walkTeams(Teams, selection, exe, save, true);
    SealChecksum(save.MutableMemory(), static_cast<std::size_t>(save.Size()));
    transaction.Commit();
    reportTeams(selection, false, done);
}

} // namespace paddock
