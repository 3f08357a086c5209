// Changes to several files that reach the disk together or not at all. The
// game's files written by one export (the executable, the saved
// configuration, the rebuilt archive and the backups of all three) are
// changed in one TFileTransaction: each is prepared beside itself or in
// memory, then all are put in place, and a failure at any step puts back
// every file already changed.
#pragma once

#include "app/FileSystem.h"
#include "app/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paddock {

class TFileTransaction {
public:
    // Becomes the thread's current transaction until it goes (transactions
    // nest: the previous one is current again afterwards).
    TFileTransaction();
    // What was not committed is discarded; the files stay as they were.
    ~TFileTransaction();
    TFileTransaction(const TFileTransaction&) = delete;
    TFileTransaction& operator=(const TFileTransaction&) = delete;

    static TFileTransaction* Current();

    // The bytes of an existing file, to be changed in memory; read once per
    // transaction, through a stream open for writing, so that a file that may
    // not be written is refused now. A link leads to the file behind it. At
    // Commit the changed file is written beside itself and takes its place
    // with its permissions, owner and group; where that cannot be done (no
    // new file may be made in its folder, it has more than one name, or its
    // owner could not be kept) the changed bytes are written in place, the
    // old ones kept in memory to be put back. With backupOncePerRun, the
    // file's bytes as they were go to its backup (FILE.BAK) at its first
    // change in this run of the program. An unchanged file is not written.
    TMemoryStream& Rewrite(const std::string& path, bool backupOncePerRun = false);
    // A new file, written and flushed beside replaced (the file behind the
    // name shown to the user), put in place at Commit.
    void Adopt(TTempPath temp, const std::string& replaced, const std::string& shown);
    // Makes backup a copy of file at Commit: a second name for the same bytes
    // where the file system gives one (never for a link), a copy otherwise.
    void Backup(const std::string& file, const std::string& backup);
    // Writes bytes at offset into an existing file at Commit, in place; the
    // bytes there now are kept to be put back.
    void Patch(const std::string& path, std::int64_t offset, const std::vector<std::uint8_t>& bytes);

    // Puts every change in place, or none: on any failure the files already
    // changed are put back as they were and the failure is thrown on. A
    // transaction is committed once.
    void Commit();
    // The files Commit changed, by the names the user knows, backups first.
    const std::vector<std::string>& Written() const { return written_; }

private:
    struct Rewritten;
    struct Change;
    struct Entry;

    // False for a file whose bytes did not change.
    bool prepare(Rewritten& file, std::vector<std::unique_ptr<Change>>& plan);
    void apply(Change& change);
    void putBack(Change& change, std::string& problems);

    std::vector<Entry> entries_;
    std::vector<std::string> written_;
    TFileTransaction* previous_;
    bool committed_ = false;
};

// The thread's current transaction, or one of its own that Commit() commits
// (a joined transaction is committed by its owner).
class TJoinTransaction {
public:
    TJoinTransaction();
    ~TJoinTransaction();
    TFileTransaction& operator*() { return *transaction_; }
    TFileTransaction* operator->() { return transaction_; }
    void Commit();

private:
    std::unique_ptr<TFileTransaction> own_;
    TFileTransaction* transaction_;
};

// Forgets which files were backed up in this run (for tests).
void ForgetRunBackups();

} // namespace paddock
