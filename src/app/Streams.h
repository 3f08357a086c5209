// Byte streams: files and memory blocks read and written with a position.
// ReadBuffer/WriteBuffer move exact byte counts and throw the file layer's
// errors when they cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FileSystem.h"

namespace paddock {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;
    // The name used in error messages (the file's path, or empty).
    virtual std::string Name() const { return {}; }

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Begin); }

    // Reads exactly count bytes or throws EReadError.
    void ReadBuffer(void* buffer, std::size_t count);
    // Writes exactly count bytes or throws EWriteError.
    void WriteBuffer(const void* buffer, std::size_t count);
    // Copies count bytes from source's position through a bounded buffer.
    void CopyFrom(TStream& source, std::int64_t count);

    template <typename T> T ReadValue()
    {
        T v{};
        ReadBuffer(&v, sizeof v);
        return v;
    }
    template <typename T> void WriteValue(const T& v) { WriteBuffer(&v, sizeof v); }
};

enum class FileMode { OpenRead, OpenReadWrite, Create };

// A file opened for one operation and closed when the object goes. Every
// operation passes through the file layer's seam (app/FileSystem.h).
class TFileStream : public TStream {
public:
    TFileStream(const std::string& path, FileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() const override;
    std::string Name() const override { return path_; }

    // Writes what is buffered and asks the system to put the file on disk;
    // throws EWriteError when it cannot.
    void Sync();
    // Flushes and closes; throws EWriteError when buffered data cannot be written.
    void Close();
    // Sets the file's length, cutting it or extending it with zeros.
    void SetSize(std::int64_t size);
    // Copies count bytes from the source's position to this file's position,
    // inside the operating system where it can; both positions move on. A
    // source that ends first throws EReadError.
    void CopyFromFile(TFileStream& source, std::int64_t count);
    // Copies count bytes from offset from of the source to offset at of this
    // file, inside the operating system where it can; neither stream's
    // position moves. Bytes between this file's end and at read as zeros. A
    // source that ends first throws EReadError.
    void CopyRange(TFileStream& source, std::int64_t from, std::int64_t at, std::int64_t count);
    // Reads exactly count bytes at offset, or throws EReadError; writes
    // exactly count bytes at offset, or throws EWriteError. The position
    // stays where it was.
    void ReadAt(std::int64_t offset, void* buffer, std::size_t count);
    void WriteAt(std::int64_t offset, const void* buffer, std::size_t count);

    // Takes over a file the caller opened; path names it in messages.
    TFileStream(std::FILE* file, const std::string& path);
    std::FILE* Handle() const { return file_; }
    // Closes without a word: for clean-up after a failure.
    void CloseQuietly() noexcept;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool lastWasWrite_ = false;
    bool lastWasRead_ = false;
};

// How a TSafeFileStream takes its target's place.
enum class TReplace {
    // The target itself is replaced: a link there is replaced, never what it
    // leads to, so that nothing is written outside the target's folder.
    Own,
    // A file of the game: a link leads to the file behind it, which is
    // replaced while the link stays; inside a TFileTransaction the new file
    // is put in place with the transaction's other files, or not at all.
    GameFile,
};

// A file written beside its target and put in the target's place only by
// Commit(), so that a failure part-way never leaves a half-written file where
// a good one was. The new file is created exclusively under a name nobody can
// guess, never through a link; without Commit() it is removed. Commit() puts
// its bytes on disk before it takes the target's name, and the folder after.
// The new file gets the permissions, owner and group of the file it
// replaces, where they may be given.
class TSafeFileStream : public TFileStream {
public:
    explicit TSafeFileStream(const std::string& target, TReplace how = TReplace::Own);
    ~TSafeFileStream() override;

    // Closes the file and replaces the target with it (or hands it to the
    // running transaction); throws EFileError when that is not possible (the
    // target is then unchanged).
    void Commit();
    const std::string& Target() const { return target_; }
    // Commit() leaves the new file the permissions of a new file instead.
    void NewPermissions() { keepPermissions_ = false; }
    // A file of the program's working folder that this run reads back and
    // that goes with the folder: Commit() still puts it in place only when
    // it is whole, but flushes neither it nor its folder. Only the files
    // that take the place of the user's files must survive a crash; a
    // working folder left by a crash is removed unread. A game file is
    // flushed all the same.
    void WorkingFile() { flush_ = false; }

private:
    struct Opened;
    static Opened openBeside(const std::string& target, TReplace how);
    TSafeFileStream(const std::string& target, TReplace how, Opened&& opened);

    std::string target_;
    std::string replaced_; // the file behind the target
    TTempPath temp_;
    TReplace how_;
    bool committed_ = false;
    bool keepPermissions_ = true;
    bool flush_ = true;
};

// A growable block of bytes in memory with a position. Reading past the end of
// its data throws EReadError.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(size_); }

    const std::uint8_t* Memory() const { return data_; }
    // Writable bytes of an owned stream; throws for a view over a caller's block.
    std::uint8_t* MutableMemory();
    void SetSize(std::size_t size);
    void Clear();
    void LoadFromFile(const std::string& path);
    void LoadFromStream(TStream& source);
    void SaveToFile(const std::string& path) const;

protected:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    std::vector<std::uint8_t> owned_;
    bool view_ = false;

private:
    void ensureOwned();
};

// A memory stream that can also read a block owned by the caller, in place.
class TMemoryStreamEx : public TMemoryStream {
public:
    // The stream's data becomes the caller's block (no copy); the position is
    // kept. The block must stay valid while the stream is read; the stream never
    // frees or resizes it, and writing to it is refused.
    void SetPointer(const void* bytes, std::size_t length);
};

} // namespace paddock
