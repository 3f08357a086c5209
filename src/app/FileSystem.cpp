#include "app/FileSystem.h"

#include "app/FileError.h"
#include "app/Tools.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace paddock {

namespace fs = std::filesystem;

namespace {

std::mutex faultMutex;
std::shared_ptr<TFileFault> fileFault;
std::atomic<bool> haveFault{false};

constexpr const char* NewMark = ".paddock-";
constexpr const char* OldMark = ".paddock-old-";
constexpr const char* EarlierMark = ".paddock-new";
constexpr std::size_t RandomLetters = 10;

std::string randomLetters()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::string text(RandomLetters, 'a');
    for (char& c : text)
        c = letters[engine() % (sizeof letters - 1)];
    return text;
}

bool isRandomLetters(const std::string& text)
{
    return text.size() == RandomLetters && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}

std::string folderOf(const std::string& path)
{
    const std::string folder = ExtractFilePath(path);
    return folder.empty() ? std::string(".") + PathDelim : folder;
}

// ---- The paths a signal removes ------------------------------------------------------

constexpr int SlotCount = 256;
constexpr std::size_t SlotPathSize = 4096;
struct Slot {
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 holds a path
    char path[SlotPathSize];
};
Slot slots[SlotCount];
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");

int claimSlot(const std::string& path)
{
    if (path.size() >= SlotPathSize)
        return -1;
    for (int i = 0; i < SlotCount; ++i) {
        int expected = 0;
        if (slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state.store(2);
            return i;
        }
    }
    return -1; // more at once than the slots hold: a later write removes it
}

void freeSlot(int slot)
{
    if (slot >= 0)
        slots[slot].state.store(0);
}

bool isLive(const std::string& path)
{
    for (const Slot& s : slots)
        if (s.state.load() == 2 && path == s.path)
            return true;
    return false;
}

// ---- The thread's batch of folder flushes -----------------------------------------------

struct Batch {
    std::set<std::string> folders;
    // Folder → stale files of ours found in it, listed once for the batch.
    std::map<std::string, std::vector<std::string>> stale;
};
thread_local Batch* batch = nullptr;

std::vector<std::string> listStale(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(ToPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = FromPath(it->path().filename());
        if (IsTempName(name))
            names.push_back(name);
    }
    return names;
}

bool isStaleFor(const std::string& name, const std::string& base)
{
    if (name == base + EarlierMark)
        return true;
    const std::string prefix = "." + base + NewMark;
    return name.size() == prefix.size() + RandomLetters && name.compare(0, prefix.size(), prefix) == 0 &&
           isRandomLetters(name.substr(prefix.size()));
}

[[noreturn]] void fail(const char* action, const std::string& path, int err)
{
    throw EFileError(action, path, SystemReason(err), err);
}

#ifdef _WIN32
std::wstring wide(const std::string& path)
{
    return ToPath(path).wstring();
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The errno value nearest to a Windows error, for the callers that tell
// kinds of failure apart (NoNewFilesAllowed).
int errnoOf(DWORD err)
{
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

bool inUse(DWORD err)
{
    return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
}

std::string windowsReason(const std::string& path, DWORD err)
{
    // A file that another program holds open: most often the game itself.
    if (inUse(err))
        return ExtractFileName(path) + " is in use: close the game and try again";
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' ||
                                message.back() == L' '))
        message.pop_back();
    return message.empty() ? "Windows error " + std::to_string(err) : utf8(message);
}

[[noreturn]] void failWindows(const char* action, const std::string& path, DWORD err)
{
    throw EFileError(action, path, windowsReason(path, err), errnoOf(err));
}

HANDLE handleOf(std::FILE* file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

DWORD attributesOf(const std::string& path)
{
    return GetFileAttributesW(wide(path).c_str());
}

// Clears the read-only attribute of a file for an operation that Windows
// refuses on a read-only file (replacing or removing it); true when there
// was one to clear.
bool dropReadOnly(const std::string& path, DWORD& attributes)
{
    attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return SetFileAttributesW(wide(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

// Why a file cannot be replaced or removed when Windows only says that
// access is denied: another program that holds it open without letting it
// go is named as such.
DWORD refinedError(const std::string& path, DWORD err)
{
    if (err != ERROR_ACCESS_DENIED)
        return err;
    const HANDLE probe = CreateFileW(wide(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        return inUse(why) ? why : err;
    }
    CloseHandle(probe);
    return err;
}
#endif

} // namespace

const char* FileOpName(TFileOp op)
{
    switch (op) {
    case TFileOp::Open: return "open";
    case TFileOp::Create: return "create";
    case TFileOp::Read: return "read";
    case TFileOp::Write: return "write";
    case TFileOp::Sync: return "flush";
    case TFileOp::Close: return "close";
    case TFileOp::Rename: return "rename";
    case TFileOp::Link: return "link";
    case TFileOp::Remove: return "remove";
    case TFileOp::Attributes: return "attributes";
    case TFileOp::MakeFolder: return "make folder";
    }
    return "?";
}

void SetFileFault(TFileFault fault)
{
    std::lock_guard lock(faultMutex);
    haveFault = static_cast<bool>(fault);
    fileFault = fault ? std::make_shared<TFileFault>(std::move(fault)) : nullptr;
}

void FileOperation(TFileOp op, const std::string& path)
{
    if (!haveFault.load(std::memory_order_relaxed))
        return;
    // The same function every time, so that it may count.
    std::shared_ptr<TFileFault> fault;
    {
        std::lock_guard lock(faultMutex);
        fault = fileFault;
    }
    if (fault)
        (*fault)(op, path);
}

// ---- Names beside a target --------------------------------------------------------------

std::string TempNameBeside(const std::string& target, bool keptOld)
{
    return ExtractFilePath(target) + "." + ExtractFileName(target) + (keptOld ? OldMark : NewMark) + randomLetters();
}

bool IsTempName(const std::string& name)
{
    if (name.size() > std::strlen(EarlierMark) &&
        name.compare(name.size() - std::strlen(EarlierMark), std::string::npos, EarlierMark) == 0)
        return true;
    const std::size_t mark = std::strlen(NewMark);
    if (name.size() < 1 + mark + RandomLetters || name[0] != '.')
        return false;
    const std::size_t at = name.size() - RandomLetters - mark;
    return name.compare(at, mark, NewMark) == 0 && isRandomLetters(name.substr(at + mark));
}

void RemoveStaleTemps(const std::string& target)
{
    const std::string folder = folderOf(target);
    const std::string base = ExtractFileName(target);
    std::vector<std::string> listed;
    std::vector<std::string>* names = &listed;
    if (batch) {
        auto found = batch->stale.find(folder);
        if (found == batch->stale.end())
            found = batch->stale.emplace(folder, listStale(folder)).first;
        names = &found->second;
    } else {
        listed = listStale(folder);
    }
    for (auto it = names->begin(); it != names->end();) {
        const std::string path = folder + *it;
        if (!isStaleFor(*it, base) || isLive(path)) {
            ++it;
            continue;
        }
        const TFileIdentity id = IdentityOf(path, false);
        if (id.exists) {
            try {
                RemoveFile(path);
            } catch (const EFileError&) {
                // Left for a later write.
            }
        }
        it = names->erase(it);
    }
}

TTempPath::TTempPath(std::string path) : path_(std::move(path)), slot_(claimSlot(path_)) {}

TTempPath::~TTempPath()
{
    Remove();
}

TTempPath::TTempPath(TTempPath&& other) noexcept : path_(std::move(other.path_)), slot_(other.slot_)
{
    other.path_.clear();
    other.slot_ = -1;
}

TTempPath& TTempPath::operator=(TTempPath&& other) noexcept
{
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        slot_ = other.slot_;
        other.path_.clear();
        other.slot_ = -1;
    }
    return *this;
}

void TTempPath::Release()
{
    freeSlot(slot_);
    slot_ = -1;
    path_.clear();
}

void TTempPath::Remove()
{
    if (path_.empty())
        return;
    try {
        RemoveFile(path_);
    } catch (...) {
        // One more try: a failure to remove is seldom lasting, and what is
        // left would otherwise wait for a later write of the same target.
        try {
            RemoveFile(path_);
        } catch (...) {
        }
    }
    Release();
}

std::FILE* CreateTempBeside(const std::string& target, TTempPath& temp)
{
    RemoveStaleTemps(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        TTempPath name(TempNameBeside(target));
        FileOperation(TFileOp::Create, name.path());
#ifdef _WIN32
        // Others may not write it; the console handler may remove it while
        // it is open (it goes when it is closed).
        const HANDLE handle =
            CreateFileW(wide(name.path()).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD err = GetLastError();
            name.Release(); // not ours
            if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS)
                continue;
            failWindows("Cannot create file", target, err);
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY | _O_NOINHERIT);
        if (fd < 0) {
            CloseHandle(handle);
            name.Remove();
            fail("Cannot create file", target, EMFILE);
        }
#else
        const int fd = ::open(name.path().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int err = errno;
            name.Release(); // not ours
            if (err == EEXIST)
                continue;
            fail("Cannot create file", target, err);
        }
#endif
#ifdef _WIN32
        std::FILE* file = _fdopen(fd, "w+b");
#else
        std::FILE* file = ::fdopen(fd, "w+b");
#endif
        if (!file) {
            const int err = errno;
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            fail("Cannot create file", target, err);
        }
        temp = std::move(name);
        return file;
    }
    throw EFileError("Cannot create file", target, "No free name for a new file beside it");
}

std::FILE* OpenFile(const std::string& path, TOpenMode mode)
{
    const char* action = mode == TOpenMode::Create ? "Cannot create file" : "Cannot open file";
#ifdef _WIN32
    // Through the wide API, so that every name reaches the file system; other
    // programs may read and write the file meanwhile, as with the C library,
    // but not remove or replace it.
    const DWORD access = mode == TOpenMode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const HANDLE handle = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      mode == TOpenMode::Create ? CREATE_ALWAYS : OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        failWindows(action, path, GetLastError());
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (mode == TOpenMode::Read ? _O_RDONLY : _O_RDWR) | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        CloseHandle(handle);
        fail(action, path, EMFILE);
    }
    std::FILE* file = _fdopen(fd, mode == TOpenMode::Read ? "rb" : mode == TOpenMode::ReadWrite ? "r+b" : "w+b");
    if (!file) {
        const int err = errno;
        _close(fd);
        fail(action, path, err);
    }
    return file;
#else
    errno = 0;
    if (mode == TOpenMode::Create) {
        // A link placed at the name is refused, not written through.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0)
            fail(action, path, errno);
        std::FILE* file = ::fdopen(fd, "w+b");
        if (!file) {
            const int err = errno;
            ::close(fd);
            fail(action, path, err);
        }
        return file;
    }
    std::FILE* file = std::fopen(path.c_str(), mode == TOpenMode::Read ? "rb" : "r+b");
    if (!file)
        fail(action, path, errno ? errno : EIO);
    return file;
#endif
}

bool NoNewFilesAllowed(const EFileError& error)
{
    return error.code() == EACCES || error.code() == EPERM || error.code() == EROFS;
}

// ---- Operations ---------------------------------------------------------------------------

void SyncFile(std::FILE* file, const std::string& path)
{
    FileOperation(TFileOp::Sync, path);
    errno = 0;
    if (std::fflush(file) != 0)
        throw EWriteError(path, SystemReason(errno));
#ifdef _WIN32
    if (!FlushFileBuffers(handleOf(file)))
        throw EWriteError(path, windowsReason(path, GetLastError()));
#else
    if (::fsync(fileno(file)) != 0 && errno != EINVAL)
        throw EWriteError(path, SystemReason(errno));
#endif
}

void SyncFolder(const std::string& folder)
{
    FileOperation(TFileOp::Sync, folder);
#ifndef _WIN32
    const std::string name = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("Cannot flush folder", folder, errno);
    const int result = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems keep no folder to flush.
    if (result != 0 && err != EINVAL && err != EROFS)
        fail("Cannot flush folder", folder, err);
#endif
}

void RenameFile(const std::string& from, const std::string& to)
{
    FileOperation(TFileOp::Rename, to);
#ifdef _WIN32
    // The new name's entry reaches the disk before the call returns. Windows
    // refuses to replace a read-only file: its attribute is cleared for the
    // replacement (the new file carries the attributes it is to have) and
    // given back if the replacement fails.
    const DWORD how = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), how))
        return;
    DWORD err = GetLastError();
    DWORD attributes = 0;
    if (err == ERROR_ACCESS_DENIED && dropReadOnly(to, attributes)) {
        if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), how))
            return;
        err = GetLastError();
        SetFileAttributesW(wide(to).c_str(), attributes);
    }
    // Of the two files, the one another program holds is named.
    const DWORD fromErr = refinedError(from, ERROR_ACCESS_DENIED);
    if ((inUse(err) || err == ERROR_ACCESS_DENIED) && inUse(fromErr))
        failWindows("Cannot replace file", from, fromErr);
    failWindows("Cannot replace file", to, refinedError(to, err));
#else
    if (::rename(from.c_str(), to.c_str()) != 0)
        fail("Cannot replace file", to, errno);
#endif
}

bool LinkFile(const std::string& existing, const std::string& link)
{
    FileOperation(TFileOp::Link, link);
#ifdef _WIN32
    if (CreateHardLinkW(wide(link).c_str(), wide(existing).c_str(), nullptr))
        return true;
    const DWORD err = GetLastError();
    // File systems without second names (FAT, network shares) answer so.
    if (err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED || err == ERROR_NOT_SAME_DEVICE ||
        err == ERROR_TOO_MANY_LINKS || err == ERROR_INVALID_PARAMETER)
        return false;
    failWindows("Cannot create file", link, err);
#else
    if (::link(existing.c_str(), link.c_str()) == 0)
        return true;
    const int err = errno;
    if (err == EPERM || err == EXDEV || err == EMLINK || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS)
        return false;
    fail("Cannot create file", link, err);
#endif
}

void CheckNotHeld(const std::string& path)
{
#ifdef _WIN32
    const HANDLE probe = CreateFileW(wide(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (inUse(err))
            failWindows("Cannot replace file", path, err);
        return;
    }
    CloseHandle(probe);
#else
    (void)path;
#endif
}

void RemoveFile(const std::string& path)
{
    FileOperation(TFileOp::Remove, path);
#ifdef _WIN32
    if (DeleteFileW(wide(path).c_str()))
        return;
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return;
    // Windows keeps a read-only file from being removed, which POSIX does not.
    DWORD attributes = 0;
    if (err == ERROR_ACCESS_DENIED && dropReadOnly(path, attributes)) {
        if (DeleteFileW(wide(path).c_str()))
            return;
        err = GetLastError();
        SetFileAttributesW(wide(path).c_str(), attributes);
    }
    failWindows("Cannot delete file", path, refinedError(path, err));
#else
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        fail("Cannot delete file", path, errno);
#endif
}

void MakeFolder(const std::string& path)
{
    FileOperation(TFileOp::MakeFolder, path);
    std::error_code ec;
    if (!fs::create_directory(ToPath(RemoveTrailingBackslash(path)), ec) && ec)
        throw EFileError("Cannot create folder", path, ec.message());
}

void TruncateFile(std::FILE* file, const std::string& path, std::int64_t size)
{
    FileOperation(TFileOp::Write, path);
    if (std::fflush(file) != 0)
        throw EWriteError(path, SystemReason(errno));
#ifdef _WIN32
    if (_chsize_s(_fileno(file), size) != 0)
        throw EWriteError(path, SystemReason(errno));
#else
    if (::ftruncate(fileno(file), static_cast<off_t>(size)) != 0)
        throw EWriteError(path, SystemReason(errno));
#endif
}

TFileIdentity IdentityOf(const std::string& path, bool followLinks)
{
    TFileIdentity id;
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = followLinks ? fs::status(ToPath(path), ec) : fs::symlink_status(ToPath(path), ec);
    if (ec || !fs::exists(status))
        return id;
    id.exists = true;
    id.mode = static_cast<unsigned>(status.permissions());
    // The number of names from the file itself.
    const HANDLE handle = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info))
        id.links = info.nNumberOfLinks;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    const DWORD attributes = attributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        id.attributes = attributes & KeptAttributes;
#else
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return id;
    id.exists = true;
    id.mode = st.st_mode & 07777;
    id.owner = st.st_uid;
    id.group = st.st_gid;
    id.links = st.st_nlink;
#endif
    return id;
}

#ifdef _WIN32
namespace {
// Gives an open file the read-only, hidden and system attributes given,
// through the file itself: its name is not the path's yet.
void giveAttributes(std::FILE* file, const std::string& path, std::uint32_t kept)
{
    if (std::fflush(file) != 0)
        throw EWriteError(path, SystemReason(errno));
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &info, sizeof info))
        failWindows("Cannot read the attributes of", path, GetLastError());
    const DWORD attributes = (info.FileAttributes & ~KeptAttributes) | (kept & KeptAttributes);
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (!SetFileInformationByHandle(handleOf(file), FileBasicInfo, &info, sizeof info))
        failWindows("Cannot set the attributes of", path, GetLastError());
}
} // namespace
#endif

bool GiveIdentity(std::FILE* file, const std::string& path, const TFileIdentity& identity)
{
    FileOperation(TFileOp::Attributes, path);
    bool kept = true;
#ifdef _WIN32
    std::uint32_t attributes = identity.attributes;
    if (!(identity.mode & static_cast<unsigned>(fs::perms::owner_write)))
        attributes |= FILE_ATTRIBUTE_READONLY;
    giveAttributes(file, path, attributes);
#else
    const int fd = fileno(file);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail("Cannot read the attributes of", path, errno);
    if (st.st_uid != identity.owner || st.st_gid != identity.group) {
        if (::fchown(fd, identity.owner, identity.group) != 0) {
            kept = false;
            // The group at least, where we may give it.
            if (st.st_gid != identity.group)
                (void)::fchown(fd, static_cast<uid_t>(-1), identity.group);
        }
    }
    // After the owner: a change of owner clears the set-user and set-group bits.
    if (::fchmod(fd, static_cast<mode_t>(identity.mode & 07777)) != 0)
        fail("Cannot set the permissions of", path, errno);
#endif
    return kept;
}

#ifndef _WIN32
namespace {
unsigned newFileMode()
{
    static const unsigned mode = [] {
        unsigned mask = 022;
        bool found = false;
        if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                    found = true;
                    break;
                }
            std::fclose(status);
        }
        if (!found) {
            const mode_t old = ::umask(022);
            ::umask(old);
            mask = old;
        }
        return 0666u & ~mask;
    }();
    return mode;
}
} // namespace
#endif

void GiveNewFilePermissions(std::FILE* file, const std::string& path)
{
    FileOperation(TFileOp::Attributes, path);
#ifdef _WIN32
    // A new file is neither read-only, hidden nor a system file.
    giveAttributes(file, path, 0);
#else
    if (::fchmod(fileno(file), static_cast<mode_t>(newFileMode())) != 0)
        fail("Cannot set the permissions of", path, errno);
#endif
}

std::string FileBehind(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_symlink(ToPath(path), ec))
        return path;
    const fs::path target = fs::canonical(ToPath(path), ec);
    return ec ? path : FromPath(target);
}

bool IsLink(const std::string& path)
{
    std::error_code ec;
    return fs::is_symlink(ToPath(path), ec);
}

TFolderSyncBatch::TFolderSyncBatch()
{
    // A nested batch leaves the work to the outer one.
    if (!batch) {
        batch = new Batch;
        owns_ = true;
    }
}

TFolderSyncBatch::~TFolderSyncBatch()
{
    try {
        Finish();
    } catch (...) {
    }
}

void TFolderSyncBatch::Finish()
{
    if (!owns_ || !batch)
        return;
    owns_ = false;
    Batch* done = batch;
    batch = nullptr;
    const std::set<std::string> folders = std::move(done->folders);
    delete done;
    for (const std::string& folder : folders)
        SyncFolder(folder);
}

void SyncFolderSoon(const std::string& folder)
{
    if (batch)
        batch->folders.insert(folder);
    else
        SyncFolder(folder);
}

// ---- Signals ------------------------------------------------------------------------------------

namespace {

char workFolder[SlotPathSize];
std::atomic<bool> haveWorkFolder{false};

#ifndef _WIN32

// Only calls that are safe inside a signal handler: the folder's entries
// are read with getdents64 and removed with unlinkat, level by level.
struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

void removeContents(int folder, int depth)
{
    if (depth > 24)
        return;
    alignas(8) char buffer[2048];
    for (int pass = 0; pass < 64; ++pass) {
        bool removed = false;
        ::lseek(folder, 0, SEEK_SET);
        for (;;) {
            const long n = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                    continue;
                if (::unlinkat(folder, name, 0) == 0) {
                    removed = true;
                    continue;
                }
                const int sub = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    removeContents(sub, depth + 1);
                    ::close(sub);
                }
                if (::unlinkat(folder, name, AT_REMOVEDIR) == 0)
                    removed = true;
            }
        }
        if (!removed)
            break;
    }
}

void onSignal(int signal)
{
    for (Slot& s : slots)
        if (s.state.load() == 2)
            ::unlink(s.path);
    if (haveWorkFolder.load()) {
        const int fd = ::open(workFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            removeContents(fd, 0);
            ::close(fd);
        }
        ::rmdir(workFolder);
    }
    // Ends as the signal would have ended the program.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

#else

// Runs on a thread of its own while the program's threads go on: a file of
// ours that is still open is removed when the program's end closes it.
BOOL WINAPI onConsoleEvent(DWORD)
{
    for (Slot& s : slots)
        if (s.state.load() == 2)
            DeleteFileW(ToPath(s.path).wstring().c_str());
    if (haveWorkFolder.load()) {
        std::error_code ec;
        fs::remove_all(ToPath(workFolder), ec);
    }
    return FALSE; // the default handler ends the program
}

#endif

} // namespace

void CleanUpOnSignals(const std::string& folder)
{
    haveWorkFolder = false;
    const std::string path = RemoveTrailingBackslash(folder);
    if (!path.empty() && path.size() < sizeof workFolder) {
        std::memcpy(workFolder, path.c_str(), path.size() + 1);
        haveWorkFolder = true;
    }
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, s);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
#else
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#endif
}

} // namespace paddock
