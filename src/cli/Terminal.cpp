#include "cli/Terminal.h"

#include "app/FileSystem.h"
#include "app/Settings.h"
#include "app/Tools.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <system_error>

namespace paddock::cli {

namespace {

const char* const Program = "paddock-cli: ";

// The core's texts break lines with "\r\n", as message boxes want.
std::string terminalText(const std::string& text)
{
    return ReplaceAll(text, "\r\n", "\n");
}

} // namespace

// ---- Progress ---------------------------------------------------------------

class TerminalInteraction::Bar : public ProgressWindow {
public:
    Bar(TerminalInteraction& owner, const ProgressRequest& request)
        : owner_(owner), caption_(request.caption), maximum_(request.maximum), previous_(owner.bar_)
    {
        owner_.bar_ = this;
        draw();
    }
    ~Bar() override
    {
        clear();
        owner_.bar_ = previous_;
    }

    void step(const std::string& item) override
    {
        ++done_;
        item_ = item;
        draw();
    }
    bool cancelled() const override { return false; }

    void draw()
    {
        constexpr int Width = 30;
        const int filled = maximum_ > 0 ? std::min(done_, maximum_) * Width / maximum_ : 0;
        std::string line = "\r\033[K" + caption_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                           std::string(static_cast<std::size_t>(Width - filled), '-') + "] " + std::to_string(done_) +
                           "/" + std::to_string(maximum_);
        if (!item_.empty())
            line += " " + item_;
        std::fputs(line.c_str(), owner_.err_);
        std::fflush(owner_.err_);
        drawn_ = true;
    }
    void clear()
    {
        if (!drawn_)
            return;
        std::fputs("\r\033[K", owner_.err_);
        std::fflush(owner_.err_);
        drawn_ = false;
    }

private:
    TerminalInteraction& owner_;
    std::string caption_;
    int maximum_;
    int done_ = 0;
    std::string item_;
    bool drawn_ = false;
    Bar* previous_;
};

namespace {

// Progress that nobody sees.
class SilentProgress : public ProgressWindow {
public:
    void step(const std::string&) override {}
    bool cancelled() const override { return false; }
};

} // namespace

// ---- Interaction ------------------------------------------------------------

TerminalInteraction::TerminalInteraction(std::FILE* err, bool progressBar) : err_(err), progressBar_(progressBar) {}

TerminalInteraction::~TerminalInteraction() = default;

void TerminalInteraction::print(const std::string& prefix, const std::string& text)
{
    if (bar_)
        bar_->clear();
    std::fputs((Program + prefix + terminalText(text) + "\n").c_str(), err_);
    std::fflush(err_);
    if (bar_)
        bar_->draw();
}

void TerminalInteraction::note(const std::string& text)
{
    if (!quiet_)
        print("", text);
}

void TerminalInteraction::message(const std::string& text)
{
    print("", text);
}

void TerminalInteraction::error(const std::string& text)
{
    ++errors_;
    print("error: ", text);
}

void TerminalInteraction::refused(const std::string& what)
{
    error(what + " cannot be answered on the command line");
}

bool TerminalInteraction::question(const std::string& text, QuestionKind)
{
    refused("The question \"" + terminalText(text) + "\"");
    return false;
}

bool TerminalInteraction::input(const std::string& title, const std::string&, std::string&)
{
    refused("The request \"" + title + "\"");
    return false;
}

bool TerminalInteraction::openFile(const FileDialogRequest&, std::string&, int&)
{
    refused("A file dialog");
    return false;
}

bool TerminalInteraction::saveFile(const FileDialogRequest&, std::string&, int&)
{
    refused("A file dialog");
    return false;
}

bool TerminalInteraction::chooseFolder(const std::string& title, const std::string&, std::string&)
{
    refused("The folder request \"" + title + "\"");
    return false;
}

int TerminalInteraction::runModal(ModalWindow& window)
{
    refused("The window " + window.name());
    return 0;
}

std::unique_ptr<ProgressWindow> TerminalInteraction::showProgress(const ProgressRequest& request)
{
    if (!progressBar_ || quiet_)
        return std::make_unique<SilentProgress>();
    return std::make_unique<Bar>(*this, request);
}

// ---- Working folder -----------------------------------------------------------

WorkFolder::WorkFolder()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec)
        throw CommandFailed("No temporary folder: " + ec.message());
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const fs::path folder = base / ("paddock-cli-" + std::to_string(random()));
        // Interrupted, terminated or hung up, the run leaves nothing behind:
        // neither this folder nor a file it was writing beside its target.
        // Known to the signal handler before it exists.
        CleanUpOnSignals(FromPath(folder));
        if (fs::create_directory(folder, ec)) {
            // Its staged files are nobody else's business.
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
            path_ = AddTrailingBackslash(FromPath(folder));
        } else {
            CleanUpOnSignals({}); // not ours
        }
    }
    if (path_.empty())
        throw CommandFailed("Cannot create a working folder in " + FromPath(base) +
                            (ec ? ": " + ec.message() : std::string()));
    Settings.ProgramPath = path_;
    Settings.TempPath = path_;
    Settings.ExportPath = path_ + "Export" + PathDelim;
    if (!ForceDirectories(Settings.ExportPath)) {
        DeleteTree(path_);
        throw CommandFailed("Cannot create the folder " + Settings.ExportPath);
    }
}

WorkFolder::~WorkFolder()
{
    DeleteTree(path_);
}

// ---- Session ------------------------------------------------------------------

namespace {
TerminalInteraction* terminal = nullptr;
const WorkFolder* work = nullptr;
} // namespace

TerminalInteraction& Terminal()
{
    if (!terminal)
        throw std::logic_error("No terminal session");
    return *terminal;
}

const WorkFolder& Work()
{
    if (!work)
        throw std::logic_error("No working folder");
    return *work;
}

void SetSession(TerminalInteraction* t, const WorkFolder* w)
{
    terminal = t;
    work = w;
    SetInteraction(t);
}

} // namespace paddock::cli
