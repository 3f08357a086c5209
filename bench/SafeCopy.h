// The file-system work of a safe write, done plainly, for the benchmarks'
// floors: a new file created exclusively beside its target (never through a
// link), its bytes, its permissions, a flush to disk, a rename over the
// target, and a flush of the folder.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace paddock::bench {

[[noreturn]] inline void failed(const char* what, const std::string& path)
{
    throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

// Copies source to target: the bytes go into a new file beside target,
// copied inside the kernel; it is given its permissions, flushed, closed
// and renamed over target. The folder is flushed by the caller, once per
// folder, as the program does.
inline void safeCopy(const std::string& source, const std::string& target)
{
    const std::string temp = target + ".floor-new";
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        failed("Cannot open", source);
    const int out = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        failed("Cannot create", temp);
    struct stat st {};
    if (::fstat(in, &st) != 0)
        failed("Cannot read the size of", source);
    for (off_t left = st.st_size; left > 0;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(left), 0);
        if (n <= 0)
            failed("Cannot copy to", temp);
        left -= n;
    }
    if (::fchmod(out, 0644) != 0 || ::fsync(out) != 0 || ::close(out) != 0)
        failed("Cannot write", temp);
    ::close(in);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        failed("Cannot rename to", target);
}

inline void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
        failed("Cannot flush", folder);
    ::close(fd);
}

} // namespace paddock::bench
