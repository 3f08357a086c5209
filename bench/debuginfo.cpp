// Debug information benchmark: builds DebugInfo.EIF from Paddock's own link
// map and source files (the start-up step with a map beside the program)
// and sets it against its floor, timed in the same run: reading the map and
// every source file it names once, and writing the file's bytes through the
// same safe write (a new file beside the target, flushed, renamed over it,
// the folder flushed). Then it times the whole start-up of the main window
// with the map beside it, on the offscreen platform.
//
//   bench_debuginfo [--table] MAP SOURCE_ROOT [runs]
//
// MAP: a program's link map (build/src/PADDOCK.MAP); SOURCE_ROOT: the source
// tree its units are named from. Exit code 0 when the build takes at most 2
// times its floor and the start-up less than half a second. --table: one
// line per measure for scripts/bench.sh instead of the text (row, name,
// figure, floor, ratio, target, held or missed, tab-separated).

#include "BenchTiming.h"

#include "app/Application.h"
#include "app/Interaction.h"
#include "app/Main.h"
#include "app/QtInteraction.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "diag/MAPModule.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace paddock;
using paddock::bench::median;
using paddock::bench::seconds;
namespace fs = std::filesystem;

namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool table = !args.empty() && args[0] == "--table";
    if (table)
        args.erase(args.begin());
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_debuginfo [--table] MAP SOURCE_ROOT [runs]\n");
        return 2;
    }
    const std::string map = args[0];
    const std::string root = args[1];
    const int runs = args.size() > 2 ? std::max(1, std::atoi(args[2].c_str())) : 7;
    const std::vector<std::string> sourceDirs = SourceDirsFromSearchPath("", "$(IDEDIR)", root);
    const fs::path folder = fs::temp_directory_path() / ("paddock-bench-debuginfo-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string eif = (folder / "DebugInfo.EIF").string();

    // The files the builder reads: the map and the units' sources.
    const TMAPStruct info = ReadLinkMap(map, sourceDirs);
    std::vector<std::string> files{map};
    for (const TMAPSegDetails& m : info.Modules)
        if (fs::exists(AddTrailingBackslash(root) + m.Name + SourceExtension))
            files.push_back(AddTrailingBackslash(root) + m.Name + SourceExtension);
    std::size_t lines = 0;
    for (const TMAPSegDetails& m : info.Modules)
        lines += m.Lines.size();

    // The file's bytes, which the floor writes as the build does.
    BuildDebugInfo(map, eif, sourceDirs);
    const std::string eifBytes = readWhole(eif);
    const std::string floorTarget = (folder / "Floor.EIF").string();

    std::vector<double> builds, floors, reads, writes, parses, saves;
    for (int run = 0; run <= runs; ++run) {
        // The write-back of one file's bytes does not fall into the flush
        // of the next.
        ::sync();
        const double build = seconds([&] { BuildDebugInfo(map, eif, sourceDirs); });
        ::sync();
        const double read = seconds([&] {
            std::size_t bytes = 0;
            for (const std::string& f : files)
                bytes += readWhole(f).size();
            if (bytes == 0)
                std::abort();
        });
        const double write = seconds([&] {
            TSafeFileStream out(floorTarget);
            out.WriteBuffer(eifBytes.data(), eifBytes.size());
            out.Commit();
        });
        // The build's two halves on their own.
        TMAPStruct parsed;
        const double parse = seconds([&] { parsed = ReadLinkMap(map, sourceDirs); });
        ::sync();
        const double save = seconds([&] { SaveDebugInfo(parsed, eif); });
        if (run > 0) {
            builds.push_back(build);
            floors.push_back(read + write);
            reads.push_back(read);
            writes.push_back(write);
            parses.push_back(parse);
            saves.push_back(save);
        }
    }

    // The start-up of the main window with the map beside the program.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    TApplication app(qtArgc, argv);
    UnattendedInteraction interaction(false, stderr);
    SetInteraction(&interaction);
    fs::copy_file(map, folder / "PADDOCK.MAP", fs::copy_options::overwrite_existing);
    {
        std::ofstream registry(folder / "Registry.ini");
        registry << "[HKEY_CURRENT_USER\\" << DevelopmentKey << "]\nRootDir=" << root << "\n[HKEY_CURRENT_USER\\"
                 << DevelopmentLibraryKey << "]\nSearch Path=$(IDEDIR)\n";
    }
    setenv("PADDOCK_REGISTRY", (folder / "Registry.ini").c_str(), 1);
    std::vector<double> starts;
    for (int run = 0; run <= runs; ++run) {
        const double start = seconds([&] { TMainForm form(folder.string()); });
        if (run > 0)
            starts.push_back(start);
    }
    fs::remove_all(folder);

    const double ratio = median(builds) / median(floors);
    const bool buildHeld = ratio <= 2, startHeld = median(starts) < 0.5;
    if (table) {
        std::printf("row\tdebug information build (%zu units, %zu lines)\t%.1f ms\t%.1f ms read+write\t%.2f x\t"
                    "at most 2.0 x\t%s\n",
                    info.Modules.size(), lines, median(builds) * 1e3, median(floors) * 1e3, ratio,
                    buildHeld ? "held" : "missed");
        std::printf("row\tstart-up of the main window with the map\t%.1f ms\t-\t-\tunder 500 ms\t%s\n",
                    median(starts) * 1e3, startHeld ? "held" : "missed");
        return buildHeld && startHeld ? 0 : 1;
    }
    std::printf("map: %zu units, %zu publics, %zu lines; %zu source files; DebugInfo.EIF %zu bytes\n",
                info.Modules.size(), info.Publics.size(), lines, files.size() - 1, eifBytes.size());
    std::printf("DebugInfo.EIF built from the map:            %7.2f ms\n", median(builds) * 1e3);
    std::printf("  reading the map and the sources' lines     %7.2f ms\n", median(parses) * 1e3);
    std::printf("  writing the file                           %7.2f ms\n", median(saves) * 1e3);
    std::printf("floor:                                       %7.2f ms\n", median(floors) * 1e3);
    std::printf("  reading the map and the sources            %7.2f ms\n", median(reads) * 1e3);
    std::printf("  the same bytes through the safe write      %7.2f ms\n", median(writes) * 1e3);
    std::printf("build / floor %.2f (target at most 2) %s\n", ratio, buildHeld ? "ok" : "MISSED");
    std::printf("start-up of the main window with the map     %7.1f ms (target under 500) %s\n",
                median(starts) * 1e3, startHeld ? "ok" : "MISSED");
    return buildHeld && startHeld ? 0 : 1;
}
