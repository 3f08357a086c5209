#include "game/GP4Points.h"

#include "app/FileError.h"
#include "app/FileTransaction.h"
#include "app/Settings.h"
#include "app/Streams.h"

#include <string>

namespace paddock {

TPointsTable PointsTable{};

namespace {
constexpr const char* PointsItemName = "Points table";
constexpr std::int64_t ExeNeeded = ExePointsOffset[GameVersion] + PointsCount;
} // namespace

void ReadPoints(const TItemSet& selection, const TItemDone& done)
{
    if (!selection[ItemPoints])
        return;
    TFileStream exe(Settings.GameExePath, FileMode::OpenRead);
    exe.SetPosition(ExePointsOffset[GameVersion]);
    TPointsTable read{};
    exe.ReadBuffer(read.data(), read.size());
    exe.Close();
    PointsTable = read;
    LoadedItems[ItemPoints] = 1;
    if (done)
        done(PointsItemName);
}

void WritePoints(const TItemSet& selection, const TItemDone& done)
{
    if (!selection[ItemPoints])
        return;
    // Changed in memory and put in place whole (with the rest of the export
    // it is part of): a failure part-way leaves the file as it was.
    TJoinTransaction transaction;
    TMemoryStream& exe = transaction->Rewrite(Settings.GameExePath, true);
    // A short file would otherwise be extended up to the table.
    const std::int64_t size = exe.Size();
    if (size < ExeNeeded)
        throw EFileError("Cannot write the points table into", Settings.GameExePath,
                         "The file is " + std::to_string(size) + " bytes long; the points table needs at least " +
                             std::to_string(ExeNeeded));
    exe.SetPosition(ExePointsOffset[GameVersion]);
    exe.WriteBuffer(PointsTable.data(), PointsTable.size());
    transaction.Commit();
    if (done)
        done(PointsItemName);
}

} // namespace paddock
