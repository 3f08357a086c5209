// Import and export benchmark on the demo game folder (made in a temporary
// folder): the import of all teams, the points table and every team's
// liveries, and the export of all 11 teams' car textures (66 containers
// staged, cars.wad backed up and rebuilt). The export is set against its
// floor, timed in the same run: encoding the textures that an export of
// unedited liveries must encode (the smaller textures of the low-resolution
// containers, rebuilt from their new texture 0) plus writing the backup and
// the rebuilt archive as the safe-write layer must: two copies of cars.wad,
// each into a new file beside its target, flushed and renamed over it, and
// the game folder flushed once. The import is set against
// its own floor: reading GP4.EXE, F1GSTATE.SAV and the 33 liveries' members
// once and decoding as many texels of the same formats as they hold. Exit
// code 0 when the export takes at most 1.5 times its floor and the import
// at most 2 times its own.
//
//   bench_transfer [--table] [runs [folder]]
//
// --table: one line per measure for scripts/bench.sh instead of the text
// (row, name, figure, floor, ratio, target, held or missed, tab-separated).
// runs: timed runs of each (default 7); the median counts. folder: where the
// temporary folder goes (default: the system's temporary folder).

#include "BenchTiming.h"
#include "SafeCopy.h"
#include "app/ExportImport.h"
#include "app/Interaction.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "formats/TextureCodec.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Teams.h"

#include "DemoGame.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace paddock;
using paddock::bench::median;
using paddock::bench::safeCopy;
using paddock::bench::syncFolder;
using paddock::bench::seconds;
namespace fs = std::filesystem;

namespace {

constexpr double ExportTarget = 1.5;
constexpr double ImportTarget = 2.0;

// The pictures an export of unedited liveries encodes: for each team and kind
// the smaller textures of the low-resolution container, made from the
// high-resolution texture that becomes its texture 0.
std::vector<std::pair<DXTFormat, TPicture>> picturesToEncode()
{
    std::vector<std::pair<DXTFormat, TPicture>> pictures;
    TWADFile wad(CarsArchivePath());
    wad.ReadDirectory();
    for (int team = 0; team < TeamCount; ++team) {
        for (int kind = 0; kind < CarTextureKinds; ++kind) {
            const TTEXFile& hi = *CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)];
            auto low = wad.LoadTexture(wad.IndexOf(CarTextureName(team, kind, false)));
            const int from = kind == 2 && low->GetHeader(0).Width() == 128 ? 0 : 1;
            low->CopyTexture(0, hi, from);
            low->Downsample(2);
            for (std::uint32_t i = 1; i < low->Count; ++i)
                pictures.emplace_back(*FormatFromFourCC(low->GetHeader(static_cast<int>(i)).FourCC()),
                                      *low->GetBitmap(static_cast<int>(i)));
        }
    }
    return pictures;
}

// The work an import cannot do without: the bytes of the executable, the
// saved game and the 33 liveries' members, read once, and their textures
// decoded. The DXT data decoded is our encoding of the pictures the import
// gives (the same formats and sizes), made before the timing.
struct ImportFloor {
    std::vector<std::pair<DXTFormat, TPicture>> textures;
    std::vector<std::vector<std::uint8_t>> blocks;

    ImportFloor()
    {
        for (int team = 0; team < TeamCount; ++team)
            for (int kind = 0; kind < CarTextureKinds; ++kind) {
                const TTEXFile& tex = *CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)];
                for (std::uint32_t i = 0; i < tex.Count; ++i) {
                    const DXTFormat format = *FormatFromFourCC(tex.GetHeader(static_cast<int>(i)).FourCC());
                    textures.emplace_back(format, *tex.GetBitmap(static_cast<int>(i)));
                    blocks.push_back(EncodeDXT(format, textures.back().second));
                }
            }
    }

    void run() const
    {
        TMemoryStream exe, save;
        exe.LoadFromFile(Settings.GameExePath);
        save.LoadFromFile(Settings.SaveFilePath);
        TWADFile wad(CarsArchivePath());
        wad.ReadDirectory();
        std::vector<std::uint8_t> bytes;
        for (int team = 0; team < TeamCount; ++team)
            for (int kind = 0; kind < CarTextureKinds; ++kind)
                wad.ReadMember(wad.IndexOf(CarTextureName(team, kind, true)), bytes);
        for (std::size_t i = 0; i < textures.size(); ++i) {
            const TPicture& p = textures[i].second;
            if (DecodeDXT(textures[i].first, blocks[i].data(), p.Width, p.Height).Width != p.Width)
                std::abort();
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool table = !args.empty() && args[0] == "--table";
    if (table)
        args.erase(args.begin());
    const int runs = !args.empty() ? std::max(1, std::atoi(args[0].c_str())) : 7;
    const fs::path base = args.size() > 1 ? fs::path(args[1]) : fs::temp_directory_path();
    const fs::path root = base / ("paddock-bench-transfer-" + std::to_string(::getpid()));
    UnattendedInteraction interaction(true, stderr);
    SetInteraction(&interaction);

    const std::string game = (root / "game").string() + PathDelim;
    demo::WriteDemoGame(game, true);
    Settings.GamePath = game;
    Settings.GameExePath = game + "GP4.EXE";
    Settings.SaveFilePath = game + "F1GSTATE.SAV";
    Settings.ExportPath = (root / "temp" / "Export").string() + PathDelim;
    const std::string cars = game + "cars.wad";
    const std::string original = (root / "cars.original").string();
    fs::copy_file(cars, original);
    const auto carsSize = static_cast<double>(fs::file_size(cars));

    std::vector<double> imports, importFloors, exports, encodes, copies, stagings, rebuilds;
    std::unique_ptr<ImportFloor> importFloor;
    for (int run = 0; run < runs + 1; ++run) {
        // Every run starts from the game as it was, with nothing staged.
        fs::copy_file(original, cars, fs::copy_options::overwrite_existing);
        fs::remove_all(root / "temp");
        ForceDirectories(Settings.ExportPath);
        InitTeams();
        ClearCarTextures();
        ClearItems(LoadedItems);

        SelectItems({ItemRange, ItemTeamFirst, ItemCarTexturesFirst + TeamCount - 1});
        const double import = seconds(ImportSelected);
        if (!importFloor)
            importFloor = std::make_unique<ImportFloor>();
        const double importRead = seconds([&] { importFloor->run(); });
        SelectItems({ItemRange, ItemCarTexturesFirst, ItemCarTexturesFirst + TeamCount - 1});
        // The write-back of what came before does not fall into the flushes
        // of the export or of its floor.
        ::sync();
        const double exportTime = seconds(ExportSelected);

        // The floor, on the same data: the backup and the rebuilt archive
        // written beside their targets, each flushed and renamed, the game
        // folder flushed once.
        fs::copy_file(original, cars, fs::copy_options::overwrite_existing);
        const auto pictures = picturesToEncode();
        ::sync();
        const double encode = seconds([&] {
            for (const auto& [format, picture] : pictures)
                EncodeDXT(format, picture);
        });
        const double copy = seconds([&] {
            safeCopy(cars, cars + ".BAK");
            safeCopy(cars, cars);
            syncFolder(game);
        });
        // The export's two halves on their own.
        fs::copy_file(original, cars, fs::copy_options::overwrite_existing);
        fs::remove_all(root / "temp");
        ForceDirectories(Settings.ExportPath);
        TItemSet liveries{};
        std::fill(liveries.begin() + ItemCarTexturesFirst, liveries.begin() + ItemCarTexturesFirst + TeamCount, 1);
        ::sync();
        const double staging = seconds([&] { SaveCarTextures(liveries); });
        const double rebuild = seconds([] { ApplyStagedArchives(); });
        if (run == 0)
            continue; // warm-up
        stagings.push_back(staging);
        rebuilds.push_back(rebuild);
        imports.push_back(import);
        importFloors.push_back(importRead);
        exports.push_back(exportTime);
        encodes.push_back(encode);
        copies.push_back(copy);
    }
    fs::remove_all(root);

    const double floor = median(encodes) + median(copies);
    const double ratio = median(exports) / floor;
    const double importRatio = median(imports) / median(importFloors);
    const bool exportHeld = ratio <= ExportTarget, importHeld = importRatio <= ImportTarget;
    if (table) {
        std::printf("row\timport of 11 teams, points and 33 liveries\t%.1f ms\t%.1f ms\t%.2f x\tat most %.1f x\t%s\n",
                    median(imports) * 1e3, median(importFloors) * 1e3, importRatio, ImportTarget,
                    importHeld ? "held" : "missed");
        std::printf("row\texport of 11 teams' car textures\t%.1f ms\t%.1f ms\t%.2f x\tat most %.1f x\t%s\n",
                    median(exports) * 1e3, floor * 1e3, ratio, ExportTarget, exportHeld ? "held" : "missed");
        return exportHeld && importHeld ? 0 : 1;
    }
    std::printf("cars.wad: %.1f MiB, %d runs (medians)\n", carsSize / (1 << 20), runs);
    std::printf("import of 11 teams, points and 33 liveries: %8.1f ms\n", median(imports) * 1e3);
    std::printf("  floor: reading GP4.EXE, F1GSTATE.SAV and the 33 members, decoding their textures %.1f ms\n",
                median(importFloors) * 1e3);
    std::printf("  import / floor: %.2f (target at most %.2f) %s\n", importRatio, ImportTarget,
                importHeld ? "ok" : "MISSED");
    std::printf("export of 11 teams' car textures:            %8.1f ms\n", median(exports) * 1e3);
    std::printf("  staging the 66 containers %.1f ms, backup and rebuild of cars.wad %.1f ms\n", median(stagings) * 1e3,
                median(rebuilds) * 1e3);
    std::printf("  floor: encoding %.1f ms + safe writes of the backup and the archive %.1f ms = %.1f ms\n",
                median(encodes) * 1e3, median(copies) * 1e3, floor * 1e3);
    std::printf("  export / floor: %.2f (target at most %.2f) %s\n", ratio, ExportTarget, exportHeld ? "ok" : "MISSED");
    return exportHeld && importHeld ? 0 : 1;
}
