// The command line's side of the user interaction: the core's messages and
// errors go to stderr, its progress becomes a bar on stderr when that is a
// terminal, and nothing ever waits for an answer. Also the working folder of
// one run and the failures that end a command.
#pragma once

#include "app/Interaction.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace paddock::cli {

// Ends the running command with exit code 1; the text goes to stderr.
class CommandFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ends the running command with exit code 2 (bad usage).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int ExitDone = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

class TerminalInteraction : public UserInteraction {
public:
    // err: where messages, errors and the progress bar go; progressBar: draw
    // the bar (only sensible when err is a terminal).
    TerminalInteraction(std::FILE* err, bool progressBar);
    ~TerminalInteraction() override;

    // --quiet: no progress bar and no closing notes.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }
    // How many errors have been reported; a command that reported one fails.
    int errorCount() const { return errors_; }

    // A closing note of the command ("Wrote ..."), silenced by --quiet.
    void note(const std::string& text);

    void message(const std::string& text) override;
    void error(const std::string& text) override;
    // The core asks no questions of the command line; should it ever, the
    // question is printed and answered No, and counts as an error.
    bool question(const std::string& text, QuestionKind kind) override;
    // Dialogs cannot be answered here: each is reported as an error and
    // cancelled.
    bool input(const std::string& title, const std::string& prompt, std::string& value) override;
    bool openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool chooseFolder(const std::string& title, const std::string& initialFolder, std::string& chosen) override;
    int runModal(ModalWindow& window) override;
    std::unique_ptr<ProgressWindow> showProgress(const ProgressRequest& request) override;

private:
    class Bar;
    friend class Bar;

    void print(const std::string& prefix, const std::string& text);
    void refused(const std::string& what);

    std::FILE* err_;
    bool progressBar_;
    bool quiet_ = false;
    int errors_ = 0;
    Bar* bar_ = nullptr; // the bar on the screen, cleared while a message is printed
};

// The working folder of one run, as the program's PADDOCKTEMP: a fresh folder
// in the system's temporary folder, with the export folder below it. The
// settings' program, temporary and export folders point into it, so that the
// command line never reads or writes the program's settings file. Removed
// with everything in it when the object goes.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Ends with the path delimiter.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The interaction and working folder of the running command.
TerminalInteraction& Terminal();
const WorkFolder& Work();
void SetSession(TerminalInteraction* terminal, const WorkFolder* work);

} // namespace paddock::cli
