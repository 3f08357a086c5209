// The operations by which the program creates, writes, flushes, renames,
// links and removes files. Every one passes through one seam, so that a test
// can make any single operation fail as the operating system would. Files
// that the program writes beside their targets are created exclusively under
// names nobody can guess, never through a link, and are known to the signal
// cleanup while they exist.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace paddock {

class EFileError;

enum class TFileOp { Open, Create, Read, Write, Sync, Close, Rename, Link, Remove, Attributes, MakeFolder };
const char* FileOpName(TFileOp op);

// A seam for tests: when set, it is called before every file operation with
// the operation and the path it concerns, and may throw (an EFileError, as
// the system would fail) to make that operation fail. The program never sets
// it. It may be called from several threads at once.
using TFileFault = std::function<void(TFileOp op, const std::string& path)>;
void SetFileFault(TFileFault fault);
// Passes one operation through the seam; the file layer calls it before each.
void FileOperation(TFileOp op, const std::string& path);

// ---- Names beside a target -----------------------------------------------------

// The name of a file of ours beside target: "." + its name + ".paddock-" and
// random letters for new bytes, ".paddock-old-" and random letters for the
// old file kept under a second name while it is replaced.
std::string TempNameBeside(const std::string& target, bool keptOld = false);
// True for a name TempNameBeside gives for new bytes (or the fixed name
// "NAME.paddock-new" of earlier versions).
bool IsTempName(const std::string& fileName);
// Removes files of ours left beside target by a run that ended without
// cleaning up (new bytes only, never a kept old file, never one this run is
// still writing).
void RemoveStaleTemps(const std::string& target);

// A path of ours that is removed when the object goes, unless released;
// while it lives, a signal that ends the program removes it too.
class TTempPath {
public:
    TTempPath() = default;
    explicit TTempPath(std::string path);
    ~TTempPath();
    TTempPath(TTempPath&& other) noexcept;
    TTempPath& operator=(TTempPath&& other) noexcept;
    TTempPath(const TTempPath&) = delete;
    TTempPath& operator=(const TTempPath&) = delete;

    const std::string& path() const { return path_; }
    bool empty() const { return path_.empty(); }
    // The file now bears another name (or belongs to someone): nothing to remove.
    void Release();
    // Removes the file now; failures are ignored.
    void Remove();

private:
    std::string path_;
    int slot_ = -1;
};

// Creates a new file beside target for new bytes, exclusively, never through
// a link, readable and writable by its owner only; removes stale files of
// ours beside target first. Throws EFileError naming target.
std::FILE* CreateTempBeside(const std::string& target, TTempPath& temp);
// Opens an existing file for reading or for reading and writing, or creates
// one anew (emptying one of that name), as a stream of the C library. On
// Windows names reach the file system through the wide API, and a file that
// another program holds is reported as in use. Throws EFileError naming path.
enum class TOpenMode { Read, ReadWrite, Create };
std::FILE* OpenFile(const std::string& path, TOpenMode mode);
// True for a failure to create a file that says the folder takes no new
// files from us (no permission, a read-only file system), as opposed to a
// failure of the disk or the system.
bool NoNewFilesAllowed(const EFileError& error);

// ---- Operations ------------------------------------------------------------------

// Writes buffered data and asks the system to put the file's bytes on disk.
void SyncFile(std::FILE* file, const std::string& path);
// Puts a folder's entries (a rename into it) on disk; nothing on systems that
// offer no such flush.
void SyncFolder(const std::string& folder);
// Gives from the name to, replacing a file (or a link, never what it leads
// to) of that name.
void RenameFile(const std::string& from, const std::string& to);
// A second name for an existing file; false where the file system offers
// none, EFileError for other failures.
bool LinkFile(const std::string& existing, const std::string& link);
// Throws EFileError, naming the file as in use, when another program holds
// it open so that it cannot be replaced or removed (Windows; elsewhere a
// file that is open can be). A missing file is no error.
void CheckNotHeld(const std::string& path);
// Removes a file or a link (never what it leads to); a missing one is no error.
void RemoveFile(const std::string& path);
// Creates one folder level; an existing folder is no error.
void MakeFolder(const std::string& path);
// Sets the size of an open file.
void TruncateFile(std::FILE* file, const std::string& path, std::int64_t size);

// What identifies a file to its owner: its permissions, owner, group and
// number of names. exists is false for a missing file.
struct TFileIdentity {
    bool exists = false;
    unsigned mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t links = 1;
    // Windows: the read-only, hidden and system attributes (0x1, 0x2, 0x4).
    std::uint32_t attributes = 0;
};
inline constexpr std::uint32_t KeptAttributes = 0x7;
// Of the file a path names, through links to it (followLinks), or of the
// link itself.
TFileIdentity IdentityOf(const std::string& path, bool followLinks = true);
// Gives an open file the permissions of a file, and its owner and group
// where they differ from ours (on Windows: its read-only, hidden and system
// attributes). False when the owner or group could not be
// given (the permissions are given all the same); strict throws then instead.
bool GiveIdentity(std::FILE* file, const std::string& path, const TFileIdentity& identity);
// Gives an open file the permissions a new file gets (the process's umask).
void GiveNewFilePermissions(std::FILE* file, const std::string& path);
// The file a path names, through any links to it.
std::string FileBehind(const std::string& path);
// True when path is a link.
bool IsLink(const std::string& path);

// While a TFolderSyncBatch lives on a thread, the folders that replaced
// files on it are flushed once each when it ends, instead of after every
// file.
class TFolderSyncBatch {
public:
    TFolderSyncBatch();
    // Flushes the folders; failures are ignored (use Finish to see them).
    ~TFolderSyncBatch();
    TFolderSyncBatch(const TFolderSyncBatch&) = delete;
    TFolderSyncBatch& operator=(const TFolderSyncBatch&) = delete;
    void Finish();

private:
    bool owns_ = false;
};
// Flushes the folder now, or when the thread's batch ends.
void SyncFolderSoon(const std::string& folder);

// ---- Signals ------------------------------------------------------------------------

// On an interrupt, a termination or a hang-up, the files of ours that exist
// at that moment are removed, and the working folder with everything in it,
// before the program ends as the signal would end it. An empty folder
// removes only the files.
void CleanUpOnSignals(const std::string& workFolder);

} // namespace paddock
