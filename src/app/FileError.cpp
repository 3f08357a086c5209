#include "app/FileError.h"

#include <cstring>

namespace paddock {

namespace {
std::string compose(const std::string& action, const std::string& path, const std::string& reason)
{
    std::string text = action;
    if (!path.empty())
        text += " \"" + path + "\"";
    if (!reason.empty())
        text += ": " + reason;
    return text;
}
} // namespace

EFileError::EFileError(const std::string& action, const std::string& path, const std::string& reason, int code)
    : std::runtime_error(compose(action, path, reason)), path_(path), reason_(reason), code_(code)
{
}

EReadError::EReadError(const std::string& path, const std::string& reason)
    : EFileError(path.empty() ? "Read error" : "Read error in", path, reason)
{
}

EWriteError::EWriteError(const std::string& path, const std::string& reason)
    : EFileError(path.empty() ? "Write error" : "Write error in", path, reason)
{
}

std::string SystemReason(int err)
{
    return std::strerror(err);
}

} // namespace paddock
