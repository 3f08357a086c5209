#include "app/Tools.h"

#include "app/FileError.h"
#include "app/Interaction.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Streams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
// The system's headers name their rotation intrinsic so.
#undef RotateLeft16
#endif

namespace paddock {

namespace fs = std::filesystem;

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::filesystem::path ToPath(const std::string& s)
{
#ifdef _WIN32
    return fs::path(std::u8string(s.begin(), s.end()));
#else
    return fs::path(s);
#endif
}

std::string FromPath(const std::filesystem::path& p)
{
#ifdef _WIN32
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
#else
    return p.string();
#endif
}


std::vector<std::string> ProgramArguments(int argc, char** argv)
{
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i)
            arguments.push_back(FromPath(fs::path(wide[i])));
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

bool IsPathDelimiter(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// ---- Dialogs --------------------------------------------------------------

namespace {

std::string initialFolderFor(const std::string& key, const std::string& proposed = {})
{
    return ProfileReadString(SettingsFile(), "Pathes", key, proposed.empty() ? Settings.GamePath : proposed);
}

void rememberFolderOf(const std::string& key, const std::string& fileName)
{
    ProfileWriteString(SettingsFile(), "Pathes", key, ExtractFilePath(fileName));
}

} // namespace

bool ChooseFileToOpen(const std::string& key, const std::string& proposedName, const std::string& filter,
                      std::string& fileName, int filterIndex)
{
    FileDialogRequest request{initialFolderFor(key), proposedName, filter, filterIndex};
    std::string chosen;
    int index = filterIndex;
    if (!Interaction().openFile(request, chosen, index) || chosen.empty()) {
        fileName.clear();
        return false;
    }
    fileName = chosen;
    rememberFolderOf(key, chosen);
    return true;
}

bool ChooseFolder(const std::string& key, const std::string& title, const std::string& proposedFolder,
                  std::string& folder)
{
    std::string chosen;
    if (!Interaction().chooseFolder(title, initialFolderFor(key, proposedFolder), chosen) || chosen.empty()) {
        folder.clear();
        return false;
    }
    folder = chosen;
    ProfileWriteString(SettingsFile(), "Pathes", key, AddTrailingBackslash(chosen));
    return true;
}

std::string ApplyFilterExtension(const std::string& fileName, const std::string& filter, int filterIndex)
{
    const std::string pattern = GetField(filter, 2 * filterIndex, '|');
    const std::string patternExt = ExtractFileExt(pattern);
    if (patternExt.empty() || patternExt == ".*")
        return fileName;
    if (SameText(ExtractFileExt(fileName), patternExt))
        return fileName;
    return fileName + patternExt;
}

bool ChooseFileToSave(const std::string& key, const std::string& proposedName, const std::string& filter,
                      std::string& fileName, int filterIndex)
{
    FileDialogRequest request{initialFolderFor(key), proposedName, filter, filterIndex};
    std::string chosen;
    int index = filterIndex;
    if (!Interaction().saveFile(request, chosen, index) || chosen.empty()) {
        fileName.clear();
        return false;
    }
    rememberFolderOf(key, chosen);
    fileName = ApplyFilterExtension(chosen, filter, index);
    return true;
}

bool CheckFileMask(const std::string& mask)
{
    if (mask.find('*') == std::string::npos) {
        ShowMessage("Error: Invalid filemask");
        return false;
    }
    return true;
}

namespace {
thread_local TCollectedMessages* collecting = nullptr;
} // namespace

void ShowErrorMessage(const std::string& text)
{
    if (collecting)
        collecting->messages.push_back({true, text});
    else
        Interaction().error(text);
}

void ShowMessage(const std::string& text)
{
    if (collecting)
        collecting->messages.push_back({false, text});
    else
        Interaction().message(text);
}

void TCollectedMessages::Show()
{
    std::vector<Message> shown;
    shown.swap(messages);
    for (const Message& m : shown)
        m.error ? ShowErrorMessage(m.text) : ShowMessage(m.text);
}

TCollectMessages::TCollectMessages(TCollectedMessages& into) : previous_(collecting)
{
    collecting = &into;
}

TCollectMessages::~TCollectMessages()
{
    collecting = previous_;
}

// ---- Files ----------------------------------------------------------------

bool MatchesMask(const std::string& name, const std::string& mask)
{
    if (mask == "*.*" || mask == "*")
        return true;
    // Iterative wildcard match with backtracking to the last "*".
    std::size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || lowerAscii(mask[m]) == lowerAscii(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

namespace {

// The folders being listed, from the top one down to the current one, by
// their canonical paths: a link back to one of them would never end.
using FolderTrail = std::vector<fs::path>;

bool onTrail(const FolderTrail& trail, const fs::path& folder)
{
    std::error_code ec;
    const fs::path canonical = fs::canonical(folder, ec);
    return ec || std::find(trail.begin(), trail.end(), canonical) != trail.end();
}

void listInto(const std::string& folder, const std::string& mask, bool recursive, bool includeFolders,
              std::vector<std::string>& out, FolderTrail& trail)
{
    const std::string base = AddTrailingBackslash(folder);
    std::error_code ec;
    trail.push_back(fs::canonical(ToPath(base), ec));
    for (fs::directory_iterator it(ToPath(base), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = FromPath(it->path().filename());
        if (name == "." || name == ".." || !MatchesMask(name, mask))
            continue;
        // A link to a folder counts as that folder.
        std::error_code typeError;
        const bool isFolder = it->is_directory(typeError);
        if (!isFolder) {
            out.push_back(base + name);
        } else if (recursive) {
            if (!onTrail(trail, it->path()))
                listInto(base + name, mask, recursive, includeFolders, out, trail);
        } else if (includeFolders) {
            out.push_back(base + name);
        }
    }
    if (includeFolders)
        out.push_back(base);
    trail.pop_back();
}

} // namespace

std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask, bool recursive,
                                   bool includeFolders)
{
    std::vector<std::string> out;
    FolderTrail trail;
    listInto(folder, mask, recursive, includeFolders, out, trail);
    return out;
}

bool CopyFileForced(const std::string& source, const std::string& target)
{
    if (!FileExists(source))
        return false;
    const std::string folder = ExtractFilePath(target);
    if (!folder.empty() && !DirectoryExists(folder))
        ForceDirectories(folder);
    if (FileExists(target))
        ClearReadOnly(target);
    // The copy is written beside the target and takes its place only when
    // complete: a copy cut short (a full disk) leaves the old target, or none,
    // and reports failure.
    try {
        TFileStream in(source, FileMode::OpenRead);
        TSafeFileStream out(target);
        out.NewPermissions(); // a forced copy is writable, whatever it replaced
        out.CopyFromFile(in, in.Size());
        out.Commit();
    } catch (const EFileError&) {
        return false;
    }
    return FileExists(target);
}

void ClearReadOnly(const std::string& fileName)
{
    std::error_code ec;
    if (!fs::exists(ToPath(fileName), ec))
        return;
    FileOperation(TFileOp::Attributes, fileName);
    // The owner's write bit stands for the inverse of the read-only attribute.
    fs::permissions(ToPath(fileName), fs::perms::owner_write, fs::perm_options::add, ec);
}

std::int64_t GetFileSize(const std::string& fileName)
{
    // Measuring needs no write access: game folders on read-only media or
    // with read-only files are measured all the same.
    TFileStream file(fileName, FileMode::OpenRead);
    return file.Size();
}

namespace {

struct ChecksumState {
    std::uint32_t sum = 0;
    std::uint32_t rot = 0;
    void add(std::uint8_t b)
    {
        sum = (sum + b) & 0xFFFF;
        rot = (RotateLeft16(rot, 3) + b) & 0xFFFF;
    }
    std::uint32_t finish() const
    {
        const std::uint32_t s = (sum + 0x8065) & 0xFFFF;
        const std::uint32_t r = (rot + 0x8465) & 0xFFFF;
        return (r << 16) | s;
    }
};

} // namespace

std::uint32_t ComputeChecksum(const std::uint8_t* data, std::size_t length)
{
    ChecksumState state;
    if (length > 0) {
        state.sum = state.rot = data[0];
        for (std::size_t i = 1; i < length; ++i)
            state.add(data[i]);
    }
    return state.finish();
}

std::uint32_t SealChecksum(std::uint8_t* data, std::size_t length)
{
    // The sum covers at least the first byte and is stored after it.
    if (length < 5)
        throw std::invalid_argument("A saved configuration is at least 5 bytes long");
    const std::uint32_t checksum = ComputeChecksum(data, length - 4);
    for (int i = 0; i < 4; ++i)
        data[length - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(checksum >> (8 * i));
    return checksum;
}

std::uint32_t WriteFileChecksum(const std::string& fileName)
{
    TFileStream file(fileName, FileMode::OpenReadWrite);
    const std::int64_t size = file.Size();
    if (size < 5)
        throw EFileError("Cannot write a checksum into", fileName, "The file is shorter than 5 bytes");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.ReadBuffer(bytes.data(), bytes.size());
    const std::uint32_t checksum = SealChecksum(bytes.data(), bytes.size());
    file.SetPosition(size - 4);
    file.WriteBuffer(bytes.data() + bytes.size() - 4, 4);
    file.Close();
    return checksum;
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    const auto status = fs::status(ToPath(path), ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool DirectoryExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(ToPath(path), ec);
}

bool ForceDirectories(const std::string& path)
{
    if (path.empty())
        return false;
    if (DirectoryExists(path))
        return true;
    const std::string folder = RemoveTrailingBackslash(path);
    std::string parent = RemoveTrailingBackslash(ExtractFilePath(folder));
#ifdef _WIN32
    // A drive's root is "C:\"; "C:" names the folder the program is in there.
    if (parent.size() == 2 && parent[1] == ':')
        parent += PathDelim;
#endif
    if (!parent.empty() && parent != folder && !ForceDirectories(parent))
        return false;
    try {
        MakeFolder(folder);
    } catch (const EFileError&) {
        return false;
    }
    return DirectoryExists(folder);
}

bool DeleteTree(const std::string& path)
{
    const fs::path root = ToPath(RemoveTrailingBackslash(path));
    std::error_code ec;
    if (!fs::exists(root, ec))
        return true;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code pe;
        if (!it->is_symlink(pe))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, pe);
    }
    fs::remove_all(root, ec);
    return !fs::exists(root, ec);
}

std::string FindFileNoCase(const std::string& folder, const std::string& name)
{
    const std::string base = AddTrailingBackslash(folder);
    const std::string exact = base + name;
    std::error_code ec;
#ifdef _WIN32
    // The file system ignores case: the name as it is spelt on disk.
    if (name.empty() || !fs::exists(ToPath(exact), ec))
        return exact;
#else
    if (name.empty() || fs::exists(ToPath(exact), ec))
        return exact;
#endif
    for (fs::directory_iterator it(ToPath(base.empty() ? std::string(".") : base), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = FromPath(it->path().filename());
        if (SameText(entry, name))
            return base + entry;
    }
    return exact;
}

std::string ResolveNoCase(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    if (name.empty())
        return path;
    return FindFileNoCase(ExtractFilePath(path), name);
}

// ---- Strings and paths ----------------------------------------------------

std::string AddTrailingBackslash(const std::string& path)
{
    if (path.empty() || IsPathDelimiter(path.back()))
        return path;
    return path + PathDelim;
}

std::string RemoveTrailingBackslash(const std::string& path)
{
    if (!path.empty() && IsPathDelimiter(path.back()))
        return path.substr(0, path.size() - 1);
    return path;
}

namespace {
std::size_t lastDelimiter(const std::string& path)
{
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1]) || path[i - 1] == ':')
            return i - 1;
    return std::string::npos;
}
} // namespace

std::string ExtractFilePath(const std::string& path)
{
    const std::size_t d = lastDelimiter(path);
    return d == std::string::npos ? std::string() : path.substr(0, d + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t d = lastDelimiter(path);
    return d == std::string::npos ? path : path.substr(d + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ExtractFileTitle(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement,
                       bool ignoreCase)
{
    if (searched.empty())
        return text;
    // One pass from left to right: what a replacement brings, alone or with
    // its neighbours, is never looked at again.
    const std::string where = ignoreCase ? UpperCase(text) : text;
    const std::string what = ignoreCase ? UpperCase(searched) : searched;
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = where.find(what, from)) != std::string::npos; from = at + what.size()) {
        result.append(text, from, at - from);
        result += replacement;
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::string GetField(const std::string& text, int index, char separator)
{
    if (index < 1)
        index = 1;
    std::size_t start = 0;
    for (int k = 1; k < index; ++k) {
        const std::size_t sep = text.find(separator, start);
        if (sep == std::string::npos)
            return {};
        start = sep + 1;
    }
    const std::size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int CountFields(const std::string& text, char separator)
{
    if (text.empty())
        return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), separator));
}

std::string PadRight(const std::string& text, std::size_t length, char fill)
{
    if (text.size() >= length)
        return text;
    return text + std::string(length - text.size(), fill);
}

std::uint32_t HexToInt(const std::string& text)
{
    std::uint32_t value = 0;
    for (char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return 0;
        value = (value << 4) | digit;
    }
    return value;
}

void StringToField(const std::string& text, void* field, std::size_t lastIndex)
{
    auto* bytes = static_cast<std::uint8_t*>(field);
    for (std::size_t i = 0; i <= lastIndex; ++i)
        bytes[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

std::string FieldToString(const void* field, std::size_t width)
{
    const auto* bytes = static_cast<const char*>(field);
    std::size_t n = 0;
    while (n < width && bytes[n] != '\0')
        ++n;
    return std::string(bytes, n);
}

std::uint32_t RotateLeft16(std::uint32_t value, unsigned count)
{
    const unsigned c = count % 16;
    const std::uint32_t low = value & 0xFFFF;
    const std::uint32_t rotated = c == 0 ? low : ((low << c) | (low >> (16 - c))) & 0xFFFF;
    return (value & 0xFFFF0000u) | rotated;
}

std::string UpperCase(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

} // namespace paddock
