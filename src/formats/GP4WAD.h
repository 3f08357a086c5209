// The game's archives (.WAD): a member count, a directory of 136-byte entries
// and the members' bytes one after another, each followed by one zero byte.
// TWADFile reads and rewrites the directory, lists and finds members, extracts
// them, hands a member to the texture layer without touching the disk, writes
// new archives from a folder tree, rebuilds an archive with some members
// replaced, and repairs archives whose offsets were written without the gap
// bytes. Every operation opens the archive and closes it before it returns.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paddock {

class TTEXFile;

// Told of each member or file that a long operation has dealt with, by its
// name, so that a progress window can follow the work. May be empty.
using TWADProgress = std::function<void(const std::string& name)>;

// One directory entry, laid out as in the file (little-endian).
struct TWADEntry {
    char Name[128]; // zero-padded; no terminator when the name fills it
    std::uint32_t Offset;
    std::uint32_t Size;

    // The name up to its first zero byte, or all 128 bytes.
    std::string NameString() const;
};
static_assert(sizeof(TWADEntry) == 136, "a directory entry is 136 bytes");

// One row of the directory listing: index from 1, name (through the code
// page, as UTF-8), offset and size as 8 upper-case hexadecimal digits.
struct TWADListRow {
    std::string Index;
    std::string Name;
    std::string Offset;
    std::string Size;
    bool Outside = false; // the member lies outside the archive file
};

// Member names are bytes of the game's code page whose folder levels are
// separated by backslashes (or slashes); file names are UTF-8. A member stands
// for the file below a folder whose levels are the name's levels through the
// code page; a file stands for the member whose name, through the code page,
// has the same levels, ASCII letters compared without regard to case.

// The file below folder that stands for the member name, or nullopt for a
// name that would lead outside the folder (absolute, with a drive letter or a
// ".." level) or that names no file. The same mapping as extraction uses.
std::optional<std::string> MemberFilePath(const std::string& folder, const std::string& name);
// The member name that a file below folder stands for: its levels below the
// folder through the code page, separated by backslashes. nullopt when the
// code page cannot hold it or the file does not lie below the folder.
std::optional<std::string> FileMemberName(const std::string& folder, const std::string& file);

// What a rebuild took from its source folder and what it left there.
struct TWADRebuildReport {
    struct Replacement {
        int Index;          // of the member in the directory
        std::string Member; // its name, as the archive holds it
        std::string File;   // the file that replaced it
    };
    // In directory order.
    std::vector<Replacement> Replaced;
    // The files below the source folder that stand for no member (misspelt,
    // of another archive, or with a name the code page cannot hold), in the
    // listing's order.
    std::vector<std::string> Unused;

    // True when the member of that name was replaced: the same folder levels,
    // ASCII letters compared without regard to case.
    bool Took(const std::string& member) const;
};

class TWADFile {
public:
    explicit TWADFile(const std::string& fileName = {});
    ~TWADFile();

    std::string FileName;
    std::int32_t Count = 0;
    std::vector<TWADEntry> Entries;

    // Reads the count and the directory. An archive whose directory does not
    // fit in the file is refused with an EFileError naming the file, before
    // anything is allocated; file errors are not caught. Members that lie
    // outside the file are kept (see LiesOutside). The directory in memory is
    // empty after any failure.
    bool ReadDirectory();
    // Writes the count and the directory over the old ones; member data stays.
    bool WriteDirectory();
    // Empties the directory in memory.
    void Clear();
    // The first entry whose name equals name, ASCII letters compared without
    // regard to case; -1 when there is none.
    int IndexOf(const std::string& name) const;
    // The rows of the directory listing, in directory order.
    std::vector<TWADListRow> ListEntries() const;
    // True when some bytes of member index lay beyond the end of the file
    // when its directory was read. A member of no bytes never does.
    bool LiesOutside(int index) const;
    // The bytes of a member; false (touching no file) for an index outside
    // the directory. A member that lies outside the archive file as it is
    // now raises EReadError naming the member.
    bool ReadMember(int index, std::vector<std::uint8_t>& bytes) const;
    // The member read as a texture container, or nullptr when the index is
    // outside the directory or the bytes are not a container. Without decode
    // the textures get no pictures (see TTEXFile::LoadFromBuffer).
    std::unique_ptr<TTEXFile> LoadTexture(int index, bool decode = true) const;
    // Writes a member to target (a full path), or with targetIsFolder below
    // the folder target, re-creating the folder levels of its name (separated
    // by backslashes or slashes). A name that would lead outside the folder
    // (absolute, with a drive letter or a ".." level), that names no file, or
    // that Windows cannot hold as a file name (a device name such as CON or
    // NUL, one of <>:"|?*, a level ending in a dot or a space) is refused
    // with a message naming it, on every system, as is a member that lies
    // outside the archive file. Returns whether the member was written. The file is
    // replaced only when the whole member is written.
    bool ExtractMember(int index, const std::string& target, bool targetIsFolder) const;
    // Extracts every member below folder; an empty folder means FileName +
    // ".paddock". Members whose names would lead outside the folder or that
    // Windows cannot hold, or that lie outside the archive file, are refused
    // with a message naming them; the others are still extracted. Each member
    // dealt with is told to done. Returns how many members were written.
    int ExtractAll(const std::string& folder, const TWADProgress& done = {}) const;
    // The folder ExtractAll uses for an empty answer.
    std::string DefaultExtractFolder() const;
    // Writes a new archive target from the files below folder, in the
    // listing's order, each named by its path below the folder through the
    // code page; this object's directory becomes the new one. The target is
    // replaced only when the whole archive has been written. Files whose
    // names the code page cannot hold are refused with a message naming each
    // of them, and false is returned with nothing written. A folder that does
    // not exist, and files that a directory's 32-bit sizes and offsets cannot
    // describe, are refused with an EFileError before anything is written.
    // Each file copied into the archive is told to done.
    bool CreateFromDirectory(const std::string& target, const std::string& folder, bool recursive,
                             const TWADProgress& done = {});
    // The files that CreateFromDirectory would take, in its order.
    static std::vector<std::string> DirectoryFiles(const std::string& folder, bool recursive);
    // Writes a new archive target with this archive's entries in order, each
    // member from the file below sourceFolder that stands for it, else from
    // this archive. Where files differ only in letter case, the one spelt as
    // the member is taken; two that stand for a member and are both spelt
    // otherwise are refused with an EFileError naming them. An empty or
    // missing sourceFolder replaces nothing, and a name that would lead
    // outside the folder takes no replacement. The target is replaced only
    // when the whole archive has been written, so it may be this archive's
    // own file. Members are copied through a bounded buffer. A member to be
    // taken from this archive that lies outside it is refused with an
    // EFileError naming it, before anything is written. This object's
    // directory is kept. Returns what was taken and what was left unused.
    TWADRebuildReport Rebuild(const std::string& target, const std::string& sourceFolder) const;

    // |Offset[N-1] + Size[N-1] - file length| for the directory as read;
    // nullopt for an archive without entries. 1 for a healthy archive.
    std::optional<std::int64_t> HealthMeasure() const;
    // k when every entry's offset equals its offset by the gap rule plus
    // k * i: 0 for an archive laid out by the gap rule, -1 for one written by
    // the earlier rule, k > 0 for one repaired k times too often. nullopt for
    // fewer than two entries or offsets that follow no such rule.
    std::optional<std::int64_t> GapRuleDrift() const;
    // Adds step * i to the offset of entry i and writes the directory back;
    // nothing happens for an archive without entries. A step of -k undoes k
    // repairs.
    void RepairOffsets(std::int64_t step = 1);

private:
    // Throws std::logic_error when Count does not match Entries.
    void checkCount() const;
    bool validIndex(int index) const;

    // The file's length when the directory was read; -1 before.
    std::int64_t length_ = -1;
};

} // namespace paddock
