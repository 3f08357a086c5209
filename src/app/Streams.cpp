#include "app/Streams.h"

#include "app/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef __linux__
#include <unistd.h>
#endif
#include <fstream>

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

TWriteFault writeFault;

} // namespace

void SetWriteFault(TWriteFault fault)
{
    writeFault = std::move(fault);
}

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
    const char* how = mode == FileMode::OpenRead ? "rb" : mode == FileMode::OpenReadWrite ? "r+b" : "w+b";
    errno = 0;
    file_ = std::fopen(path.c_str(), how);
    if (!file_)
        throw EFileError(mode == FileMode::Create ? "Cannot create file" : "Cannot open file", path,
                         SystemReason(errno));
}

TFileStream::~TFileStream()
{
    if (file_)
        std::fclose(file_);
}

void TFileStream::Close()
{
    if (!file_)
        return;
    std::FILE* f = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(f) == 0;
    const int err = errno;
    if (std::fclose(f) != 0 || !flushed)
        throw EWriteError(path_, SystemReason(err ? err : errno));
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    if (!file_)
        throw EReadError(path_, "File is closed");
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
    if (writeFault)
        writeFault(path_, static_cast<std::int64_t>(count));
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
    if (writeFault)
        writeFault(path_, count);
#ifdef __linux__
    // Both streams hand their buffered state to the file first; the kernel
    // then copies between the two files at explicit offsets.
    if (std::fflush(file_) != 0)
        throw EWriteError(path_, SystemReason(errno));
    off_t inOffset = static_cast<off_t>(ftell64(source.file_));
    off_t outOffset = static_cast<off_t>(ftell64(file_));
    const int in = fileno(source.file_);
    const int out = fileno(file_);
    std::int64_t left = count;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(in, &inOffset, out, &outOffset, static_cast<std::size_t>(left), 0);
        if (n < 0) {
            const int err = errno;
            if (left == count && (err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP))
                break; // not offered between these files: copy through a buffer below
            throw EWriteError(path_, SystemReason(err));
        }
        if (n == 0) {
            fseek64(source.file_, inOffset, SEEK_SET);
            throw EReadError(source.path_);
        }
        left -= n;
    }
    fseek64(source.file_, inOffset, SEEK_SET);
    fseek64(file_, outOffset, SEEK_SET);
    source.lastWasRead_ = source.lastWasWrite_ = false;
    lastWasRead_ = lastWasWrite_ = false;
    if (left == 0)
        return;
#endif
    CopyFrom(source, count);
}

// ---------------------------------------------------------------------------

namespace {
std::string tempNameBeside(const std::string& target)
{
    return target + ".paddock-new";
}

// The file a path names, through any links to it.
std::string fileBehind(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    return ec ? path : target.string();
}
} // namespace

TSafeFileStream::TSafeFileStream(const std::string& target, bool followLink)
try : TFileStream(tempNameBeside(followLink ? fileBehind(target) : target), FileMode::Create), target_(target),
      replaced_(followLink ? fileBehind(target) : target), temp_(tempNameBeside(replaced_)) {
} catch (const EFileError& e) {
    // The user knows the target, not the file written beside it.
    throw EFileError("Cannot create file", target, e.reason());
}

TSafeFileStream::~TSafeFileStream()
{
    if (!committed_) {
        try {
            Close();
        } catch (...) {
        }
        std::remove(temp_.c_str());
    }
}

void TSafeFileStream::Commit()
{
    Close();
    std::error_code ec;
    if (keepPermissions_) {
        const auto perms = std::filesystem::status(replaced_, ec).permissions();
        if (!ec)
            std::filesystem::permissions(temp_, perms, ec);
        ec.clear();
    }
    std::filesystem::rename(temp_, replaced_, ec);
    if (ec) {
        std::remove(temp_.c_str());
        committed_ = true;
        throw EFileError("Cannot replace file", target_, ec.message());
    }
    committed_ = true;
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
    TFileStream file(path, FileMode::Create);
    file.WriteBuffer(data_, size_);
    file.Close();
}

void TMemoryStreamEx::SetPointer(const void* bytes, std::size_t length)
{
    owned_.clear();
    owned_.shrink_to_fit();
    view_ = true;
    data_ = static_cast<const std::uint8_t*>(bytes);
    size_ = length;
}

// ---------------------------------------------------------------------------

TFileRewrite::TFileRewrite(const std::string& path) : path_(path)
{
    // Read through a stream open for writing: a read-only file is refused as
    // an in-place change would be.
    TFileStream file(path_, FileMode::OpenReadWrite);
    bytes_.LoadFromStream(file);
}

void TFileRewrite::Stage()
{
    staged_ = std::make_unique<TSafeFileStream>(path_, true);
    staged_->WriteBuffer(bytes_.Memory(), static_cast<std::size_t>(bytes_.Size()));
}

void TFileRewrite::Commit()
{
    if (!staged_)
        Stage();
    staged_->Commit();
    staged_.reset();
}

} // namespace paddock
