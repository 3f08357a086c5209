// Runs the built paddock-cli as a user's shell would, without a display: no
// DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM in its environment, its
// temporary folder one of the test's own, stdin empty.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace paddock::testing {

struct CliResult {
    int code = -1;  // the exit code; -1 when the program did not exit normally
    int signal = 0; // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Runs paddock-cli with the arguments. tmp is the folder the program gets as
// its temporary folder; every run must leave it as empty as it found it (the
// program's working folder removed), which is checked here, as is the
// absence of sanitizer reports.
CliResult RunCli(const std::vector<std::string>& args, const std::string& tmp);

// As RunCli, with stderr a pseudo-terminal; err receives what the terminal
// showed. code is -1 when no pseudo-terminal could be opened.
CliResult RunCliOnTerminal(const std::vector<std::string>& args, const std::string& tmp);

// As RunCli, but once ready() holds (it is asked every few milliseconds,
// for ten seconds at most) the program is sent the signal.
CliResult RunCliAndSignal(const std::vector<std::string>& args, const std::string& tmp,
                          const std::function<bool()>& ready, int signal);

} // namespace paddock::testing
