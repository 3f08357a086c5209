#include "app/FileTransaction.h"

#include "app/FileError.h"
#include "app/Tools.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>

namespace paddock {

namespace {

thread_local TFileTransaction* current = nullptr;

// The files whose bytes went to their backups in this run, by the file behind.
std::mutex backupsMutex;
std::set<std::string> runBackups;

bool backedUp(const std::string& file)
{
    std::lock_guard lock(backupsMutex);
    return runBackups.count(file) != 0;
}

void markBackedUp(const std::string& file)
{
    std::lock_guard lock(backupsMutex);
    runBackups.insert(file);
}

// Runs of changed bytes closer than this are written as one.
constexpr std::size_t JoinGap = 64;

void removeQuietly(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            RemoveFile(path);
            return;
        } catch (...) {
        }
    }
}

} // namespace

struct TFileTransaction::Rewritten {
    std::string path; // as the user names it
    std::string file; // the file behind it
    TMemoryStream bytes;
    std::vector<std::uint8_t> original;
    bool backup = false;
};

struct TFileTransaction::Change {
    enum class Kind { Replace, InPlace };
    struct Range {
        std::int64_t offset = 0;
        std::vector<std::uint8_t> before;
        std::vector<std::uint8_t> after;
    };

    Kind kind = Kind::Replace;
    std::string target; // the file changed
    std::string shown;  // the name the user knows
    bool applied = false;
    // Replace: the new file beside the target, and the old file's second
    // name while it is replaced.
    TTempPath fresh;
    std::string kept;
    bool keptByRename = false;
    // InPlace
    std::vector<Range> ranges;
    std::int64_t sizeBefore = 0;
    std::int64_t sizeAfter = 0;
};

struct TFileTransaction::Entry {
    std::unique_ptr<Rewritten> rewrite;
    std::unique_ptr<Change> change;
};

TFileTransaction::TFileTransaction() : previous_(current)
{
    current = this;
}

TFileTransaction::~TFileTransaction()
{
    current = previous_;
}

TFileTransaction* TFileTransaction::Current()
{
    return current;
}

TMemoryStream& TFileTransaction::Rewrite(const std::string& path, bool backupOncePerRun)
{
    const std::string file = FileBehind(path);
    for (Entry& e : entries_)
        if (e.rewrite && e.rewrite->file == file) {
            e.rewrite->backup = e.rewrite->backup || backupOncePerRun;
            return e.rewrite->bytes;
        }
    auto r = std::make_unique<Rewritten>();
    r->path = path;
    r->file = file;
    r->backup = backupOncePerRun;
    {
        // Read through a stream open for writing: a file that may not be
        // written is refused before anything is changed.
        TFileStream in(path, FileMode::OpenReadWrite);
        r->bytes.LoadFromStream(in);
        in.Close();
    }
    r->original.assign(r->bytes.Memory(), r->bytes.Memory() + r->bytes.Size());
    TMemoryStream& bytes = r->bytes;
    entries_.push_back({std::move(r), nullptr});
    return bytes;
}

void TFileTransaction::Adopt(TTempPath temp, const std::string& replaced, const std::string& shown)
{
    auto c = std::make_unique<Change>();
    c->target = replaced;
    c->shown = shown;
    c->fresh = std::move(temp);
    entries_.push_back({nullptr, std::move(c)});
}

void TFileTransaction::Backup(const std::string& file, const std::string& backup)
{
    auto c = std::make_unique<Change>();
    c->target = backup;
    c->shown = backup;
    const std::string behind = FileBehind(file);
    // A file that another program holds would hold its second name too.
    CheckNotHeld(behind);
    // A second name for the bytes costs no copy; a link is copied, since a
    // second name for it would show whatever it leads to later.
    if (!IsLink(file)) {
        TTempPath name(TempNameBeside(backup));
        if (LinkFile(behind, name.path()))
            c->fresh = std::move(name);
        else
            name.Release(); // nothing was made under it
    }
    if (c->fresh.empty()) {
        TFileStream in(file, FileMode::OpenRead);
        TFileStream out(CreateTempBeside(backup, c->fresh), backup);
        GiveIdentity(out.Handle(), backup, IdentityOf(behind));
        out.CopyFromFile(in, in.Size());
        out.Sync();
        out.Close();
    }
    entries_.push_back({nullptr, std::move(c)});
}

void TFileTransaction::Patch(const std::string& path, std::int64_t offset, const std::vector<std::uint8_t>& bytes)
{
    auto c = std::make_unique<Change>();
    c->kind = Change::Kind::InPlace;
    c->target = path;
    c->shown = path;
    TFileStream in(path, FileMode::OpenReadWrite);
    c->sizeBefore = in.Size();
    Change::Range range;
    range.offset = offset;
    range.after = bytes;
    const std::int64_t there = std::clamp<std::int64_t>(c->sizeBefore - offset, 0, static_cast<std::int64_t>(bytes.size()));
    range.before.resize(static_cast<std::size_t>(there));
    if (there > 0) {
        in.SetPosition(offset);
        in.ReadBuffer(range.before.data(), range.before.size());
    }
    in.Close();
    c->sizeAfter = std::max(c->sizeBefore, offset + static_cast<std::int64_t>(bytes.size()));
    c->ranges.push_back(std::move(range));
    entries_.push_back({nullptr, std::move(c)});
}

bool TFileTransaction::prepare(Rewritten& r, std::vector<std::unique_ptr<Change>>& plan)
{
    const auto* now = r.bytes.Memory();
    const auto size = static_cast<std::size_t>(r.bytes.Size());
    if (size == r.original.size() && (size == 0 || std::memcmp(now, r.original.data(), size) == 0))
        return false;
    const TFileIdentity identity = IdentityOf(r.file);

    if (r.backup && !backedUp(r.file)) {
        auto c = std::make_unique<Change>();
        c->target = FindFileNoCase(ExtractFilePath(r.path), ExtractFileName(r.path) + ".BAK");
        c->shown = c->target;
        std::FILE* file = nullptr;
        try {
            file = CreateTempBeside(c->target, c->fresh);
        } catch (const EFileError& e) {
            // A folder that takes no new files takes no backup either; the
            // file itself is then changed in place.
            if (!NoNewFilesAllowed(e))
                throw;
            ShowMessage("No backup of " + r.path + " could be kept: " + e.reason());
        }
        if (file) {
            TFileStream out(file, c->target);
            GiveIdentity(out.Handle(), c->target, identity);
            out.WriteBuffer(r.original.data(), r.original.size());
            out.Sync();
            out.Close();
            plan.push_back(std::move(c));
        }
    }

    auto c = std::make_unique<Change>();
    c->target = r.file;
    c->shown = r.path;
    // A file with other names keeps them only when it is changed in place.
    bool inPlace = identity.links > 1;
    std::FILE* file = nullptr;
    if (!inPlace) {
        try {
            file = CreateTempBeside(r.file, c->fresh);
        } catch (const EFileError& e) {
            if (!NoNewFilesAllowed(e))
                throw;
            inPlace = true;
        }
    }
    if (file) {
        bool ownerKept = false;
        {
            TFileStream out(file, r.path);
            ownerKept = GiveIdentity(out.Handle(), r.path, identity);
            if (ownerKept) {
                out.WriteBuffer(now, size);
                out.Sync();
                out.Close();
            }
        }
        if (!ownerKept) {
            c->fresh.Remove();
            inPlace = true;
        }
    }
    if (inPlace) {
        c->kind = Change::Kind::InPlace;
        c->sizeBefore = static_cast<std::int64_t>(r.original.size());
        c->sizeAfter = static_cast<std::int64_t>(size);
        // The runs of bytes that differ, runs close together joined, and
        // the tail one version has beyond the other.
        const auto addRange = [&](std::size_t offset, std::size_t beforeSize, std::size_t afterSize) {
            Change::Range range;
            range.offset = static_cast<std::int64_t>(offset);
            range.before.assign(r.original.begin() + static_cast<std::ptrdiff_t>(offset),
                                r.original.begin() + static_cast<std::ptrdiff_t>(offset + beforeSize));
            range.after.assign(now + offset, now + offset + afterSize);
            c->ranges.push_back(std::move(range));
        };
        const std::size_t common = std::min(r.original.size(), size);
        for (std::size_t i = 0; i < common;) {
            if (r.original[i] == now[i]) {
                ++i;
                continue;
            }
            std::size_t last = i;
            for (std::size_t j = i + 1; j < common && j - last <= JoinGap; ++j)
                if (r.original[j] != now[j])
                    last = j;
            addRange(i, last + 1 - i, last + 1 - i);
            i = last + 1;
        }
        if (size != r.original.size())
            addRange(common, r.original.size() - common, size - common);
    }
    plan.push_back(std::move(c));
    return true;
}

void TFileTransaction::apply(Change& c)
{
    if (c.kind == Change::Kind::InPlace) {
        TFileStream file(c.target, FileMode::OpenReadWrite);
        c.applied = true;
        for (const Change::Range& range : c.ranges)
            if (!range.after.empty()) {
                file.SetPosition(range.offset);
                file.WriteBuffer(range.after.data(), range.after.size());
            }
        if (c.sizeAfter < c.sizeBefore)
            file.SetSize(c.sizeAfter);
        file.Sync();
        file.Close();
        return;
    }
    // The old file keeps a second name until every change is in place, so
    // that it can be put back.
    if (IdentityOf(c.target, false).exists) {
        if (DirectoryExists(c.target) && !IsLink(c.target))
            throw EFileError("Cannot replace file", c.shown, "A folder has its name");
        // Before it gets a second name that would be held with it.
        CheckNotHeld(c.target);
        const std::string kept = TempNameBeside(c.target, true);
        if (!IsLink(c.target) && LinkFile(c.target, kept)) {
            c.kept = kept;
        } else {
            RenameFile(c.target, kept);
            c.kept = kept;
            c.keptByRename = true;
        }
    }
    RenameFile(c.fresh.path(), c.target);
    c.fresh.Release();
    c.applied = true;
}

void TFileTransaction::putBack(Change& c, std::string& problems)
{
    try {
        if (c.kind == Change::Kind::InPlace) {
            if (c.applied) {
                TFileStream file(c.target, FileMode::OpenReadWrite);
                for (const Change::Range& range : c.ranges)
                    if (!range.before.empty()) {
                        file.SetPosition(range.offset);
                        file.WriteBuffer(range.before.data(), range.before.size());
                    }
                if (c.sizeAfter != c.sizeBefore)
                    file.SetSize(c.sizeBefore);
                file.Sync();
                file.Close();
                c.applied = false;
            }
            return;
        }
        if (c.applied || c.keptByRename) {
            if (!c.kept.empty())
                RenameFile(c.kept, c.target);
            else
                RemoveFile(c.target);
            c.kept.clear();
            c.applied = false;
        } else if (!c.kept.empty()) {
            RemoveFile(c.kept);
            c.kept.clear();
        }
        c.fresh.Remove();
    } catch (const std::exception& e) {
        problems += " " + c.shown + " could not be put back as it was (" + e.what() + ").";
    }
}

void TFileTransaction::Commit()
{
    if (committed_)
        throw std::logic_error("A file transaction is committed once");
    committed_ = true;
    std::vector<std::unique_ptr<Change>> plan;
    std::vector<std::string> backups;
    for (Entry& e : entries_) {
        if (e.rewrite) {
            if (prepare(*e.rewrite, plan) && e.rewrite->backup)
                backups.push_back(e.rewrite->file);
        } else {
            plan.push_back(std::move(e.change));
        }
    }
    if (plan.empty())
        return;

    std::set<std::string> folders;
    for (const auto& c : plan)
        if (c->kind == Change::Kind::Replace)
            folders.insert(ExtractFilePath(c->target));
    std::size_t done = 0;
    try {
        for (; done < plan.size(); ++done)
            apply(*plan[done]);
        for (const std::string& folder : folders)
            SyncFolder(folder);
    } catch (...) {
        std::string problems;
        for (std::size_t i = std::min(done + 1, plan.size()); i-- > 0;)
            putBack(*plan[i], problems);
        for (const std::string& folder : folders)
            try {
                SyncFolder(folder);
            } catch (...) {
            }
        if (problems.empty())
            throw;
        try {
            throw;
        } catch (const EFileError& e) {
            throw EFileError(e.what(), "", "Putting the other files back failed too:" + problems);
        } catch (const std::exception& e) {
            throw EFileError(e.what(), "", "Putting the other files back failed too:" + problems);
        }
    }
    for (const auto& c : plan) {
        if (!c->kept.empty())
            removeQuietly(c->kept);
        written_.push_back(c->shown);
    }
    for (const std::string& file : backups)
        markBackedUp(file);
}

TJoinTransaction::TJoinTransaction() : transaction_(TFileTransaction::Current())
{
    if (!transaction_) {
        own_ = std::make_unique<TFileTransaction>();
        transaction_ = own_.get();
    }
}

TJoinTransaction::~TJoinTransaction() = default;

void TJoinTransaction::Commit()
{
    if (own_)
        own_->Commit();
}

void ForgetRunBackups()
{
    std::lock_guard lock(backupsMutex);
    runBackups.clear();
}

} // namespace paddock
