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

// A seam for tests: when set, it is called before every write to a file with
// the file's path and the number of bytes about to be written, and may throw
// (an EWriteError, as a full disk would) to make that write fail. The program
// never sets it.
using TWriteFault = std::function<void(const std::string& path, std::int64_t count)>;
void SetWriteFault(TWriteFault fault);

// A file opened for one operation and closed when the object goes.
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

    // Flushes and closes; throws EWriteError when buffered data cannot be written.
    void Close();
    // Copies count bytes from the source's position to this file's position,
    // inside the operating system where it can; both positions move on. A
    // source that ends first throws EReadError.
    void CopyFromFile(TFileStream& source, std::int64_t count);

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool lastWasWrite_ = false;
    bool lastWasRead_ = false;
};

// A file written beside its target and put in the target's place only by
// Commit(), so that a failure part-way never leaves a half-written file where
// a good one was. Without Commit() the partial file is removed. The new file
// gets the permissions of the file it replaces. With followLink, a target
// that is a link to a file leads to that file, which is replaced while the
// link stays; without it, the link itself is replaced, so that nothing is
// written outside the target's folder.
class TSafeFileStream : public TFileStream {
public:
    explicit TSafeFileStream(const std::string& target, bool followLink = false);
    ~TSafeFileStream() override;

    // Closes the file and replaces the target with it; throws EFileError when
    // that is not possible (the target is then unchanged).
    void Commit();
    const std::string& Target() const { return target_; }
    // Commit() leaves the new file the permissions of a new file instead.
    void NewPermissions() { keepPermissions_ = false; }

private:
    std::string target_;
    std::string replaced_; // the file behind the target
    std::string temp_;
    bool committed_ = false;
    bool keepPermissions_ = true;
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

// A file changed as a whole: its bytes are read into memory (once it is known
// that the file may be written), changed there, written beside it by Stage()
// and put in its place, with its permissions, by Commit(). Until Commit() the
// file is untouched, so files changed together are all staged before any is
// replaced, and a failure part-way never leaves a half-changed file. A link
// to a file leads to the file, which is replaced; the link stays.
class TFileRewrite {
public:
    explicit TFileRewrite(const std::string& path);
    TFileRewrite(const TFileRewrite&) = delete;
    TFileRewrite& operator=(const TFileRewrite&) = delete;

    const std::string& Path() const { return path_; }
    TMemoryStream& Bytes() { return bytes_; }
    void Stage();
    // Stages first when Stage() was not called.
    void Commit();

private:
    std::string path_;
    TMemoryStream bytes_;
    std::unique_ptr<TSafeFileStream> staged_;
};

} // namespace paddock
