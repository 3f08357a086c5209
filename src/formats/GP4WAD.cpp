#include "formats/GP4WAD.h"

#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/FileTransaction.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/CodePage.h"
#include "formats/GP4TEX.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <stdexcept>
#include <system_error>

namespace paddock {

// The directory is read and written as one block laid out as in the file.
static_assert(std::endian::native == std::endian::little, "the directory block is little-endian");

namespace {

constexpr std::int64_t CountSize = 4;
constexpr std::int64_t EntrySize = sizeof(TWADEntry);
constexpr std::int64_t MaxField = std::numeric_limits<std::uint32_t>::max();

const char* const ErrOutside = "GP4WAD Error 001: Invalid member name. It leads outside the folder: ";
const char* const ErrNoFile = "GP4WAD Error 002: Invalid member name. It names no file: ";
const char* const ErrOutsideFile = "GP4WAD Error 003: Invalid member. It lies outside the archive file: ";
const char* const ErrCodePage =
    "GP4WAD Error 004: Invalid file name. The game's code page (Windows-1252) cannot hold it: ";
const char* const ErrLinkOnTheWay = "GP4WAD Error 005: A folder on the member's way is a link, which is not followed: ";
const char* const ErrNotWindows =
    "GP4WAD Error 006: Invalid member name. Windows cannot hold it as a file name (a device name such as CON or "
    "NUL, one of <>:\"|?* or a control character, or a dot or space at the end of a level): ";

namespace fs = std::filesystem;

bool isNameSeparator(char c)
{
    return c == '\\' || c == '/';
}

enum class NameCheck { Ok, Outside, NoFile };

// Splits a member name into its folder levels (backslashes or slashes). A name
// that is absolute, starts with a drive letter or has a ".." level would lead
// outside the folder it is extracted to; one that is empty or ends in a
// separator or "." names no file.
NameCheck splitMemberName(const std::string& name, std::vector<std::string>& levels)
{
    levels.clear();
    if (name.empty())
        return NameCheck::NoFile;
    if (isNameSeparator(name.front()))
        return NameCheck::Outside;
    const auto first = static_cast<unsigned char>(name[0]);
    if (name.size() >= 2 && name[1] == ':' && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z'))
        return NameCheck::Outside;
    std::string level;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isNameSeparator(name[i])) {
            level.push_back(name[i]);
            continue;
        }
        if (level == "..")
            return NameCheck::Outside;
        if (!level.empty() && level != ".")
            levels.push_back(level);
        else if (i == name.size())
            return NameCheck::NoFile; // the last level names a folder
        level.clear();
    }
    return levels.empty() ? NameCheck::NoFile : NameCheck::Ok;
}

// True for a level of a member name (bytes of the code page) that Windows
// cannot hold as a file or folder name: a device name, alone or before an
// extension (CON, con.tex, COM1, LPT\xB9), a character Windows keeps for
// itself (a colon would name a stream of another file), a control character,
// or a dot or space at its end (Windows drops them, so that two members
// would meet in one file). Mod folders are shared between systems: such
// members are refused everywhere.
bool windowsCannotHold(const std::string& level)
{
    if (level.empty() || level.back() == '.' || level.back() == ' ')
        return true;
    for (const char c : level)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c))
            return true;
    std::string device = UpperCase(level.substr(0, level.find('.')));
    while (!device.empty() && device.back() == ' ')
        device.pop_back();
    if (device == "CON" || device == "PRN" || device == "AUX" || device == "NUL" || device == "CONIN$" ||
        device == "CONOUT$")
        return true;
    if (device.size() == 4 && (device.compare(0, 3, "COM") == 0 || device.compare(0, 3, "LPT") == 0)) {
        const auto digit = static_cast<unsigned char>(device[3]);
        // 1 to 9, and the superscripts one, two and three of the code page.
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The file below folder (which ends in a delimiter, or is empty) that the
// levels of a member name stand for: each level through the code page.
std::string joinLevels(const std::string& folder, const std::vector<std::string>& levels)
{
    std::string path = folder;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (i > 0)
            path += PathDelim;
        path += GameTextToUtf8(levels[i]);
    }
    return path;
}

// The levels of a member name joined by backslashes: the form in which
// members and files are matched.
std::string levelName(const std::vector<std::string>& levels)
{
    std::string name;
    for (const std::string& level : levels)
        name += (name.empty() ? "" : "\\") + level;
    return name;
}

// A member's name in the archive: the path below the folder through the code
// page, with the platform's folder separators turned into backslashes;
// nullopt when the code page cannot hold it.
std::optional<std::string> archiveName(const std::string& relativePath)
{
    std::string name = relativePath;
    for (char& c : name)
        if (IsPathDelimiter(c))
            c = '\\';
    return Utf8ToGameText(name);
}

// A member name as the messages show it.
std::string shown(const TWADEntry& entry)
{
    return GameTextToUtf8(entry.NameString());
}

void ensureFolder(const std::string& folder)
{
    if (folder.empty() || DirectoryExists(folder))
        return;
    if (!ForceDirectories(folder))
        throw EFileError("Cannot create folder", folder, "The folder or one of its parents could not be created");
}

// Creates the folders of a file's path that are missing.
void ensureParentFolder(const std::string& filePath)
{
    std::size_t end = filePath.size();
    while (end > 0 && !IsPathDelimiter(filePath[end - 1]))
        --end;
    if (end > 1)
        ensureFolder(filePath.substr(0, end));
}

std::int64_t fileLength(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(ToPath(path), ec);
    if (ec)
        throw EFileError("Cannot open file", path, ec.message());
    return static_cast<std::int64_t>(size);
}

// Writes a new archive's members after its directory, each followed by its
// zero gap byte, from runs of bytes of other files. A run that lies at the
// same place in its pages as where it goes, and is large, goes from file to
// file inside the system. The others are gathered in one buffer that is
// written in blocks ending at whole mebibytes of the file: the file's pages
// are then written whole and once each, which costs less than a write of
// each member at its own offset. The buffer stays one mebibyte, whatever
// the members' sizes.
class TMemberWriter {
public:
    explicit TMemberWriter(TFileStream& out) : out_(out), start_(out.Position()), buffer_(BlockSize) {}

    void Copy(TFileStream& source, std::int64_t from, std::int64_t count)
    {
        if (count >= KernelRun && (from - end()) % PageSize == 0) {
            Flush();
            out_.CopyRange(source, from, start_, count);
            start_ += count;
            return;
        }
        while (count > 0) {
            const std::int64_t n = std::min(count, room());
            source.ReadAt(from, buffer_.data() + filled_, static_cast<std::size_t>(n));
            filled_ += static_cast<std::size_t>(n);
            from += n;
            count -= n;
            if (room() == 0)
                Flush();
        }
    }
    void Gap()
    {
        buffer_[filled_++] = 0;
        if (room() == 0)
            Flush();
    }
    // Writes what is gathered.
    void Flush()
    {
        out_.WriteAt(start_, buffer_.data(), filled_);
        start_ += static_cast<std::int64_t>(filled_);
        filled_ = 0;
    }
    // Writes what is gathered; the stream's position goes to the end.
    void Finish()
    {
        Flush();
        out_.SetPosition(start_);
    }

private:
    static constexpr std::int64_t BlockSize = std::int64_t{1} << 20;
    static constexpr std::int64_t PageSize = 4096;
    static constexpr std::int64_t KernelRun = std::int64_t{64} << 10;

    std::int64_t end() const { return start_ + static_cast<std::int64_t>(filled_); }
    // What the buffer takes before the next whole mebibyte of the file.
    std::int64_t room() const { return (start_ / BlockSize + 1) * BlockSize - end(); }

    TFileStream& out_;
    std::int64_t start_; // where the buffer's bytes go in the file
    std::size_t filled_ = 0;
    std::vector<std::uint8_t> buffer_;
};

void writeDirectoryTo(TStream& target, const std::vector<TWADEntry>& entries)
{
    target.WriteValue(static_cast<std::int32_t>(entries.size()));
    target.WriteBuffer(entries.data(), entries.size() * sizeof(TWADEntry));
}

std::int64_t memberEnd(const TWADEntry& e)
{
    return static_cast<std::int64_t>(e.Offset) + static_cast<std::int64_t>(e.Size);
}

// A member whose bytes do not all lie in a file of the given length. A member
// of no bytes lies nowhere, so never outside.
bool outsideFile(const TWADEntry& e, std::int64_t length)
{
    return e.Size > 0 && memberEnd(e) > length;
}

// True when member next starts one byte after member e ends in the archive
// file and that byte is zero: both, with the byte between, are one run of
// the file's bytes as a new archive lays them out.
bool zeroGapBetween(TFileStream& archive, std::int64_t length, const TWADEntry& e, const TWADEntry& next)
{
    const std::int64_t gap = memberEnd(e);
    if (static_cast<std::int64_t>(next.Offset) != gap + 1 || gap >= length)
        return false;
    std::uint8_t byte = 1;
    archive.ReadAt(gap, &byte, 1);
    return byte == 0;
}

std::int64_t gapRuleStart(std::size_t count)
{
    return CountSize + static_cast<std::int64_t>(count) * EntrySize;
}

// Offsets by the gap rule for the sizes already set; refuses a directory whose
// offsets or sizes do not fit their 32-bit fields.
void layOut(std::vector<TWADEntry>& entries, const std::string& target)
{
    if (static_cast<std::int64_t>(entries.size()) > std::numeric_limits<std::int32_t>::max())
        throw EFileError("Cannot create WAD archive", target, "Too many members");
    std::int64_t offset = CountSize + static_cast<std::int64_t>(entries.size()) * EntrySize;
    for (auto& e : entries) {
        if (offset > MaxField)
            throw EFileError("Cannot create WAD archive", target,
                             "The members do not fit in the 4 GiB that the directory's offsets can address");
        e.Offset = static_cast<std::uint32_t>(offset);
        offset += static_cast<std::int64_t>(e.Size) + 1;
    }
}

std::uint32_t checkedSize(std::int64_t size, const std::string& file, const std::string& target)
{
    if (size > MaxField)
        throw EFileError("Cannot create WAD archive", target, "The file " + file + " is larger than a member can be (4 GiB)");
    return static_cast<std::uint32_t>(size);
}

} // namespace

// ---------------------------------------------------------------------------

std::optional<std::string> MemberFilePath(const std::string& folder, const std::string& name)
{
    std::vector<std::string> levels;
    if (splitMemberName(name, levels) != NameCheck::Ok)
        return std::nullopt;
    return joinLevels(AddTrailingBackslash(folder), levels);
}

std::optional<std::string> FileMemberName(const std::string& folder, const std::string& file)
{
    const std::string base = AddTrailingBackslash(folder);
    if (file.size() <= base.size() || file.compare(0, base.size(), base) != 0)
        return std::nullopt;
    const std::optional<std::string> name = archiveName(file.substr(base.size()));
    std::vector<std::string> levels;
    if (!name || splitMemberName(*name, levels) != NameCheck::Ok)
        return std::nullopt;
    return levelName(levels);
}

bool TWADRebuildReport::Took(const std::string& member) const
{
    std::vector<std::string> levels;
    if (splitMemberName(member, levels) != NameCheck::Ok)
        return false;
    const std::string name = levelName(levels);
    return std::any_of(Replaced.begin(), Replaced.end(), [&](const Replacement& r) {
        return splitMemberName(r.Member, levels) == NameCheck::Ok && SameText(levelName(levels), name);
    });
}

std::string TWADEntry::NameString() const
{
    return FieldToString(Name, sizeof Name);
}

TWADFile::TWADFile(const std::string& fileName) : FileName(fileName) {}

TWADFile::~TWADFile() = default;

void TWADFile::checkCount() const
{
    if (Count < 0 || static_cast<std::size_t>(Count) != Entries.size())
        throw std::logic_error("TWADFile: Count does not match the number of directory entries");
}

bool TWADFile::validIndex(int index) const
{
    return index >= 0 && index < Count && static_cast<std::size_t>(index) < Entries.size();
}

// ---- Directory --------------------------------------------------------------

bool TWADFile::ReadDirectory()
{
    Clear();
    TFileStream file(FileName, FileMode::OpenRead);
    const std::int64_t length = file.Size();
    auto refuse = [this](const std::string& reason) { return EFileError("Not a WAD archive", FileName, reason); };

    if (length < CountSize)
        throw refuse("The file is shorter than its member count");
    const auto count = file.ReadValue<std::int32_t>();
    if (count < 0)
        throw refuse("The member count is negative");
    if (CountSize + static_cast<std::int64_t>(count) * EntrySize > length)
        throw refuse("The directory does not fit in the file");

    // Members that lie outside the file are kept: they are listed, and only
    // reading, extracting or rebuilding them is refused.
    std::vector<TWADEntry> entries(static_cast<std::size_t>(count));
    file.ReadBuffer(entries.data(), entries.size() * sizeof(TWADEntry));

    Count = count;
    Entries = std::move(entries);
    length_ = length;
    return true;
}

bool TWADFile::WriteDirectory()
{
    checkCount();
    // Written in place, the old directory kept to be put back when the
    // write fails part-way.
    TMemoryStream block;
    writeDirectoryTo(block, Entries);
    TJoinTransaction transaction;
    transaction->Patch(FileName, 0, std::vector<std::uint8_t>(block.Memory(), block.Memory() + block.Size()));
    transaction.Commit();
    return true;
}

void TWADFile::Clear()
{
    Count = 0;
    Entries.clear();
    length_ = -1;
}

bool TWADFile::LiesOutside(int index) const
{
    return validIndex(index) && length_ >= 0 && outsideFile(Entries[static_cast<std::size_t>(index)], length_);
}

int TWADFile::IndexOf(const std::string& name) const
{
    for (int i = 0; validIndex(i); ++i)
        if (SameText(Entries[static_cast<std::size_t>(i)].NameString(), name))
            return i;
    return -1;
}

std::vector<TWADListRow> TWADFile::ListEntries() const
{
    std::vector<TWADListRow> rows;
    for (int i = 0; validIndex(i); ++i) {
        const TWADEntry& e = Entries[static_cast<std::size_t>(i)];
        char offset[16];
        char size[16];
        std::snprintf(offset, sizeof offset, "%08X", static_cast<unsigned>(e.Offset));
        std::snprintf(size, sizeof size, "%08X", static_cast<unsigned>(e.Size));
        rows.push_back({std::to_string(i + 1), GameTextToUtf8(e.NameString()), offset, size, LiesOutside(i)});
    }
    return rows;
}

// ---- Members ----------------------------------------------------------------

bool TWADFile::ReadMember(int index, std::vector<std::uint8_t>& bytes) const
{
    if (!validIndex(index))
        return false;
    const TWADEntry& e = Entries[static_cast<std::size_t>(index)];
    TFileStream file(FileName, FileMode::OpenRead);
    // Checked against the file as it is now: it may have changed since its
    // directory was read.
    if (outsideFile(e, file.Size()))
        throw EReadError(FileName, "Member " + shown(e) + " lies outside the archive file");
    bytes.assign(e.Size, 0);
    if (e.Size == 0)
        return true;
    file.SetPosition(e.Offset);
    file.ReadBuffer(bytes.data(), bytes.size());
    return true;
}

std::unique_ptr<TTEXFile> TWADFile::LoadTexture(int index, bool decode) const
{
    std::vector<std::uint8_t> bytes;
    if (!ReadMember(index, bytes))
        return nullptr;
    auto texture = std::make_unique<TTEXFile>();
    if (!texture->LoadFromBuffer(bytes.data(), bytes.size(), decode))
        return nullptr;
    return texture;
}

namespace {

// Where a member goes below folder; nullopt, with a message naming it, for a
// name that would lead outside the folder, names no file or is no name
// Windows can hold.
std::optional<std::string> memberPath(const std::string& folder, const TWADEntry& entry)
{
    std::vector<std::string> levels;
    switch (splitMemberName(entry.NameString(), levels)) {
    case NameCheck::Outside:
        ShowErrorMessage(ErrOutside + shown(entry));
        return std::nullopt;
    case NameCheck::NoFile:
        ShowErrorMessage(ErrNoFile + shown(entry));
        return std::nullopt;
    case NameCheck::Ok:
        break;
    }
    if (std::any_of(levels.begin(), levels.end(), windowsCannotHold)) {
        ShowErrorMessage(ErrNotWindows + shown(entry));
        return std::nullopt;
    }
    return joinLevels(folder, levels);
}

// Creates the folder levels of path below base (which exists). A level that
// is a link is not followed, so that nothing is written outside base: false
// then, with a message naming the member.
bool makeFoldersBelow(const std::string& base, const std::string& path, const TWADEntry& entry)
{
    for (std::size_t at = path.find(PathDelim, base.size()); at != std::string::npos;
         at = path.find(PathDelim, at + 1)) {
        const std::string level = path.substr(0, at);
        if (IsLink(level)) {
            ShowErrorMessage(ErrLinkOnTheWay + entry.NameString());
            return false;
        }
        if (!DirectoryExists(level))
            MakeFolder(level);
    }
    return true;
}

// Copies a member from the open archive to the file path, below base when
// base is not empty. The file is replaced only when the whole member has been
// written. A member that lies outside the archive file is refused with a
// message naming it; false then.
bool extractTo(TFileStream& archive, std::int64_t length, const TWADEntry& entry, const std::string& path,
               const std::string& base)
{
    if (outsideFile(entry, length)) {
        ShowErrorMessage(ErrOutsideFile + shown(entry));
        return false;
    }
    if (base.empty())
        ensureParentFolder(path);
    else if (!makeFoldersBelow(base, path, entry))
        return false;
    TSafeFileStream out(path);
    out.CopyRange(archive, entry.Offset, 0, entry.Size);
    out.Commit();
    return true;
}

} // namespace

bool TWADFile::ExtractMember(int index, const std::string& target, bool targetIsFolder) const
{
    if (!validIndex(index))
        return false;
    const TWADEntry& entry = Entries[static_cast<std::size_t>(index)];
    std::string path = target;
    std::string base;
    if (targetIsFolder) {
        base = AddTrailingBackslash(target);
        ensureFolder(base);
        const auto below = memberPath(base, entry);
        if (!below)
            return false;
        path = *below;
    }
    TFileStream archive(FileName, FileMode::OpenRead);
    return extractTo(archive, archive.Size(), entry, path, base);
}

std::string TWADFile::DefaultExtractFolder() const
{
    return FileName + ".paddock";
}

int TWADFile::ExtractAll(const std::string& folder, const TWADProgress& done) const
{
    const std::string base = AddTrailingBackslash(folder.empty() ? DefaultExtractFolder() : folder);
    ensureFolder(base);
    TFileStream archive(FileName, FileMode::OpenRead);
    // Checked against the file as it is now: it may have changed since its
    // directory was read.
    const std::int64_t length = archive.Size();
    // Each member is on disk before it takes its name; the folders are
    // flushed once each at the end.
    TFolderSyncBatch folders;
    int written = 0;
    for (int i = 0; validIndex(i); ++i) {
        const TWADEntry& entry = Entries[static_cast<std::size_t>(i)];
        if (const auto path = memberPath(base, entry))
            written += extractTo(archive, length, entry, *path, base) ? 1 : 0;
        if (done)
            done(GameTextToUtf8(entry.NameString()));
    }
    folders.Finish();
    return written;
}

// ---- Writing archives -------------------------------------------------------

std::vector<std::string> TWADFile::DirectoryFiles(const std::string& folder, bool recursive)
{
    return ListFiles(AddTrailingBackslash(folder), "*.*", recursive, false);
}

bool TWADFile::CreateFromDirectory(const std::string& target, const std::string& folder, bool recursive,
                                   const TWADProgress& done)
{
    const std::string base = AddTrailingBackslash(folder);
    // A folder that is not there gives no archive, not an empty one.
    if (!DirectoryExists(base))
        throw EFileError("Cannot create WAD archive from folder", folder,
                         FileExists(RemoveTrailingBackslash(base)) ? "It is a file, not a folder"
                                                                   : "The folder does not exist");
    const std::vector<std::string> files = DirectoryFiles(base, recursive);

    std::vector<TWADEntry> entries(files.size());
    bool named = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::optional<std::string> name = archiveName(files[i].substr(base.size()));
        if (!name) {
            // Every such file is named before the creation ends.
            ShowErrorMessage(ErrCodePage + files[i]);
            named = false;
            continue;
        }
        StringToField(*name, entries[i].Name, sizeof entries[i].Name - 1);
        entries[i].Size = checkedSize(fileLength(files[i]), files[i], target);
    }
    if (!named)
        return false;
    layOut(entries, target);

    TSafeFileStream out(target);
    writeDirectoryTo(out, entries);
    TMemberWriter members(out);
    for (std::size_t i = 0; i < files.size(); ++i) {
        TFileStream in(files[i], FileMode::OpenRead);
        members.Copy(in, 0, entries[i].Size);
        members.Gap();
        if (done)
            done(files[i].substr(base.size()));
    }
    members.Finish();
    out.Commit();

    Count = static_cast<std::int32_t>(entries.size());
    Entries = std::move(entries);
    return true;
}

TWADRebuildReport TWADFile::Rebuild(const std::string& target, const std::string& sourceFolder) const
{
    checkCount();
    TWADRebuildReport report;
    // The replacement file of each entry, or empty when the member comes from
    // this archive.
    std::vector<std::string> replacements(Entries.size());
    std::vector<TWADEntry> entries = Entries;
    if (!sourceFolder.empty() && DirectoryExists(sourceFolder)) {
        const std::string base = AddTrailingBackslash(sourceFolder);
        const std::vector<std::string> files = ListFiles(base, "*.*", true, false);
        // The member name each file stands for, and the files by that name
        // with its letters folded.
        std::vector<std::string> spelt(files.size());
        std::multimap<std::string, std::size_t> byName;
        for (std::size_t f = 0; f < files.size(); ++f) {
            if (const std::optional<std::string> name = FileMemberName(base, files[f])) {
                spelt[f] = *name;
                byName.emplace(UpperCase(spelt[f]), f);
            }
        }
        std::vector<std::string> levels;
        std::vector<bool> taken(files.size(), false);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            // A name that would lead outside the folder takes no replacement.
            if (splitMemberName(entries[i].NameString(), levels) != NameCheck::Ok)
                continue;
            const std::string name = levelName(levels);
            const auto [first, last] = byName.equal_range(UpperCase(name));
            std::vector<std::size_t> same;  // spelt as the member
            std::vector<std::size_t> other; // spelt otherwise
            for (auto it = first; it != last; ++it)
                (spelt[it->second] == name ? same : other).push_back(it->second);
            const std::vector<std::size_t>& candidates = same.empty() ? other : same;
            if (candidates.empty())
                continue;
            if (candidates.size() > 1)
                throw EFileError("Cannot rebuild WAD archive", FileName,
                                 "The files " + files[candidates[0]] + " and " + files[candidates[1]] +
                                     " both stand for member " + shown(entries[i]) + "; keep one of them");
            const std::size_t f = candidates.front();
            taken[f] = true;
            replacements[i] = files[f];
            entries[i].Size = checkedSize(fileLength(files[f]), files[f], target);
            report.Replaced.push_back({static_cast<int>(i), entries[i].NameString(), files[f]});
        }
        for (std::size_t f = 0; f < files.size(); ++f)
            if (!taken[f])
                report.Unused.push_back(files[f]);
    }
    layOut(entries, target);

    TFileStream archive(FileName, FileMode::OpenRead);
    // A member taken from this archive must lie inside it; the refusal comes
    // before anything is written.
    const std::int64_t length = archive.Size();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (replacements[i].empty() && outsideFile(Entries[i], length))
            throw EFileError("Cannot rebuild WAD archive", FileName,
                             "Member " + shown(Entries[i]) + " lies outside the archive file");
    // A rebuilt archive takes the place of the file a link leads to (the
    // game's cars.wad may be one).
    TSafeFileStream out(target, TReplace::GameFile);
    writeDirectoryTo(out, entries);
    TMemberWriter members(out);
    for (std::size_t i = 0; i < entries.size();) {
        if (!replacements[i].empty()) {
            TFileStream in(replacements[i], FileMode::OpenRead);
            members.Copy(in, 0, entries[i].Size);
            members.Gap();
            ++i;
            continue;
        }
        // Members carried over that lie one after another in this archive,
        // each followed by its zero gap byte, go over in one copy.
        const std::size_t first = i;
        while (i + 1 < entries.size() && replacements[i + 1].empty() &&
               zeroGapBetween(archive, length, Entries[i], Entries[i + 1]))
            ++i;
        members.Copy(archive, Entries[first].Offset, memberEnd(Entries[i]) - Entries[first].Offset);
        members.Gap();
        ++i;
    }
    members.Finish();
    archive.Close();
    out.Commit();
    return report;
}

// ---- Repair -------------------------------------------------------------------

std::optional<std::int64_t> TWADFile::HealthMeasure() const
{
    if (Count <= 0 || !validIndex(Count - 1))
        return std::nullopt;
    const TWADEntry& last = Entries[static_cast<std::size_t>(Count) - 1];
    TFileStream file(FileName, FileMode::OpenRead);
    const std::int64_t difference = memberEnd(last) - file.Size();
    return difference < 0 ? -difference : difference;
}

std::optional<std::int64_t> TWADFile::GapRuleDrift() const
{
    if (Count < 2 || static_cast<std::size_t>(Count) != Entries.size())
        return std::nullopt;
    std::int64_t expected = gapRuleStart(Entries.size());
    if (Entries[0].Offset != expected)
        return std::nullopt;
    expected += static_cast<std::int64_t>(Entries[0].Size) + 1;
    const std::int64_t drift = static_cast<std::int64_t>(Entries[1].Offset) - expected;
    for (std::size_t i = 1; i < Entries.size(); ++i) {
        if (static_cast<std::int64_t>(Entries[i].Offset) != expected + drift * static_cast<std::int64_t>(i))
            return std::nullopt;
        expected += static_cast<std::int64_t>(Entries[i].Size) + 1;
    }
    return drift;
}

void TWADFile::RepairOffsets(std::int64_t step)
{
    checkCount();
    if (Entries.empty())
        return;
    for (std::size_t i = 0; i < Entries.size(); ++i)
        Entries[i].Offset += static_cast<std::uint32_t>(step * static_cast<std::int64_t>(i));
    WriteDirectory();
}

} // namespace paddock
