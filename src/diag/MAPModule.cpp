#include "diag/MAPModule.h"

#include "app/FileError.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "app/ToolsRegistry.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

namespace paddock {

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s)
{
    std::size_t first = 0, end = s.size();
    while (first < end && blank(s[first]))
        ++first;
    while (end > first && blank(s[end - 1]))
        --end;
    return s.substr(first, end - first);
}

// The substring of columns from..from+count-1 (1-based), as far as the text
// reaches.
std::string_view columns(std::string_view s, std::size_t from, std::size_t count)
{
    return from - 1 < s.size() ? s.substr(from - 1, count) : std::string_view();
}

// As HexToInt: digits 0-9 and A-F in either case; any other character makes
// the value 0.
std::uint32_t hex(std::string_view text)
{
    std::uint32_t value = 0;
    for (const char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            digit = static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
        else
            return 0;
        value = (value << 4) | digit;
    }
    return value;
}

// Reads a text file line by line, each line trimmed, from one read of the
// whole file. At the end of the file every further line is empty and atEnd()
// is true: a map that ends where a heading or a line is still expected ends
// the reading there.
class TMapReader {
public:
    explicit TMapReader(const std::string& path)
    {
        TMemoryStream file;
        file.LoadFromFile(path);
        text_.assign(reinterpret_cast<const char*>(file.Memory()), static_cast<std::size_t>(file.Size()));
    }

    bool atEnd() const { return end_; }

    std::string_view nextLine()
    {
        if (at_ >= text_.size()) {
            end_ = true;
            return {};
        }
        const std::size_t eol = text_.find('\n', at_);
        const std::size_t stop = eol == std::string::npos ? text_.size() : eol;
        const std::string_view line(text_.data() + at_, stop - at_);
        at_ = stop + 1;
        return trim(line);
    }

    std::string_view nextNonBlankLine()
    {
        std::string_view line;
        while (line.empty() && !end_)
            line = nextLine();
        return line;
    }

private:
    std::string text_;
    std::size_t at_ = 0;
    bool end_ = false;
};

TMAPSegDetails parseModule(std::string_view line)
{
    TMAPSegDetails m;
    m.Segment = static_cast<std::uint8_t>(hex(columns(line, 1, 4)));
    m.Start = hex(columns(line, 6, 8));
    m.Length = hex(columns(line, 15, 8));
    const std::size_t at = line.find("M=");
    if (at != std::string_view::npos) {
        const std::size_t end = line.find(' ', at + 2);
        m.Name = std::string(line.substr(at + 2, end == std::string_view::npos ? std::string_view::npos : end - at - 2));
    }
    return m;
}

TMAPPublic parsePublic(std::string_view line)
{
    TMAPPublic p;
    p.Segment = static_cast<std::uint8_t>(hex(columns(line, 1, 4)));
    p.Offset = hex(columns(line, 6, 8));
    p.Name = std::string(trim(columns(line, 14, std::string_view::npos)));
    return p;
}

std::int32_t decimal(std::string_view text, const std::string& mapPath)
{
    const std::string_view digits = trim(text);
    bool ok = !digits.empty() && digits.size() <= 10;
    std::int64_t value = 0;
    for (std::size_t i = 0; ok && i < digits.size(); ++i) {
        if (i == 0 && digits[i] == '-' && digits.size() > 1)
            continue;
        ok = digits[i] >= '0' && digits[i] <= '9';
        value = value * 10 + (digits[i] - '0');
    }
    if (!ok || value > std::numeric_limits<std::int32_t>::max())
        throw EFileError("Invalid line number in link map", mapPath,
                         "\"" + std::string(digits) + "\" is not a decimal number");
    return static_cast<std::int32_t>(digits[0] == '-' ? -value : value);
}

// One line entry as read: its text is a view into the source file's text,
// which the parsed map holds.
struct TLineView {
    std::uint32_t Offset = 0;
    std::int32_t LineNumber = 0;
    std::string_view Text;
};

// Appends the pairs of one line: a decimal line number, then an address
// segment:offset whose offset is characters 6 to 13, separated by spaces.
void parsePairs(std::string_view line, std::vector<TLineView>& lines, const std::string& mapPath)
{
    std::string_view rest = line;
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        const std::string_view number = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : trim(rest.substr(space + 1));
        const std::size_t next = rest.find(' ');
        const std::string_view address = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : trim(rest.substr(next + 1));
        TLineView entry;
        entry.LineNumber = decimal(number, mapPath);
        entry.Offset = hex(columns(address, 6, 8));
        lines.push_back(entry);
    }
}

// A unit as read: its records and its line entries, whose texts are views
// into its source file's text.
struct TModuleView {
    TMAPSegDetails Details; // without lines
    std::vector<TLineView> Lines;
};

// The map as read, every source line's text a view into the source files'
// texts, which it holds: nothing is copied until it is written out.
struct TMapView {
    std::uint32_t ReservedCount = 0;
    std::vector<TModuleView> Modules;
    std::vector<TMAPPublic> Publics;
    std::vector<std::unique_ptr<TMemoryStream>> Sources;
};

// Gives every entry the text of its own line of the unit's source file, in
// whatever order the map lists the entries. An entry whose line lies beyond
// the end of the file keeps its text.
void attachSourceTexts(TModuleView& module, const std::vector<std::string>& sourceDirs,
                       std::vector<std::unique_ptr<TMemoryStream>>& sources)
{
    std::string source;
    for (const std::string& dir : sourceDirs) {
        const std::string candidate = AddTrailingBackslash(dir) + module.Details.Name + SourceExtension;
        if (FileExists(candidate)) {
            source = candidate;
            break;
        }
    }
    if (source.empty())
        return;
    sources.push_back(std::make_unique<TMemoryStream>());
    TMemoryStream& file = *sources.back();
    file.LoadFromFile(source);
    const std::string_view text(reinterpret_cast<const char*>(file.Memory()), static_cast<std::size_t>(file.Size()));
    // Where each line starts; line n (from 1) is lines[n - 1].
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t eol = text.find('\n', at);
        const std::size_t stop = eol == std::string_view::npos ? text.size() : eol;
        std::string_view line = text.substr(at, stop - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        at = stop + 1;
    }
    for (TLineView& entry : module.Lines)
        if (entry.LineNumber >= 1 && static_cast<std::size_t>(entry.LineNumber) <= lines.size())
            entry.Text = lines[static_cast<std::size_t>(entry.LineNumber) - 1];
}

// ---- The DebugInfo.EIF layout ------------------------------------------------

void putU8(std::string& out, std::uint8_t v)
{
    out.push_back(static_cast<char>(v));
}

void putU16(std::string& out, std::uint16_t v)
{
    putU8(out, static_cast<std::uint8_t>(v));
    putU8(out, static_cast<std::uint8_t>(v >> 8));
}

void putU32(std::string& out, std::uint32_t v)
{
    putU16(out, static_cast<std::uint16_t>(v));
    putU16(out, static_cast<std::uint16_t>(v >> 16));
}

// A length byte, then that many leading bytes: a string longer than the
// 255 bytes a length byte counts keeps its first 255.
void putString(std::string& out, std::string_view s)
{
    const auto n = static_cast<std::uint8_t>(std::min<std::size_t>(s.size(), 255));
    putU8(out, n);
    out.append(s.data(), n);
}

const TMAPSegDetails& details(const TMAPSegDetails& m)
{
    return m;
}

const TMAPSegDetails& details(const TModuleView& m)
{
    return m.Details;
}

// The file's bytes, from a map as read or as kept.
template <typename Map> std::string encodeDebugInfo(const Map& info)
{
    std::size_t size = 12 + static_cast<std::size_t>(info.ReservedCount) * ReservedRecordSize;
    for (const auto& m : info.Modules) {
        size += 12 + details(m).Name.size();
        for (const auto& line : m.Lines)
            size += 9 + line.Text.size();
    }
    for (const TMAPPublic& p : info.Publics)
        size += 6 + p.Name.size();
    std::string out;
    out.reserve(size);
    putU32(out, info.ReservedCount);
    out.append(static_cast<std::size_t>(info.ReservedCount) * ReservedRecordSize, '\0');
    putU32(out, static_cast<std::uint32_t>(info.Modules.size()));
    for (const auto& module : info.Modules) {
        const TMAPSegDetails& m = details(module);
        putU32(out, m.Start);
        putU32(out, m.Length);
        putU8(out, m.Segment);
        putString(out, m.Name);
        // The count has 16 bits: a longer list keeps its first entries, so
        // that the count and the entries written always agree.
        const std::size_t count =
            std::min<std::size_t>(module.Lines.size(), std::numeric_limits<std::uint16_t>::max());
        putU16(out, static_cast<std::uint16_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
            putU32(out, module.Lines[i].Offset);
            putU32(out, static_cast<std::uint32_t>(module.Lines[i].LineNumber));
            putString(out, module.Lines[i].Text);
        }
    }
    putU32(out, static_cast<std::uint32_t>(info.Publics.size()));
    for (const TMAPPublic& p : info.Publics) {
        putU8(out, p.Segment);
        putU32(out, p.Offset);
        putString(out, p.Name);
    }
    return out;
}

void writeDebugInfo(const std::string& bytes, const std::string& eifPath)
{
    TSafeFileStream file(eifPath);
    file.WriteBuffer(bytes.data(), bytes.size());
    file.Commit();
}

// Reads the file's bytes with their bounds always checked.
class TEIFReader {
public:
    TEIFReader(const std::string& bytes, const std::string& path) : bytes_(bytes), path_(path) {}

    std::size_t remaining() const { return bytes_.size() - at_; }

    // Refuses a count of records that the rest of the file cannot hold.
    void expect(std::uint64_t count, std::size_t leastEach)
    {
        if (count > remaining() / leastEach)
            throw EReadError(path_, "The debug information ends before its counts say");
    }

    std::uint32_t u(std::size_t width)
    {
        if (remaining() < width)
            throw EReadError(path_, "The debug information ends before its counts say");
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < width; ++k)
            v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes_[at_ + k])) << (8 * k);
        at_ += width;
        return v;
    }

    std::string string()
    {
        const std::size_t n = u(1);
        if (remaining() < n)
            throw EReadError(path_, "The debug information ends before its counts say");
        std::string s = bytes_.substr(at_, n);
        at_ += n;
        return s;
    }

    void skip(std::size_t count)
    {
        if (remaining() < count)
            throw EReadError(path_, "The debug information ends before its counts say");
        at_ += count;
    }

private:
    const std::string& bytes_;
    std::string path_;
    std::size_t at_ = 0;
};

} // namespace

namespace {

TMapView readMapView(const std::string& mapPath, const std::vector<std::string>& sourceDirs)
{
    TMapView info;
    TMapReader map(mapPath);

    // The segment list: one reserved record a line.
    map.nextNonBlankLine();
    for (std::string_view line = map.nextNonBlankLine(); !line.empty(); line = map.nextLine())
        ++info.ReservedCount;
    // The units' ranges.
    map.nextNonBlankLine();
    for (std::string_view line = map.nextNonBlankLine(); !line.empty(); line = map.nextLine())
        info.Modules.push_back({parseModule(line), {}});
    // The publics by name are not used.
    map.nextNonBlankLine();
    for (std::string_view line = map.nextNonBlankLine(); !line.empty(); line = map.nextLine()) {
    }
    // The publics by value.
    map.nextNonBlankLine();
    for (std::string_view line = map.nextNonBlankLine(); !line.empty(); line = map.nextLine())
        info.Publics.push_back(parsePublic(line));

    // The line-number blocks; a later block of a unit replaces an earlier one.
    while (!map.atEnd()) {
        const std::string_view heading = map.nextNonBlankLine();
        if (heading.substr(0, 12) != "Line numbers")
            break;
        const std::size_t paren = heading.find('(');
        const std::string_view unit =
            columns(heading, 18, paren == std::string_view::npos ? std::string_view::npos : paren - 17);
        TModuleView* module = nullptr;
        for (TModuleView& m : info.Modules)
            if (m.Details.Name == unit) {
                module = &m;
                break;
            }
        if (module)
            module->Lines.clear();
        for (std::string_view line = map.nextNonBlankLine(); !line.empty(); line = map.nextLine())
            if (module)
                parsePairs(line, module->Lines, mapPath);
        if (module)
            attachSourceTexts(*module, sourceDirs, info.Sources);
    }
    return info;
}

} // namespace

TMAPStruct ReadLinkMap(const std::string& mapPath, const std::vector<std::string>& sourceDirs)
{
    TMapView view = readMapView(mapPath, sourceDirs);
    TMAPStruct info;
    info.ReservedCount = view.ReservedCount;
    info.Publics = std::move(view.Publics);
    info.Modules.reserve(view.Modules.size());
    for (TModuleView& m : view.Modules) {
        info.Modules.push_back(std::move(m.Details));
        std::vector<TMAPLineDetails>& lines = info.Modules.back().Lines;
        lines.reserve(m.Lines.size());
        for (const TLineView& line : m.Lines)
            lines.push_back({line.Offset, line.LineNumber, std::string(line.Text)});
    }
    return info;
}

void SaveDebugInfo(const TMAPStruct& info, const std::string& eifPath)
{
    writeDebugInfo(encodeDebugInfo(info), eifPath);
}

void BuildDebugInfo(const std::string& mapPath, const std::string& eifPath, const std::vector<std::string>& sourceDirs)
{
    // Written from the map as read: the source lines' texts go from the
    // sources' bytes into the file's without a string of their own each.
    writeDebugInfo(encodeDebugInfo(readMapView(mapPath, sourceDirs)), eifPath);
}

TMAPStruct LoadDebugInfo(const std::string& eifPath)
{
    TMemoryStream file;
    file.LoadFromFile(eifPath);
    const std::string bytes(reinterpret_cast<const char*>(file.Memory()), static_cast<std::size_t>(file.Size()));
    TEIFReader in(bytes, eifPath);

    TMAPStruct info;
    info.ReservedCount = in.u(4);
    in.expect(info.ReservedCount, ReservedRecordSize);
    in.skip(static_cast<std::size_t>(info.ReservedCount) * ReservedRecordSize);

    const std::uint32_t modules = in.u(4);
    in.expect(modules, 4 + 4 + 1 + 1 + 2);
    info.Modules.resize(modules);
    for (TMAPSegDetails& m : info.Modules) {
        m.Start = in.u(4);
        m.Length = in.u(4);
        m.Segment = static_cast<std::uint8_t>(in.u(1));
        m.Name = in.string();
        const std::uint32_t lines = in.u(2);
        in.expect(lines, 4 + 4 + 1);
        m.Lines.resize(lines);
        for (TMAPLineDetails& line : m.Lines) {
            line.Offset = in.u(4);
            line.LineNumber = static_cast<std::int32_t>(in.u(4));
            line.Text = in.string();
        }
    }

    const std::uint32_t publics = in.u(4);
    in.expect(publics, 1 + 4 + 1);
    info.Publics.resize(publics);
    for (TMAPPublic& p : info.Publics) {
        p.Segment = static_cast<std::uint8_t>(in.u(1));
        p.Offset = in.u(4);
        p.Name = in.string();
    }
    return info;
}

TErrorData LookupAddress(std::uint32_t rel, const TMAPStruct& info)
{
    TErrorData result;
    result.FileName = "Unknown";
    for (const TMAPSegDetails& m : info.Modules) {
        // Compared in 64 bits, so that a range ending at the top of the
        // 32-bit space does not wrap.
        if (!(m.Start <= rel && static_cast<std::uint64_t>(rel) < static_cast<std::uint64_t>(m.Start) + m.Length))
            continue;
        result.FileName = m.Name;
        std::uint32_t bestAfter = 0x7FFE8001;
        std::uint32_t bestBefore = 0;
        for (const TMAPLineDetails& line : m.Lines) {
            if (line.Offset >= rel && line.Offset < bestAfter) {
                bestAfter = line.Offset;
                result.LineAfter = line.LineNumber;
                result.TextAfter = line.Text;
            }
            if (line.Offset <= rel && line.Offset > bestBefore) {
                bestBefore = line.Offset;
                result.LineBefore = line.LineNumber;
                result.TextBefore = line.Text;
            }
        }
        break;
    }
    result.FunctionName = "Unknown";
    std::uint32_t best = 0;
    for (const TMAPPublic& p : info.Publics) {
        if (p.Offset > best && p.Offset <= rel) {
            result.FunctionName = p.Name;
            best = p.Offset;
        }
    }
    return result;
}

std::vector<std::string> SourceDirsFromSearchPath(const std::string& programPath, const std::string& searchPath,
                                                  const std::string& rootDir)
{
    std::vector<std::string> dirs;
    if (searchPath.empty())
        return dirs;
    const std::string root = RemoveTrailingBackslash(rootDir);
    dirs.push_back(programPath);
    const int fields = CountFields(searchPath, ';');
    for (int i = 1; i <= fields; ++i)
        dirs.push_back(GetField(searchPath, i, ';'));
    // Found without regard to case, in one pass: a root folder that itself
    // holds the macro is taken as it is.
    for (std::string& dir : dirs)
        dir = ReplaceAll(dir, "$(IDEDIR)", root, true);
    return dirs;
}

void PrepareDebugInfo(bool load)
{
    const std::string map = Settings.ProgramPath + "PADDOCK.MAP";
    if (!load || !FileExists(map))
        return;
    TPitlaneRegistry registry;
    std::string searchPath;
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentLibraryKey, searchPath, "", "Search Path");
    std::string rootDir;
    if (!searchPath.empty())
        registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentKey, rootDir, "", "RootDir");
    BuildDebugInfo(map, Settings.DebugInfoPath, SourceDirsFromSearchPath(Settings.ProgramPath, searchPath, rootDir));
}

} // namespace paddock
