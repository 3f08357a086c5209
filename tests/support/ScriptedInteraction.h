// A user interaction that answers from a script. Every question the program
// asks must be the next one expected; anything else is recorded as a failure
// and answered with "cancel". verify() reports failures and unused answers.
#pragma once

#include "app/Interaction.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace paddock::testing {

class ScriptedInteraction : public UserInteraction {
public:
    enum class Kind { Message, Error, Question, Choice, Input, OpenFile, SaveFile, Folder, Modal };
    using ModalHandler = std::function<int(ModalWindow&)>;

    // Texts are compared exactly unless the expectation is made with a
    // trailing "*", which compares only what comes before it.
    ScriptedInteraction& expectMessage(const std::string& text);
    ScriptedInteraction& expectError(const std::string& text);
    ScriptedInteraction& expectQuestion(const std::string& text, bool yes,
                                        std::optional<QuestionKind> kind = std::nullopt);
    // A question with Yes, No and Cancel, answered with answer.
    ScriptedInteraction& expectQuestionWithCancel(const std::string& text, Answer answer);
    // answer: the text typed, or nullopt for Cancel.
    ScriptedInteraction& expectInput(const std::string& title, const std::string& prompt,
                                     std::optional<std::string> answer);
    // path: the file chosen, or nullopt for Cancel; filterIndex: the filter
    // selected at the end (0 keeps the one proposed).
    ScriptedInteraction& expectOpenFile(std::optional<std::string> path, int filterIndex = 0);
    ScriptedInteraction& expectSaveFile(std::optional<std::string> path, int filterIndex = 0);
    ScriptedInteraction& expectFolder(std::optional<std::string> path);
    // handler acts on the window (fills fields, presses buttons) and returns
    // its result instead of running it.
    ScriptedInteraction& expectModal(const std::string& windowName, ModalHandler handler);

    // Empty when every question was expected and every answer used; otherwise
    // a description of what went wrong.
    std::string verify() const;
    // Forgets the remaining answers and the failures.
    void reset();

    // What the program showed or asked, in order ("message: ...", ...).
    const std::vector<std::string>& log() const { return log_; }
    // The file dialog requests seen, in order.
    const std::vector<FileDialogRequest>& fileRequests() const { return fileRequests_; }
    // The titles and initial folders of the folder choosers seen.
    const std::vector<std::string>& folderRequests() const { return folderRequests_; }

    // The progress windows shown, in order, with the items they named and
    // whether they are still open. Progress is recorded, not scripted.
    struct ProgressRecord {
        ProgressRequest request;
        std::vector<std::string> steps;
        bool open = true;
    };
    const std::vector<ProgressRecord>& progress() const { return progress_; }
    // Makes every progress window also a real one (window tests).
    using ProgressFactory = std::function<std::unique_ptr<ProgressWindow>(const ProgressRequest&)>;
    void setProgressFactory(ProgressFactory factory) { progressFactory_ = std::move(factory); }

    void message(const std::string& text) override;
    void error(const std::string& text) override;
    bool question(const std::string& text, QuestionKind kind) override;
    Answer questionWithCancel(const std::string& text) override;
    bool input(const std::string& title, const std::string& prompt, std::string& value) override;
    bool openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool chooseFolder(const std::string& title, const std::string& initialFolder, std::string& chosen) override;
    int runModal(ModalWindow& window) override;
    std::unique_ptr<ProgressWindow> showProgress(const ProgressRequest& request) override;

private:
    class RecordedProgress;

    struct Expectation {
        Kind kind;
        std::string text;   // message, question, input title, window name
        std::string prompt; // input prompt
        std::optional<std::string> answer;
        bool yes = false;
        std::optional<QuestionKind> questionKind;
        int filterIndex = 0;
        ModalHandler handler;
        Answer choice = Answer::Cancel;
    };

    // The next expectation if it is of this kind and matches text; nullopt
    // (with a failure recorded) otherwise.
    std::optional<Expectation> take(Kind kind, const std::string& text, const std::string& what);

    std::deque<Expectation> script_;
    std::vector<std::string> failures_;
    std::vector<std::string> log_;
    std::vector<FileDialogRequest> fileRequests_;
    std::vector<std::string> folderRequests_;
    std::vector<ProgressRecord> progress_;
    ProgressFactory progressFactory_;
};

// Installs a scripted interaction for the lifetime of the object.
class ScopedScript {
public:
    ScopedScript();
    ~ScopedScript();
    ScriptedInteraction& operator*() { return script_; }
    ScriptedInteraction* operator->() { return &script_; }

private:
    ScriptedInteraction script_;
};

} // namespace paddock::testing
