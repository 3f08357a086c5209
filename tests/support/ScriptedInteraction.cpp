#include "ScriptedInteraction.h"

namespace paddock::testing {

namespace {

const char* kindName(ScriptedInteraction::Kind kind)
{
    switch (kind) {
    case ScriptedInteraction::Kind::Message: return "message";
    case ScriptedInteraction::Kind::Error: return "error";
    case ScriptedInteraction::Kind::Question: return "question";
    case ScriptedInteraction::Kind::Choice: return "question with cancel";
    case ScriptedInteraction::Kind::Input: return "input";
    case ScriptedInteraction::Kind::OpenFile: return "open file";
    case ScriptedInteraction::Kind::SaveFile: return "save file";
    case ScriptedInteraction::Kind::Folder: return "folder";
    case ScriptedInteraction::Kind::Modal: return "modal window";
    }
    return "?";
}

bool matches(const std::string& expected, const std::string& actual)
{
    if (!expected.empty() && expected.back() == '*')
        return actual.compare(0, expected.size() - 1, expected, 0, expected.size() - 1) == 0;
    return expected == actual;
}

} // namespace

ScriptedInteraction& ScriptedInteraction::expectMessage(const std::string& text)
{
    script_.push_back({Kind::Message, text, {}, {}, false, {}, 0, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectError(const std::string& text)
{
    script_.push_back({Kind::Error, text, {}, {}, false, {}, 0, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectQuestion(const std::string& text, bool yes,
                                                         std::optional<QuestionKind> kind)
{
    script_.push_back({Kind::Question, text, {}, {}, yes, kind, 0, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectQuestionWithCancel(const std::string& text, Answer answer)
{
    Expectation e{Kind::Choice, text, {}, {}, false, {}, 0, {}};
    e.choice = answer;
    script_.push_back(std::move(e));
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectInput(const std::string& title, const std::string& prompt,
                                                      std::optional<std::string> answer)
{
    script_.push_back({Kind::Input, title, prompt, std::move(answer), false, {}, 0, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectOpenFile(std::optional<std::string> path, int filterIndex)
{
    script_.push_back({Kind::OpenFile, {}, {}, std::move(path), false, {}, filterIndex, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectSaveFile(std::optional<std::string> path, int filterIndex)
{
    script_.push_back({Kind::SaveFile, {}, {}, std::move(path), false, {}, filterIndex, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectFolder(std::optional<std::string> path)
{
    script_.push_back({Kind::Folder, {}, {}, std::move(path), false, {}, 0, {}});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::expectModal(const std::string& windowName, ModalHandler handler)
{
    script_.push_back({Kind::Modal, windowName, {}, {}, false, {}, 0, std::move(handler)});
    return *this;
}

std::string ScriptedInteraction::verify() const
{
    std::string report;
    for (const std::string& f : failures_)
        report += f + "\n";
    for (const Expectation& e : script_)
        report += std::string("Unused answer for ") + kindName(e.kind) + (e.text.empty() ? "" : ": " + e.text) + "\n";
    return report;
}

void ScriptedInteraction::reset()
{
    script_.clear();
    failures_.clear();
    log_.clear();
    fileRequests_.clear();
    folderRequests_.clear();
    progress_.clear();
}

std::optional<ScriptedInteraction::Expectation> ScriptedInteraction::take(Kind kind, const std::string& text,
                                                                          const std::string& what)
{
    log_.push_back(std::string(kindName(kind)) + ": " + what);
    if (script_.empty()) {
        failures_.push_back(std::string("Unexpected ") + kindName(kind) + ": " + what);
        return std::nullopt;
    }
    Expectation next = script_.front();
    const bool textMatters = kind != Kind::OpenFile && kind != Kind::SaveFile && kind != Kind::Folder;
    if (next.kind != kind || (textMatters && !matches(next.text, text))) {
        failures_.push_back(std::string("Unexpected ") + kindName(kind) + ": " + what + " (expected " +
                            kindName(next.kind) + (next.text.empty() ? "" : ": " + next.text) + ")");
        return std::nullopt;
    }
    script_.pop_front();
    return next;
}

void ScriptedInteraction::message(const std::string& text)
{
    take(Kind::Message, text, text);
}

void ScriptedInteraction::error(const std::string& text)
{
    take(Kind::Error, text, text);
}

bool ScriptedInteraction::question(const std::string& text, QuestionKind kind)
{
    auto e = take(Kind::Question, text, text);
    if (!e)
        return false;
    if (e->questionKind && *e->questionKind != kind)
        failures_.push_back("Question asked with the wrong icon: " + text);
    return e->yes;
}

Answer ScriptedInteraction::questionWithCancel(const std::string& text)
{
    auto e = take(Kind::Choice, text, text);
    return e ? e->choice : Answer::Cancel;
}

bool ScriptedInteraction::input(const std::string& title, const std::string& prompt, std::string& value)
{
    auto e = take(Kind::Input, title, title + " / " + prompt);
    if (!e || !e->answer)
        return false;
    if (e->prompt != prompt)
        failures_.push_back("Input dialog \"" + title + "\" asked with prompt \"" + prompt + "\", expected \"" +
                            e->prompt + "\"");
    value = *e->answer;
    return true;
}

bool ScriptedInteraction::openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex)
{
    fileRequests_.push_back(request);
    auto e = take(Kind::OpenFile, {}, request.initialFolder + " | " + request.filter);
    if (!e || !e->answer)
        return false;
    chosen = *e->answer;
    if (e->filterIndex > 0)
        filterIndex = e->filterIndex;
    return true;
}

bool ScriptedInteraction::saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex)
{
    fileRequests_.push_back(request);
    auto e = take(Kind::SaveFile, {}, request.initialFolder + " | " + request.filter);
    if (!e || !e->answer)
        return false;
    chosen = *e->answer;
    if (e->filterIndex > 0)
        filterIndex = e->filterIndex;
    return true;
}

bool ScriptedInteraction::chooseFolder(const std::string& title, const std::string& initialFolder,
                                       std::string& chosen)
{
    folderRequests_.push_back(title + " | " + initialFolder);
    auto e = take(Kind::Folder, {}, title + " | " + initialFolder);
    if (!e || !e->answer)
        return false;
    chosen = *e->answer;
    return true;
}

int ScriptedInteraction::runModal(ModalWindow& window)
{
    auto e = take(Kind::Modal, window.name(), window.name());
    if (!e)
        return 0;
    return e->handler ? e->handler(window) : 0;
}

class ScriptedInteraction::RecordedProgress : public ProgressWindow {
public:
    RecordedProgress(ScriptedInteraction& owner, std::size_t index, std::unique_ptr<ProgressWindow> real)
        : owner_(owner), index_(index), real_(std::move(real))
    {
    }
    ~RecordedProgress() override
    {
        if (index_ < owner_.progress_.size())
            owner_.progress_[index_].open = false;
    }
    void step(const std::string& item) override
    {
        if (index_ < owner_.progress_.size())
            owner_.progress_[index_].steps.push_back(item);
        if (real_)
            real_->step(item);
    }
    bool cancelled() const override { return real_ && real_->cancelled(); }

private:
    ScriptedInteraction& owner_;
    std::size_t index_;
    std::unique_ptr<ProgressWindow> real_;
};

std::unique_ptr<ProgressWindow> ScriptedInteraction::showProgress(const ProgressRequest& request)
{
    log_.push_back("progress: " + request.caption);
    progress_.push_back({request, {}, true});
    return std::make_unique<RecordedProgress>(*this, progress_.size() - 1,
                                              progressFactory_ ? progressFactory_(request) : nullptr);
}

ScopedScript::ScopedScript()
{
    SetInteraction(&script_);
}

ScopedScript::~ScopedScript()
{
    SetInteraction(nullptr);
}

} // namespace paddock::testing
