// Writes the link map of a program that the program turns into its debug
// information at start-up: from the program's symbol table and its debug
// line tables, one unit per compiled source file of ours, the functions by
// address and each unit's source lines, offsets counted from the start of the
// program's code (its first executable segment).
//
//   make-link-map PROGRAM SOURCE_ROOT BUILD_ROOT MAP
//
// Units are the source files below SOURCE_ROOT (not below BUILD_ROOT, which
// holds generated code), named by their path below SOURCE_ROOT without the
// extension: "src/app/Main". The map's layout:
//
//   (blank)
//    Start         Length     Name                   Class
//    0001:00000000 0012F3A0H  .text                  CODE
//   (blank)
//   Detailed map of segments
//   (blank)
//    0001:00001A20 00000F3C C=CODE     S=.text    G=(none)   M=src/app/Main ACBP=A9
//   (blank)
//     Address         Publics by Name
//   (blank)
//    0001:00001A20       paddock::TMainForm::FormCreate(...)
//   (blank)
//     Address         Publics by Value
//   (blank)
//    0001:00001A20       paddock::TMainForm::FormCreate(...)
//   (blank)
//   Line numbers for src/app/Main(src/app/Main.cpp) segment .text
//   (blank)
//       12 0001:00001A20 13 0001:00001A2C
//   (blank)

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Range {
    std::uint64_t low, high;
};

struct Unit {
    std::string name;
    std::string source;
    std::vector<Range> ranges;
    std::vector<Range> compiled; // every range of the unit's compiled code, headers' included
    std::map<std::uint64_t, int> lines; // address -> line of the unit's own file
};

struct Symbol {
    std::uint64_t address;
    std::string name;
};

std::string demangle(const char* name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || !text)
        return name;
    std::string result(text);
    std::free(text);
    return result;
}

std::string hex8(std::uint64_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
    return text;
}

bool below(const fs::path& path, const fs::path& root)
{
    const std::string p = path.lexically_normal().string();
    std::string r = root.lexically_normal().string();
    if (!r.empty() && r.back() != '/')
        r += '/';
    return p.compare(0, r.size(), r) == 0;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "make-link-map: %s\n", what.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make-link-map PROGRAM SOURCE_ROOT BUILD_ROOT MAP\n");
        return 2;
    }
    const std::string program = argv[1];
    const fs::path sourceRoot = fs::weakly_canonical(argv[2]);
    const fs::path buildRoot = fs::weakly_canonical(argv[3]);
    const std::string mapPath = argv[4];

    elf_version(EV_CURRENT);
    const int fd = open(program.c_str(), O_RDONLY);
    if (fd < 0)
        fail("cannot open " + program);
    Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
    if (!elf)
        fail("not an ELF file: " + program);

    // The code: the first executable segment.
    std::uint64_t codeStart = 0, codeEnd = 0;
    std::size_t segments = 0;
    elf_getphdrnum(elf, &segments);
    for (std::size_t i = 0; i < segments; ++i) {
        GElf_Phdr phdr;
        if (gelf_getphdr(elf, static_cast<int>(i), &phdr) && phdr.p_type == PT_LOAD && (phdr.p_flags & PF_X)) {
            codeStart = phdr.p_vaddr;
            codeEnd = phdr.p_vaddr + phdr.p_memsz;
            break;
        }
    }
    if (codeEnd == 0)
        fail("no executable segment in " + program);
    auto inCode = [&](std::uint64_t a) { return a >= codeStart && a < codeEnd; };

    // The functions, by address.
    std::vector<Symbol> symbols;
    for (Elf_Scn* scn = nullptr; (scn = elf_nextscn(elf, scn));) {
        GElf_Shdr shdr;
        if (!gelf_getshdr(scn, &shdr) || shdr.sh_type != SHT_SYMTAB)
            continue;
        Elf_Data* data = elf_getdata(scn, nullptr);
        const std::size_t count = shdr.sh_entsize ? shdr.sh_size / shdr.sh_entsize : 0;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, static_cast<int>(i), &sym) || GELF_ST_TYPE(sym.st_info) != STT_FUNC ||
                !inCode(sym.st_value))
                continue;
            const char* name = elf_strptr(elf, shdr.sh_link, sym.st_name);
            if (name && *name)
                symbols.push_back({sym.st_value, demangle(name)});
        }
    }
    std::stable_sort(symbols.begin(), symbols.end(),
                     [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
    symbols.erase(std::unique(symbols.begin(), symbols.end(),
                              [](const Symbol& a, const Symbol& b) { return a.address == b.address && a.name == b.name; }),
                  symbols.end());

    // Our units: their code ranges and the lines of their own source file.
    std::vector<Unit> units;
    Dwarf* dwarf = dwarf_begin_elf(elf, DWARF_C_READ, nullptr);
    if (!dwarf) {
        // A build without debug information has no map; an older map would
        // only mislead.
        std::error_code ec;
        fs::remove(mapPath, ec);
        std::fprintf(stderr, "make-link-map: %s has no debug information; no map written\n", program.c_str());
        return 0;
    }
    Dwarf_Off offset = 0, next = 0;
    std::size_t headerSize = 0;
    while (dwarf_nextcu(dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        Dwarf_Die cu;
        const Dwarf_Off dieOffset = offset + headerSize;
        offset = next;
        if (!dwarf_offdie(dwarf, dieOffset, &cu))
            continue;
        const char* name = dwarf_diename(&cu);
        if (!name)
            continue;
        Dwarf_Attribute attr;
        const char* compDir = dwarf_formstring(dwarf_attr(&cu, DW_AT_comp_dir, &attr));
        fs::path source = fs::path(name).is_absolute() || !compDir ? fs::path(name) : fs::path(compDir) / name;
        source = source.lexically_normal();
        if (!below(source, sourceRoot) || below(source, buildRoot))
            continue;
        Unit unit;
        unit.source = source.string();
        unit.name = fs::path(source).lexically_relative(sourceRoot).replace_extension().generic_string();

        Dwarf_Addr base = 0, low = 0, high = 0;
        for (ptrdiff_t r = 0; (r = dwarf_ranges(&cu, r, &base, &low, &high)) > 0;)
            if (high > low && inCode(low))
                unit.ranges.push_back({low, high});
        unit.compiled = unit.ranges;
        std::sort(unit.compiled.begin(), unit.compiled.end(),
                  [](const Range& a, const Range& b) { return a.low < b.low; });
        Dwarf_Lines* lines = nullptr;
        std::size_t lineCount = 0;
        if (dwarf_getsrclines(&cu, &lines, &lineCount) == 0) {
            for (std::size_t i = 0; i < lineCount; ++i) {
                Dwarf_Line* line = dwarf_onesrcline(lines, i);
                bool endSequence = false;
                dwarf_lineendsequence(line, &endSequence);
                Dwarf_Addr address = 0;
                int number = 0;
                dwarf_lineaddr(line, &address);
                dwarf_lineno(line, &number);
                const char* file = dwarf_linesrc(line, nullptr, nullptr);
                if (endSequence || !file || number <= 0 || !inCode(address))
                    continue;
                fs::path filePath = fs::path(file).is_absolute() || !compDir ? fs::path(file) : fs::path(compDir) / file;
                if (filePath.lexically_normal() != source)
                    continue;
                // Of several rows at one address, the last describes the code there.
                unit.lines[address] = number;
            }
        }
        if (!unit.ranges.empty())
            units.push_back(std::move(unit));
    }

    // A unit's code is the ranges that hold lines of its own file: the others
    // are inline functions of headers, whose one kept copy lies with the unit
    // that the linker took it from.
    for (Unit& unit : units) {
        std::erase_if(unit.ranges, [&unit](const Range& r) {
            const auto it = unit.lines.lower_bound(r.low);
            return it == unit.lines.end() || it->first >= r.high;
        });
    }
    std::erase_if(units, [](const Unit& u) { return u.ranges.empty(); });

    // One module a stretch of code: the ranges of all units in address
    // order, each unit's consecutive ranges joined with what lies between
    // them when that is the unit's own compiled code too (the inline
    // functions of headers that the linker kept from the same object file,
    // and the padding between functions), until another unit's code comes.
    // Code of libraries linked in (a Windows program holds the C++ runtime
    // and Qt, whose sections its linker orders by name among the units'
    // inline functions) is never part of a unit.
    constexpr std::uint64_t padding = 64;
    auto compiledBetween = [](const Unit& unit, std::uint64_t from, std::uint64_t to) {
        for (const Range& r : unit.compiled) {
            if (from + padding >= to)
                break;
            if (r.high <= from)
                continue;
            if (r.low > from + padding)
                return false;
            from = std::max(from, r.high);
        }
        return from + padding >= to;
    };
    struct Module {
        std::uint64_t low, high;
        std::size_t unit;
    };
    std::vector<Module> pieces;
    for (std::size_t u = 0; u < units.size(); ++u)
        for (const Range& r : units[u].ranges)
            pieces.push_back({r.low, r.high, u});
    std::sort(pieces.begin(), pieces.end(), [](const Module& a, const Module& b) { return a.low < b.low; });
    std::vector<Module> modules;
    std::vector<int> stretches(units.size(), 0);
    for (const Module& piece : pieces) {
        if (!modules.empty() && modules.back().unit == piece.unit &&
            compiledBetween(units[piece.unit], modules.back().high, piece.low)) {
            modules.back().high = std::max(modules.back().high, piece.high);
            continue;
        }
        modules.push_back(piece);
        ++stretches[piece.unit];
    }
    const auto split = std::count_if(stretches.begin(), stretches.end(), [](int n) { return n > 1; });
    if (split)
        std::fprintf(stderr, "make-link-map: %ld units lie in more than one stretch; lines are kept for the first\n",
                     static_cast<long>(split));

    std::ofstream map(mapPath, std::ios::binary | std::ios::trunc);
    map << "\n Start         Length     Name                   Class\n";
    map << " 0001:00000000 " << hex8(codeEnd - codeStart) << "H  .text                  CODE\n\n";
    map << "Detailed map of segments\n\n";
    for (const Module& m : modules)
        map << " 0001:" << hex8(m.low - codeStart) << ' ' << hex8(m.high - m.low)
            << " C=CODE     S=.text    G=(none)   M=" << units[m.unit].name << " ACBP=A9\n";
    map << "\n\n  Address         Publics by Name\n\n";
    std::vector<const Symbol*> byName;
    for (const Symbol& s : symbols)
        byName.push_back(&s);
    std::stable_sort(byName.begin(), byName.end(), [](const Symbol* a, const Symbol* b) { return a->name < b->name; });
    for (const Symbol* s : byName)
        map << " 0001:" << hex8(s->address - codeStart) << "       " << s->name << "\n";
    map << "\n\n  Address         Publics by Value\n\n";
    for (const Symbol& s : symbols)
        map << " 0001:" << hex8(s.address - codeStart) << "       " << s.name << "\n";
    map << "\n";
    for (const Unit& unit : units) {
        if (unit.lines.empty())
            continue;
        map << "\nLine numbers for " << unit.name << "(" << fs::path(unit.source).filename().string()
            << ") segment .text\n\n";
        int onLine = 0;
        for (const auto& [address, number] : unit.lines) {
            map << (onLine ? " " : "") << number << " 0001:" << hex8(address - codeStart);
            if (++onLine == 4) {
                map << "\n";
                onLine = 0;
            }
        }
        if (onLine)
            map << "\n";
    }
    map << "\n";
    if (!map)
        fail("cannot write " + mapPath);
    dwarf_end(dwarf);
    elf_end(elf);
    close(fd);
    return 0;
}
