#include "TempDir.h"

#include "app/FileSystem.h"
#include "app/Tools.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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
            path_ = AddTrailingBackslash(p.string());
            return;
        }
    }
    throw std::runtime_error("Cannot create a temporary folder");
}

TempDir::~TempDir()
{
    DeleteTree(path_);
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    ForceDirectories(ExtractFilePath(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("Cannot write " + path);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
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
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsTempName(name) || name.find(".paddock-old-") != std::string::npos)
            found += it->path().string() + "\n";
    }
    return found;
}

} // namespace paddock::testing
