// Everything that asks the user or tells the user something goes through this
// interface: the program's windows use an implementation with real dialogs,
// tests use one with scripted answers. Core code never creates widgets.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace paddock {

enum class QuestionKind {
    Warning,      // warning icon, buttons Yes and No
    Confirmation, // question icon, buttons Yes and No
};

// The answers to a question that can also be cancelled.
enum class Answer { Yes, No, Cancel };

// One open or save file dialog.
struct FileDialogRequest {
    std::string initialFolder;
    std::string fileName;   // proposed name, may be empty
    std::string filter;     // "TEX-Files|*.TEX|All files|*.*"
    int filterIndex = 1;    // 1-based
};

// A modal window of the program's own (Options, folder-and-mask window). The
// interaction decides how it is run: really, or by a script acting on it.
class ModalWindow {
public:
    virtual ~ModalWindow() = default;
    // Runs the window modally and returns its result code.
    virtual int exec() = 0;
    // The window's object name, for scripts and messages.
    virtual std::string name() const = 0;
};

// A progress window, shown while a long command runs and closed when the
// object goes.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // One more item is done: the bar moves on and the item is named.
    virtual void step(const std::string& item) = 0;
    // True once the user pressed the cancel button (when there is one).
    virtual bool cancelled() const = 0;
};

struct ProgressRequest {
    std::string caption;
    int maximum = 0;
    bool showCancel = false;
    int clientWidth = 0;  // 0 keeps the window's own
    int clientHeight = 0; // 0 keeps the window's own
};

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // A plain message box with one OK button and no icon.
    virtual void message(const std::string& text) = 0;
    // A message box with the error icon and one OK button.
    virtual void error(const std::string& text) = 0;
    // A question with the buttons Yes and No; true for Yes.
    virtual bool question(const std::string& text, QuestionKind kind) = 0;
    // A question with the buttons Yes, No and Cancel (question icon). An
    // interaction without a Cancel button answers as question() does.
    virtual Answer questionWithCancel(const std::string& text)
    {
        return question(text, QuestionKind::Confirmation) ? Answer::Yes : Answer::No;
    }
    // A one-line input dialog; value holds the initial text and receives the
    // answer. False when the user cancelled.
    virtual bool input(const std::string& title, const std::string& prompt, std::string& value) = 0;
    // Open and save file dialogs; on true, chosen holds the full path and
    // filterIndex the filter selected when the dialog closed.
    virtual bool openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) = 0;
    virtual bool saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) = 0;
    // A folder chooser; on true, chosen holds the folder.
    virtual bool chooseFolder(const std::string& title, const std::string& initialFolder, std::string& chosen) = 0;
    // Runs one of the program's own modal windows.
    virtual int runModal(ModalWindow& window) = 0;
    // Shows a progress window without waiting for it.
    virtual std::unique_ptr<ProgressWindow> showProgress(const ProgressRequest& request) = 0;
};

// For running without a person (benchmarks, fuzzing): questions get a fixed
// answer, dialogs are cancelled, modal windows return 0, progress and
// messages are not shown, and errors are written to a stream when one is
// given ("error: TEXT").
class UnattendedInteraction : public UserInteraction {
public:
    explicit UnattendedInteraction(bool answer = false, std::FILE* errors = nullptr) : answer_(answer), errors_(errors) {}

    void message(const std::string&) override {}
    void error(const std::string& text) override;
    bool question(const std::string&, QuestionKind) override { return answer_; }
    bool input(const std::string&, const std::string&, std::string&) override { return false; }
    bool openFile(const FileDialogRequest&, std::string&, int&) override { return false; }
    bool saveFile(const FileDialogRequest&, std::string&, int&) override { return false; }
    bool chooseFolder(const std::string&, const std::string&, std::string&) override { return false; }
    int runModal(ModalWindow&) override { return 0; }
    std::unique_ptr<ProgressWindow> showProgress(const ProgressRequest& request) override;

private:
    bool answer_;
    std::FILE* errors_;
};

// The process-wide interaction, set once by the program (or a test).
UserInteraction& Interaction();
void SetInteraction(UserInteraction* interaction);

} // namespace paddock
