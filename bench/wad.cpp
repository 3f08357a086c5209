// Archive benchmark: builds a 64 MiB tree of about 300 files in a temporary
// folder and times, on the archive made from it, a rebuild with 6 replaced
// members, extracting every member and creating an archive from the tree, each
// against copying the same number of bytes with the platform's file copy
// (std::filesystem::copy_file of one file of that size; for the extraction
// also of the same files one by one). Then it measures the peak memory of a
// creation, a rebuild and an extraction of an archive holding a member larger
// than 64 MiB, each in a fresh process, beside a process that reads that
// member whole. Exit code 0 when every target held.
//
//   bench_wad [runs [folder]]
//
// runs: timed runs of each operation and of its copy (default 7); the median
// counts. folder: where the temporary folder goes (default: the system's
// temporary folder).

#include "BenchTiming.h"
#include "app/Tools.h"
#include "formats/GP4WAD.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace paddock;
using paddock::bench::median;
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

// Times an operation and its floor alternately, after one untimed run of
// each, and prints the medians. Every run starts with the data of earlier
// runs on the disk, so that their write-back does not weigh on it.
bool compare(const char* name, const char* floorName, int runs, double bytes, const Timed& operation, const Timed& floor)
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
    const double ratio = median(op) / median(copy);
    const bool held = ratio <= 1.5;
    std::printf("%-21s %6.1f ms %5.0f MB/s | %-38s %6.1f ms %5.0f MB/s | ratio %.2f %s\n", name, median(op) * 1e3,
                bytes / median(op) / 1e6, floorName, median(copy) * 1e3, bytes / median(copy) / 1e6, ratio,
                held ? "held" : "MISSED");
    return held;
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
    if (argc > 1 && argv[1][0] == '-')
        return child(std::vector<std::string>(argv + 1, argv + argc));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
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

    std::printf("archive: %d members, %.1f MiB; %d runs, median\n", wad.Count,
                static_cast<double>(fs::file_size(archive)) / MiB, runs);
    const std::string copyTarget = root + "copy.bin";
    const std::string copyTree = root + "copytree/";
    const std::string rebuilt = root + "rebuilt.wad";
    const std::string out = root + "out/";
    const std::string made = root + "made.wad";
    const double bytes = static_cast<double>(total);
    // The floor: the platform's copy of one file of the same total, and for
    // the extraction also of the same files one by one.
    const Timed copyOne{[&] { fs::remove(copyTarget); }, [&] { fs::copy_file(archive, copyTarget); }};
    const Timed copyFiles{[&] { fs::remove_all(copyTree); }, [&] { fs::copy(tree, copyTree, fs::copy_options::recursive); }};
    const char* oneName = "copy_file of one 64 MiB file";
    bool held = compare("Rebuild (6 replaced)", oneName, runs, bytes,
                        {[&] { fs::remove(rebuilt); }, [&] { wad.Rebuild(rebuilt, stage); }}, copyOne);
    const Timed extractAll{[&] { fs::remove_all(out); }, [&] { wad.ExtractAll(out); }};
    held = compare("ExtractAll", oneName, runs, bytes, extractAll, copyOne) && held;
    compare("ExtractAll", "copy_file of the same files one by one", runs, bytes, extractAll, copyFiles);
    held = compare("CreateFromDirectory", oneName, runs, bytes,
                   {[&] { fs::remove(made); }, [&] { TWADFile(made).CreateFromDirectory(made, tree, true); }}, copyOne) &&
           held;
    fs::remove_all(out);
    fs::remove_all(copyTree);
    fs::remove(copyTarget);

    // Peak memory with a member of 96 MiB and its replacement of 80 MiB.
    const std::string bigTree = root + "big/";
    writeFile(bigTree + "small1.bin", 1000, 1);
    writeFile(bigTree + "huge/member.bin", 96 * MiB, 2);
    writeFile(bigTree + "huge/other.bin", 80 * MiB, 3);
    writeFile(root + "bigstage/huge/other.bin", 80 * MiB + 7, 4);
    const std::string bigArchive = root + "big.wad";
    const long idle = peakKiB({"--idle"});
    const long create = peakKiB({"--create", bigArchive, bigTree});
    const long rebuild = peakKiB({"--rebuild", bigArchive, root + "bigrebuilt.wad", root + "bigstage"});
    const long extract = peakKiB({"--extract", bigArchive, root + "bigout"});
    const long whole = peakKiB({"--read-whole", bigArchive});
    std::printf("peak memory, archive of %.0f MiB with a 96 MiB member (a process doing nothing: %.1f MiB):\n",
                static_cast<double>(fs::file_size(bigArchive)) / MiB, idle / 1024.0);
    struct Row {
        const char* name;
        long kib;
        bool bounded; // false: the row that holds a whole member on purpose
    };
    bool memoryHeld = true;
    for (const Row& row : {Row{"CreateFromDirectory", create, true}, Row{"Rebuild (80 MiB replaced)", rebuild, true},
                           Row{"ExtractAll", extract, true}, Row{"ReadMember of the 96 MiB one", whole, false}}) {
        const bool under = row.kib < 64 * 1024;
        if (row.bounded)
            memoryHeld = memoryHeld && under;
        std::printf("  %-30s %6.1f MiB  %s\n", row.name, static_cast<double>(row.kib) / 1024.0,
                    !row.bounded ? "(holds the member: shows that the measure sees it)"
                    : under      ? "(under 64 MiB: held)"
                                 : "(64 MiB: MISSED)");
    }

    fs::remove_all(root);
    return held && memoryHeld ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_wad: %s\n", e.what());
    return 2;
}
