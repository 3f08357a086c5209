#include "CliRun.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include "app/Tools.h"

#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace paddock::testing {

namespace {

void checkRun(const CliResult& r, const std::vector<std::string>& args, const std::string& tmp)
{
    std::string command;
    for (const std::string& a : args)
        command += " " + a;
    if (r.signal == 0) {
        EXPECT_NE(r.code, -1) << "paddock-cli" << command << " did not exit normally\n" << r.err;
    }
    EXPECT_NE(r.code, 86) << "paddock-cli" << command << ": sanitizer report\n" << r.err;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    // The working folder is gone.
    for (const auto& entry : std::filesystem::directory_iterator(ToPath(tmp)))
        ADD_FAILURE() << "paddock-cli" << command << " left " << FromPath(entry.path());
}

#ifdef _WIN32

// One argument of a Windows command line, as the C library and
// CommandLineToArgvW split it again: quoted, with the backslashes before a
// quotation mark (or the closing one) doubled.
std::wstring quotedArgument(const std::wstring& arg)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// The test's environment with the given temporary folder, as a block of
// NAME=value strings.
std::wstring environmentBlock(const std::string& tmp)
{
    std::wstring block;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* e = env; *e; e += std::wcslen(e) + 1) {
            const std::wstring entry = e;
            const std::wstring name = entry.substr(0, entry.find(L'='));
            if (_wcsicmp(name.c_str(), L"TMP") == 0 || _wcsicmp(name.c_str(), L"TEMP") == 0)
                continue;
            block += entry + L'\0';
        }
        FreeEnvironmentStringsW(env);
    }
    const std::wstring folder = ToPath(RemoveTrailingBackslash(tmp)).wstring();
    block += L"TMP=" + folder + L'\0';
    block += L"TEMP=" + folder + L'\0';
    return block + L'\0';
}

HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(ToPath(path).wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

#else

// The test's environment without the display and with the given temporary
// folder; a sanitizer's report ends the program with a code of its own.
std::vector<std::string> environment(const std::string& tmp)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" || name == "TMPDIR" ||
            name == "ASAN_OPTIONS" || name == "UBSAN_OPTIONS")
            continue;
        env.push_back(entry);
    }
    env.push_back("TMPDIR=" + tmp);
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = std::getenv(name);
        env.push_back(std::string(name) + "=" + (value ? std::string(value) + ":" : "") + "exitcode=86");
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Starts the program; stderr goes to errFd when it is not -1, else to errPath.
pid_t spawn(const std::vector<std::string>& args, const std::string& tmp, const std::string& outPath,
            const std::string& errPath, int errFd)
{
    std::vector<std::string> argv{PADDOCK_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = environment(tmp);
    std::vector<char*> argp = pointers(argv);
    std::vector<char*> envp = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, PADDOCK_CLI, &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int exitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

} // namespace

#ifdef _WIN32

CliResult RunCli(const std::vector<std::string>& args, const std::string& tmp)
{
    const TempDir capture;
    CliResult r;
    const std::wstring program = std::filesystem::absolute(ToPath(PADDOCK_CLI)).wstring();
    std::wstring command = quotedArgument(program);
    for (const std::string& a : args)
        command += L" " + quotedArgument(ToPath(a).wstring());
    std::wstring environment = environmentBlock(tmp);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(capture / "out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(capture / "err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                                        &startup, &process);
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    if (!started) {
        ADD_FAILURE() << "Cannot start " << PADDOCK_CLI << " (Windows error " << GetLastError() << ")";
        return r;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    r.code = static_cast<int>(code);
    r.out = ReadBytes(capture / "out");
    r.err = ReadBytes(capture / "err");
    checkRun(r, args, tmp);
    return r;
}

CliResult RunCliOnTerminal(const std::vector<std::string>&, const std::string&)
{
    return {}; // no pseudo-terminal here: code -1
}

CliResult RunCliAndSignal(const std::vector<std::string>&, const std::string&, const std::function<bool()>&, int)
{
    ADD_FAILURE() << "Windows has no signals to send";
    return {};
}

#else

namespace {

// Runs the program with stdout and stderr captured; while it runs, during
// is called with its process (and may end it); then the run is checked.
CliResult runCaptured(const std::vector<std::string>& args, const std::string& tmp,
                      const std::function<void(pid_t, int& status)>& during)
{
    const TempDir capture;
    CliResult r;
    const pid_t pid = spawn(args, tmp, capture / "out", capture / "err", -1);
    if (pid < 0) {
        ADD_FAILURE() << "Cannot start " << PADDOCK_CLI;
        return r;
    }
    int status = 0;
    during(pid, status);
    r.code = exitCode(status);
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.out = ReadBytes(capture / "out");
    r.err = ReadBytes(capture / "err");
    checkRun(r, args, tmp);
    return r;
}

} // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& tmp)
{
    return runCaptured(args, tmp, [](pid_t pid, int& status) { waitpid(pid, &status, 0); });
}

CliResult RunCliAndSignal(const std::vector<std::string>& args, const std::string& tmp,
                          const std::function<bool()>& ready, int signal)
{
    return runCaptured(args, tmp, [&](pid_t pid, int& status) {
        for (int wait = 0; wait < 2000 && !ready(); ++wait) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return; // ended by itself
            usleep(5000);
        }
        kill(pid, signal);
        waitpid(pid, &status, 0);
    });
}

CliResult RunCliOnTerminal(const std::vector<std::string>& args, const std::string& tmp)
{
    const TempDir capture;
    CliResult r;
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return r;
    const pid_t pid = spawn(args, tmp, capture / "out", "", slave);
    close(slave);
    if (pid < 0) {
        close(master);
        ADD_FAILURE() << "Cannot start " << PADDOCK_CLI;
        return r;
    }
    // The terminal is read while the program runs, so that it never waits
    // for room; it reports an error once the program has ended and closed it.
    char buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        r.err.append(buffer, static_cast<std::size_t>(n));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = exitCode(status);
    r.out = ReadBytes(capture / "out");
    checkRun(r, args, tmp);
    return r;
}

#endif

} // namespace paddock::testing
