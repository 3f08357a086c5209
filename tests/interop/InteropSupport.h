// Running the independent tools that the interoperability tests compare with:
// Pillow through /usr/bin/python3 (the one python3-pil installs into) and
// ImageMagick's convert.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace paddock::testing {

inline constexpr const char* Python = "/usr/bin/python3";
inline constexpr const char* Convert = "/usr/bin/convert";

// The text quoted for the shell.
inline std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command quietly; true when it succeeded.
inline bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The tools run on the build machine's Linux: a Windows test has none.
inline bool havePillow()
{
#ifdef _WIN32
    return false;
#endif
    return std::filesystem::exists(Python) && run(std::string(Python) + " -c 'import PIL.Image'");
}

inline bool haveMagick()
{
#ifdef _WIN32
    return false;
#endif
    return std::filesystem::exists(Convert) && run(std::string(Convert) + " -version");
}

} // namespace paddock::testing
