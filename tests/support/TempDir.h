// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <optional>
#include <string>

namespace paddock::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending with the path delimiter.
    const std::string& path() const { return path_; }
    // A path below the folder; slashes in name become the system's
    // delimiters, as the program's own paths have them.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

// Writes bytes to a file, creating its folders; reads a whole file.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// The files of ours (new bytes not yet in place, old files kept while they
// are replaced) left anywhere below folder, one name a line; empty when none.
std::string OursLeftIn(const std::string& folder);

// On Windows: prints "Skipped on Windows: " and the reason, for a part of a
// test that cannot hold there, and returns true; elsewhere false.
bool SkippedOnWindows(const std::string& reason);

// Sets (or with nullopt removes) a variable of the process's environment;
// reads one.
void SetEnv(const std::string& name, const std::optional<std::string>& value);
std::optional<std::string> GetEnv(const std::string& name);

} // namespace paddock::testing
