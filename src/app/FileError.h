// Failures of the file layer. They carry the path and the operating system's
// reason and are not caught by the format classes: they end the user's command
// and reach the main window's exception handler.
#pragma once

#include <stdexcept>
#include <string>

namespace paddock {

class EFileError : public std::runtime_error {
public:
    // action: what was attempted ("Cannot open file"), path: the file, reason:
    // the operating system's words (strerror) or ours, code: the system's
    // error number where there is one.
    EFileError(const std::string& action, const std::string& path, const std::string& reason, int code = 0);

    const std::string& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }
    int code() const noexcept { return code_; }

private:
    std::string path_;
    std::string reason_;
    int code_;
};

// A read that asks for more bytes than the stream still holds.
class EReadError : public EFileError {
public:
    explicit EReadError(const std::string& path, const std::string& reason = "Stream read error");
};

// A write that could not be completed.
class EWriteError : public EFileError {
public:
    explicit EWriteError(const std::string& path, const std::string& reason);
};

// The reason text of the last failing system call (errno).
std::string SystemReason(int err);

} // namespace paddock
