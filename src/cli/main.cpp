// paddock-cli: the archive, texture, game-data and mesh jobs of Paddock from a
// terminal or a script, through the same core as the windows. Exit codes: 0
// done, 1 the job failed (the reason on stderr), 2 bad usage.
#include "app/Settings.h"
#include "app/Tools.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

using namespace paddock::cli;

namespace {

// The folder of this program, ending with the path delimiter.
std::string ProgramFolder()
{
#ifdef _WIN32
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return paddock::ExtractFilePath(paddock::FromPath(std::filesystem::path(std::wstring(path, n))));
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : paddock::ExtractFilePath(paddock::FromPath(self));
#endif
}

} // namespace

int main(int argc, char** argv)
{
    // The arguments in UTF-8, like every name in the program.
    std::vector<std::string> arguments = paddock::ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : arguments)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    argv = pointers.data();
#ifdef _WIN32
    // The console shows what is written in UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    // Lines end in "\n" as on every other system, so that what a script
    // keeps of the output (JSON, listings) has the same bytes everywhere.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    CLI::App app{"The archive, texture, game-data and mesh jobs of Paddock, the editor for Grand Prix 4 (v1.0), "
                 "from the command line. Exit codes: 0 done, 1 the job failed, 2 bad usage.",
                 "paddock-cli"};
    app.require_subcommand(1);
    // The program's own options may follow the command's.
    app.fallthrough();
    bool quiet = false;
    app.add_flag("-q,--quiet", quiet, "No progress bar and no closing notes");
    // paddock-cli reads no settings; paddock beside it keeps its own in the
    // file named here.
    app.set_version_flag("--version", "paddock-cli " PADDOCK_VERSION "\nSettings file of paddock in " +
                                          ProgramFolder() + ": " + paddock::SettingsFileFor(ProgramFolder()) +
                                          " (paddock-cli itself reads no settings)");

    Job job;
    AddWadCommands(app, job);
    AddTexCommands(app, job);
    AddGameCommands(app, job);
    AddMeshCommands(app, job);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? ExitDone : ExitUsage;
    }

    TerminalInteraction terminal(stderr, isatty(fileno(stderr)) != 0);
    terminal.setQuiet(quiet);
    int code = ExitDone;
    try {
        const WorkFolder work;
        SetSession(&terminal, &work);
        try {
            job();
        } catch (...) {
            SetSession(nullptr, nullptr);
            throw;
        }
        SetSession(nullptr, nullptr);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "paddock-cli: %s\nRun with --help for more information.\n", e.what());
        return ExitUsage;
    } catch (const std::bad_alloc&) {
        terminal.error("Not enough memory");
    } catch (const std::exception& e) {
        // A failure of the job, of the file layer (a file that cannot be
        // opened, read or written), or of the program itself.
        terminal.error(e.what());
    }
    if (terminal.errorCount() > 0)
        code = ExitFailed;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("paddock-cli: error: Cannot write to standard output\n", stderr);
        code = ExitFailed;
    }
    return code;
}
