#include "app/Streams.h"

#include "app/FileError.h"
#include "app/FileTransaction.h"
#include "app/Tools.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef __linux__
#include <unistd.h>
#endif

namespace paddock {

namespace {

int fseek64(std::FILE* f, std::int64_t offset, int whence)
{
#ifdef _WIN32
    return _fseeki64(f, offset, whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t ftell64(std::FILE* f)
{
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<std::int64_t>(ftello(f));
#endif
}

} // namespace

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (Read(buffer, count) != count)
        throw EReadError(Name());
}

void TStream::WriteBuffer(const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (Write(buffer, count) != count)
        throw EWriteError(Name(), errno ? SystemReason(errno) : "Stream write error");
}

void TStream::CopyFrom(TStream& source, std::int64_t count)
{
    constexpr std::size_t blockSize = 1 << 20;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::int64_t>(count, blockSize)));
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, static_cast<std::int64_t>(block.size())));
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        count -= static_cast<std::int64_t>(n);
    }
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& path, FileMode mode) : path_(path)
{
    FileOperation(mode == FileMode::Create ? TFileOp::Create : TFileOp::Open, path);
    file_ = OpenFile(path, mode == FileMode::OpenRead        ? TOpenMode::Read
                           : mode == FileMode::OpenReadWrite ? TOpenMode::ReadWrite
                                                             : TOpenMode::Create);
}

TFileStream::TFileStream(std::FILE* file, const std::string& path) : path_(path), file_(file) {}

TFileStream::~TFileStream()
{
    CloseQuietly();
}

void TFileStream::CloseQuietly() noexcept
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void TFileStream::Sync()
{
    if (!file_)
        throw EWriteError(path_, "File is closed");
    SyncFile(file_, path_);
}

void TFileStream::Close()
{
    if (!file_)
        return;
    try {
        FileOperation(TFileOp::Close, path_);
    } catch (...) {
        CloseQuietly();
        throw;
    }
    std::FILE* f = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(f) == 0;
    const int err = errno;
    if (std::fclose(f) != 0 || !flushed)
        throw EWriteError(path_, SystemReason(err ? err : errno));
}

void TFileStream::SetSize(std::int64_t size)
{
    if (!file_)
        throw EWriteError(path_, "File is closed");
    TruncateFile(file_, path_, size);
    lastWasRead_ = lastWasWrite_ = false;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    if (!file_)
        throw EReadError(path_, "File is closed");
    FileOperation(TFileOp::Read, path_);
    if (lastWasWrite_)
        fseek64(file_, 0, SEEK_CUR);
    lastWasWrite_ = false;
    lastWasRead_ = true;
    return std::fread(buffer, 1, count, file_);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count)
{
    if (!file_)
        throw EWriteError(path_, "File is closed");
    FileOperation(TFileOp::Write, path_);
    if (lastWasRead_)
        fseek64(file_, 0, SEEK_CUR);
    lastWasRead_ = false;
    lastWasWrite_ = true;
    errno = 0;
    return std::fwrite(buffer, 1, count, file_);
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    if (!file_)
        throw EFileError("Seek error in", path_, "File is closed");
    const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    if (!(origin == SeekOrigin::Current && offset == 0)) {
        if (fseek64(file_, offset, whence) != 0)
            throw EFileError("Seek error in", path_, SystemReason(errno));
        lastWasRead_ = lastWasWrite_ = false;
    }
    return ftell64(file_);
}

std::int64_t TFileStream::Size() const
{
    if (!file_)
        return 0;
    const std::int64_t here = ftell64(file_);
    fseek64(file_, 0, SEEK_END);
    const std::int64_t size = ftell64(file_);
    fseek64(file_, here, SEEK_SET);
    return size;
}

void TFileStream::CopyFromFile(TFileStream& source, std::int64_t count)
{
    if (count <= 0)
        return;
    if (!file_ || !source.file_)
        throw EWriteError(path_, "File is closed");
    const std::int64_t from = source.Position();
    const std::int64_t at = Position();
    CopyRange(source, from, at, count);
    source.SetPosition(from + count);
    SetPosition(at + count);
}

void TFileStream::ReadAt(std::int64_t offset, void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (!file_)
        throw EReadError(path_, "File is closed");
    FileOperation(TFileOp::Read, path_);
#ifdef __linux__
    // The file's own bytes: what this stream holds buffered for writing
    // goes there first.
    if (lastWasWrite_ && std::fflush(file_) != 0)
        throw EWriteError(path_, SystemReason(errno));
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::size_t done = 0; done < count;) {
        const ssize_t n =
            ::pread(fileno(file_), bytes + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0)
            throw EReadError(path_, SystemReason(errno));
        if (n == 0)
            throw EReadError(path_);
        done += static_cast<std::size_t>(n);
    }
#else
    const std::int64_t here = Position();
    SetPosition(offset);
    ReadBuffer(buffer, count);
    SetPosition(here);
#endif
}

void TFileStream::WriteAt(std::int64_t offset, const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (!file_)
        throw EWriteError(path_, "File is closed");
    FileOperation(TFileOp::Write, path_);
#ifdef __linux__
    if (lastWasWrite_ && std::fflush(file_) != 0)
        throw EWriteError(path_, SystemReason(errno));
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::size_t done = 0; done < count;) {
        const ssize_t n =
            ::pwrite(fileno(file_), bytes + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n <= 0)
            throw EWriteError(path_, n < 0 ? SystemReason(errno) : "Nothing was written");
        done += static_cast<std::size_t>(n);
    }
#else
    const std::int64_t here = Position();
    SetPosition(offset);
    WriteBuffer(buffer, count);
    SetPosition(here);
#endif
}

void TFileStream::CopyRange(TFileStream& source, std::int64_t from, std::int64_t at, std::int64_t count)
{
    if (count <= 0)
        return;
    if (!file_ || !source.file_)
        throw EWriteError(path_, "File is closed");
    FileOperation(TFileOp::Write, path_);
#ifdef __linux__
    // At explicit offsets, which leave both files' positions alone: only
    // what this stream holds buffered goes to the file first.
    if (lastWasWrite_ && std::fflush(file_) != 0)
        throw EWriteError(path_, SystemReason(errno));
    const int in = fileno(source.file_);
    const int out = fileno(file_);
    off_t inOffset = static_cast<off_t>(from);
    off_t outOffset = static_cast<off_t>(at);
    std::int64_t left = count;
    // The kernel copies page by page. Where the two offsets lie at the same
    // place in their pages every page goes over whole, the fastest copy
    // there is; elsewhere each page would be written in two pieces, which
    // takes about twice as long as going through a buffer.
    constexpr std::int64_t PageSize = 4096;
    if ((from - at) % PageSize == 0) {
        while (left > 0) {
            const ssize_t n = ::copy_file_range(in, &inOffset, out, &outOffset, static_cast<std::size_t>(left), 0);
            if (n < 0) {
                const int err = errno;
                if (left == count && (err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP))
                    break; // not offered between these files: through the buffer below
                throw EWriteError(path_, SystemReason(err));
            }
            if (n == 0)
                throw EReadError(source.path_);
            left -= n;
        }
    }
    // One bounded buffer for the thread, kept between copies.
    thread_local std::vector<std::uint8_t> buffer;
    if (left > 0 && buffer.empty())
        buffer.resize(std::size_t{1} << 20);
    while (left > 0) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size())));
        const ssize_t got = ::pread(in, buffer.data(), want, inOffset);
        if (got < 0)
            throw EReadError(source.path_, SystemReason(errno));
        if (got == 0)
            throw EReadError(source.path_);
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::pwrite(out, buffer.data() + put, static_cast<std::size_t>(got - put), outOffset + put);
            if (n <= 0)
                throw EWriteError(path_, n < 0 ? SystemReason(errno) : "Nothing was written");
            put += n;
        }
        inOffset += got;
        outOffset += got;
        left -= got;
    }
#else
    const std::int64_t sourceHere = source.Position();
    const std::int64_t here = Position();
    source.SetPosition(from);
    SetPosition(at);
    CopyFrom(source, count);
    source.SetPosition(sourceHere);
    SetPosition(here);
#endif
}

// ---------------------------------------------------------------------------

struct TSafeFileStream::Opened {
    std::string replaced;
    TTempPath temp;
    std::FILE* file = nullptr;
};

TSafeFileStream::Opened TSafeFileStream::openBeside(const std::string& target, TReplace how)
{
    TSafeFileStream::Opened opened;
    opened.replaced = how == TReplace::GameFile ? FileBehind(target) : target;
    opened.file = CreateTempBeside(opened.replaced, opened.temp);
    return opened;
}

TSafeFileStream::TSafeFileStream(const std::string& target, TReplace how)
    : TSafeFileStream(target, how, openBeside(target, how))
{
}

// Messages name the target, which the user knows, not the file beside it.
TSafeFileStream::TSafeFileStream(const std::string& target, TReplace how, Opened&& opened)
    : TFileStream(opened.file, target), target_(target), replaced_(std::move(opened.replaced)),
      temp_(std::move(opened.temp)), how_(how)
{
}

TSafeFileStream::~TSafeFileStream()
{
    // Closed before it is removed: an open file cannot be removed everywhere.
    CloseQuietly();
    temp_.Remove();
}

void TSafeFileStream::Commit()
{
    try {
        const TFileIdentity old = IdentityOf(replaced_);
        if (old.exists && keepPermissions_)
            GiveIdentity(Handle(), target_, old);
        else
            GiveNewFilePermissions(Handle(), target_);
        if (flush_ || how_ == TReplace::GameFile)
            Sync();
        Close();
    } catch (...) {
        CloseQuietly();
        temp_.Remove();
        committed_ = true;
        throw;
    }
    committed_ = true;
    if (how_ == TReplace::GameFile)
        if (TFileTransaction* transaction = TFileTransaction::Current()) {
            transaction->Adopt(std::move(temp_), replaced_, target_);
            return;
        }
    try {
        RenameFile(temp_.path(), replaced_);
    } catch (...) {
        temp_.Remove();
        throw;
    }
    temp_.Release();
    if (flush_ || how_ == TReplace::GameFile)
        SyncFolderSoon(ExtractFilePath(replaced_));
}

// ---------------------------------------------------------------------------

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (position_ >= size_)
        return 0;
    const std::size_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

void TMemoryStream::ensureOwned()
{
    if (view_)
        throw EWriteError({}, "The stream reads a block it does not own and cannot be written");
}

std::uint8_t* TMemoryStream::MutableMemory()
{
    ensureOwned();
    return owned_.data();
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count)
{
    ensureOwned();
    if (count == 0)
        return 0;
    const std::size_t end = position_ + count;
    if (end > owned_.size()) {
        if (end > owned_.capacity())
            owned_.reserve(std::max(end, owned_.capacity() * 2));
        owned_.resize(end);
    }
    std::memcpy(owned_.data() + position_, buffer, count);
    position_ = end;
    size_ = std::max(size_, end);
    data_ = owned_.data();
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = static_cast<std::int64_t>(position_);
    else if (origin == SeekOrigin::End)
        base = static_cast<std::int64_t>(size_);
    const std::int64_t target = base + offset;
    if (target < 0)
        throw EReadError(Name(), "Seek before the start of the stream");
    position_ = static_cast<std::size_t>(target);
    return target;
}

void TMemoryStream::SetSize(std::size_t size)
{
    ensureOwned();
    owned_.resize(size);
    size_ = size;
    data_ = owned_.data();
    position_ = std::min(position_, size_);
}

void TMemoryStream::Clear()
{
    owned_.clear();
    owned_.shrink_to_fit();
    view_ = false;
    data_ = nullptr;
    size_ = 0;
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path)
{
    TFileStream file(path, FileMode::OpenRead);
    LoadFromStream(file);
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    Clear();
    owned_.resize(static_cast<std::size_t>(size));
    source.ReadBuffer(owned_.data(), owned_.size());
    data_ = owned_.data();
    size_ = owned_.size();
}

void TMemoryStream::SaveToFile(const std::string& path) const
{
    TSafeFileStream file(path);
    file.WriteBuffer(data_, size_);
    file.Commit();
}

void TMemoryStreamEx::SetPointer(const void* bytes, std::size_t length)
{
    owned_.clear();
    owned_.shrink_to_fit();
    view_ = true;
    data_ = static_cast<const std::uint8_t*>(bytes);
    size_ = length;
}

} // namespace paddock
