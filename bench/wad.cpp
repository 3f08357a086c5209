// Archive benchmark: builds a 64 MiB tree of about 300 files in a temporary
// folder and times, on the archive made from it, a rebuild with 6 replaced
// members, creating an archive from the tree and extracting every member,
// each against its floor: the same file-system work done plainly. A job
// writes every file beside its target under a new name, flushes it to disk,
// renames it over the target and flushes the folder; the floor copies the
// same bytes inside the kernel into the same number of new files, each
// created beside its target, flushed and renamed, each folder flushed once
// (for the rebuild and the creation one file of the archive's bytes, for
// the extraction the tree's files one by one). Then it measures the peak
// memory of a creation, a rebuild and an extraction of an archive holding a
// member larger than 64 MiB, each in a fresh process, beside a process that
// reads that member whole. Exit code 0 when every target held.
//
//   bench_wad [--table] [runs [folder]]
//
// runs: timed runs of each operation and of its floor (default 7); the
// median counts. folder: where the temporary folder goes (default: the
// system's temporary folder). --table: one line per measure for
// scripts/bench.sh instead of the text (row, name, figure, floor, ratio,
// target, held or missed, tab-separated).

#include "BenchTiming.h"
#include "SafeCopy.h"
#include "app/FileSystem.h"
#include "app/Tools.h"
#include "formats/GP4WAD.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace paddock;
using paddock::bench::median;
using paddock::bench::safeCopy;
using paddock::bench::syncFolder;
using paddock::bench::seconds;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t MiB = 1 << 20;

// Writes size pseudo-random bytes to path through a small buffer.
void writeFile(const std::string& path, std::int64_t size, std::uint32_t seed)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint32_t> block(64 * 1024 / 4);
    std::uint32_t x = seed * 2654435761u + 1;
    while (size > 0) {
        for (auto& v : block) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            v = x;
        }
        const auto n = std::min<std::int64_t>(size, static_cast<std::int64_t>(block.size() * 4));
        out.write(reinterpret_cast<const char*>(block.data()), n);
        size -= n;
    }
    if (!out)
        throw std::runtime_error("Cannot write " + path);
}

struct Timed {
    std::function<void()> prepare; // run untimed before every run
    std::function<void()> work;
};

// One measure: a job, its floor and their medians.
struct Measure {
    std::string name;
    std::string floorName;
    double job = 0;
    double floor = 0;
    double ratio() const { return job / floor; }
    bool held() const { return ratio() <= Target; }
    static constexpr double Target = 1.2;
};

// Times an operation and its floor alternately, after one untimed run of
// each. Every run starts with the data of earlier runs on the disk (a sync
// before it), so that their write-back does not weigh on it.
Measure compare(const std::string& name, const std::string& floorName, int runs, const Timed& operation,
                const Timed& floor)
{
    std::vector<double> op, copy;
    auto timed = [](const Timed& t) {
        t.prepare();
        ::sync();
        return seconds(t.work);
    };
    for (int r = 0; r <= runs; ++r) {
        const double c = timed(floor);
        const double o = timed(operation);
        if (r > 0) {
            copy.push_back(c);
            op.push_back(o);
        }
    }
    return {name, floorName, median(op), median(copy)};
}

// The peak resident memory of this process in KiB (the high-water mark of its
// address space, which starts afresh at exec).
long ownPeakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Runs this program with the arguments in a fresh process and returns its
// peak resident memory in KiB, which it prints at its end.
long peakKiB(const std::vector<std::string>& args)
{
    std::string command = fs::read_symlink("/proc/self/exe").string();
    for (const auto& a : args)
        command += " '" + a + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("Cannot start " + command);
    long kib = -1;
    if (std::fscanf(pipe, "%ld", &kib) != 1)
        kib = -1;
    if (::pclose(pipe) != 0 || kib < 0)
        throw std::runtime_error("The measured process failed: " + command);
    return kib;
}

// The operations measured in a process of their own.
int runChild(const std::vector<std::string>& a)
{
    if (a[0] == "--idle")
        return 0;
    TWADFile wad(a[1]);
    if (a[0] == "--create") {
        wad.CreateFromDirectory(a[1], a[2], true);
        return 0;
    }
    wad.ReadDirectory();
    if (a[0] == "--rebuild")
        wad.Rebuild(a[2], a[3]);
    else if (a[0] == "--extract")
        wad.ExtractAll(a[2]);
    else if (a[0] == "--read-whole") {
        std::vector<std::uint8_t> bytes;
        wad.ReadMember(wad.IndexOf("huge\\member.bin"), bytes);
    } else {
        return 2;
    }
    return 0;
}

int child(const std::vector<std::string>& a)
{
    const int result = runChild(a);
    std::printf("%ld\n", ownPeakKiB());
    return result;
}

} // namespace

int main(int argc, char** argv)
try {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool table = !args.empty() && args[0] == "--table";
    if (table)
        args.erase(args.begin());
    else if (!args.empty() && args[0][0] == '-')
        return child(args);
    const int runs = !args.empty() ? std::max(1, std::atoi(args[0].c_str())) : 7;
    const fs::path base = args.size() > 1 ? fs::path(args[1]) : fs::temp_directory_path();
    const std::string root = (base / ("paddock-bench-wad-" + std::to_string(getpid()))).string() + "/";
    fs::create_directories(root);

    // About 300 files of 16 KiB to 420 KiB in 12 folders, 64 MiB in all.
    const std::string tree = root + "tree/";
    std::vector<std::int64_t> sizes;
    std::uint32_t x = 12345;
    std::int64_t total = 0;
    while (total < 64 * MiB) {
        x = x * 1103515245u + 12345u;
        const std::int64_t size = std::min<std::int64_t>(16 * 1024 + (x >> 8) % (404 * 1024), 64 * MiB - total);
        sizes.push_back(size);
        total += size;
    }
    for (std::size_t i = 0; i < sizes.size(); ++i)
        writeFile(tree + "folder" + std::to_string(i % 12) + "/member" + std::to_string(i) + ".bin", sizes[i],
                  static_cast<std::uint32_t>(i));
    const std::string archive = root + "archive.wad";
    TWADFile(archive).CreateFromDirectory(archive, tree, true);
    TWADFile wad(archive);
    wad.ReadDirectory();

    // Six staged replacements, a little longer than the members they replace.
    const std::string stage = root + "stage/";
    for (int k = 0; k < 6; ++k) {
        const TWADEntry& e = wad.Entries[static_cast<std::size_t>(k * wad.Count / 6)];
        writeFile(stage + ReplaceAll(e.NameString(), "\\", "/"), e.Size + 1000, 1000u + static_cast<unsigned>(k));
    }

    const double bytes = static_cast<double>(total);
    const std::string rebuilt = root + "rebuilt.wad";
    const std::string out = root + "out/";
    const std::string made = root + "made.wad";
    const std::string floorCopy = root + "floor.wad";
    const std::string floorTree = root + "floortree/";
    // The rebuilt archive's bytes, for its floor to copy.
    const std::string rebuiltBytes = root + "rebuilt.bytes";
    wad.Rebuild(rebuiltBytes, stage);
    // The tree's files and folders by their paths below it, for the
    // extraction's floor.
    std::vector<std::string> files, folders;
    for (const auto& entry : fs::recursive_directory_iterator(tree))
        (entry.is_directory() ? folders : files).push_back(fs::relative(entry.path(), tree).string());
    std::sort(files.begin(), files.end());

    const Timed rebuild{[&] { fs::remove(rebuilt); }, [&] { wad.Rebuild(rebuilt, stage); }};
    const Timed rebuildFloor{[&] { fs::remove(floorCopy); }, [&] {
                                 safeCopy(rebuiltBytes, floorCopy);
                                 syncFolder(root);
                             }};
    const Timed create{[&] { fs::remove(made); }, [&] { TWADFile(made).CreateFromDirectory(made, tree, true); }};
    const Timed createFloor{[&] { fs::remove(floorCopy); }, [&] {
                                safeCopy(archive, floorCopy);
                                syncFolder(root);
                            }};
    const Timed extract{[&] { fs::remove_all(out); }, [&] { wad.ExtractAll(out); }};
    // The same files and folders made as the extraction makes them, each
    // file flushed before it takes its name, each folder flushed once.
    const Timed extractFloor{[&] { fs::remove_all(floorTree); }, [&] {
                                 MakeFolder(floorTree);
                                 for (const std::string& folder : folders)
                                     MakeFolder(floorTree + folder);
                                 for (const std::string& file : files)
                                     safeCopy(tree + file, floorTree + file);
                                 for (const std::string& folder : folders)
                                     syncFolder(floorTree + folder);
                             }};
    const std::string oneFile = "safe copy of the same bytes";
    std::vector<Measure> measures;
    measures.push_back(compare("archive rebuild (6 of 293 replaced)", oneFile, runs, rebuild, rebuildFloor));
    measures.push_back(compare("archive create (293 files)", oneFile, runs, create, createFloor));
    measures.push_back(
        compare("archive extract all (293 files)", "safe copy of the same files", runs, extract, extractFloor));
    fs::remove_all(out);
    fs::remove_all(floorTree);
    fs::remove(floorCopy);
    bool held = true;
    for (const Measure& m : measures)
        held = held && m.held();
    if (!table) {
        std::printf("archive: %d members, %.1f MiB; %d runs, median; floor: the same bytes copied inside the kernel "
                    "into new files beside the targets, each flushed and renamed, each folder flushed once\n",
                    wad.Count, static_cast<double>(fs::file_size(archive)) / MiB, runs);
        for (const Measure& m : measures)
            std::printf("%-33s %6.1f ms %5.0f MB/s | %-27s %6.1f ms | ratio %.2f %s\n", m.name.c_str(),
                        m.job * 1e3, bytes / m.job / 1e6, m.floorName.c_str(), m.floor * 1e3, m.ratio(),
                        m.held() ? "held" : "MISSED");
    } else {
        for (const Measure& m : measures)
            std::printf("row\t%s\t%.1f ms\t%.1f ms\t%.2f x\tat most %.1f x\t%s\n", m.name.c_str(), m.job * 1e3,
                        m.floor * 1e3, m.ratio(), Measure::Target, m.held() ? "held" : "missed");
    }

    // Peak memory with a member of 96 MiB and its replacement of 80 MiB.
    const std::string bigTree = root + "big/";
    writeFile(bigTree + "small1.bin", 1000, 1);
    writeFile(bigTree + "huge/member.bin", 96 * MiB, 2);
    writeFile(bigTree + "huge/other.bin", 80 * MiB, 3);
    writeFile(root + "bigstage/huge/other.bin", 80 * MiB + 7, 4);
    const std::string bigArchive = root + "big.wad";
    const long idle = peakKiB({"--idle"});
    const long createPeak = peakKiB({"--create", bigArchive, bigTree});
    const long rebuildPeak = peakKiB({"--rebuild", bigArchive, root + "bigrebuilt.wad", root + "bigstage"});
    const long extractPeak = peakKiB({"--extract", bigArchive, root + "bigout"});
    const long whole = peakKiB({"--read-whole", bigArchive});
    fs::remove_all(root);
    const long peak = std::max({createPeak, rebuildPeak, extractPeak});
    const bool memoryHeld = peak < 64 * 1024;
    if (table) {
        std::printf("row\tarchive jobs' peak memory (96 MiB member)\t%.1f MiB\t%.1f MiB idle\t-\tunder 64 MiB\t%s\n",
                    static_cast<double>(peak) / 1024.0, static_cast<double>(idle) / 1024.0,
                    memoryHeld ? "held" : "missed");
        return held && memoryHeld ? 0 : 1;
    }
    std::printf("peak memory, archive of 176 MiB with a 96 MiB member (a process doing nothing: %.1f MiB):\n",
                idle / 1024.0);
    struct Row {
        const char* name;
        long kib;
        bool bounded; // false: the row that holds a whole member on purpose
    };
    for (const Row& row : {Row{"CreateFromDirectory", createPeak, true},
                           Row{"Rebuild (80 MiB replaced)", rebuildPeak, true}, Row{"ExtractAll", extractPeak, true},
                           Row{"ReadMember of the 96 MiB one", whole, false}}) {
        const bool under = row.kib < 64 * 1024;
        std::printf("  %-30s %6.1f MiB  %s\n", row.name, static_cast<double>(row.kib) / 1024.0,
                    !row.bounded ? "(holds the member: shows that the measure sees it)"
                    : under      ? "(under 64 MiB: held)"
                                 : "(64 MiB: MISSED)");
    }
    return held && memoryHeld ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_wad: %s\n", e.what());
    return 2;
}
