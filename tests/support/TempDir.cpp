#include "TempDir.h"

#include "app/FileSystem.h"
#include "app/Tools.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace paddock::testing {

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path p = base / ("paddock-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) {
            path_ = AddTrailingBackslash(FromPath(p));
            return;
        }
    }
    throw std::runtime_error("Cannot create a temporary folder");
}

std::string TempDir::operator/(const std::string& name) const
{
    std::string path = path_ + name;
    for (char& c : path)
        if (c == '/')
            c = PathDelim;
    return path;
}

TempDir::~TempDir()
{
    DeleteTree(path_);
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    ForceDirectories(ExtractFilePath(path));
    std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("Cannot write " + path);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(ToPath(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("Cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string OursLeftIn(const std::string& folder)
{
    std::string found;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(ToPath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = FromPath(it->path().filename());
        if (IsTempName(name) || name.find(".paddock-old-") != std::string::npos)
            found += FromPath(it->path()) + "\n";
    }
    return found;
}

bool SkippedOnWindows(const std::string& reason)
{
#ifdef _WIN32
    std::printf("Skipped on Windows: %s\n", reason.c_str());
    std::fflush(stdout);
    return true;
#else
    (void)reason;
    return false;
#endif
}

void SetEnv(const std::string& name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    // The wide environment, which the program reads on Windows.
    SetEnvironmentVariableW(ToPath(name).wstring().c_str(), value ? ToPath(*value).wstring().c_str() : nullptr);
    _wputenv_s(ToPath(name).wstring().c_str(), value ? ToPath(*value).wstring().c_str() : L"");
#else
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

std::optional<std::string> GetEnv(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace paddock::testing
