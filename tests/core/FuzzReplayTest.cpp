// The fuzz targets' seeds and kept cases, replayed through the same entry
// functions as the fuzzers: every file is read or refused, and nothing
// breaks what the readers promise. One test per target.
#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using paddock::fuzz::FuzzTarget;

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> casesOf(const std::string& target)
{
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = fs::path(PADDOCK_FUZZ_DIR) / kind / target;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file())
                files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzReplay, EveryKeptCaseIsReadOrRefused)
{
    const FuzzTarget& target = GetParam();
    const std::vector<fs::path> files = casesOf(target.Name);
    ASSERT_FALSE(files.empty()) << "no seeds for " << target.Name;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        try {
            target.Entry(bytes.data(), bytes.size());
        } catch (const std::exception& e) {
            ADD_FAILURE() << file.string() << ": " << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(paddock::fuzz::FuzzTargets()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.Name); });

} // namespace
