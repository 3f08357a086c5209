#include "app/Interaction.h"

#include "app/EditorHost.h"

#include <stdexcept>

namespace paddock {

namespace {
UserInteraction* current = nullptr;
}

UserInteraction& Interaction()
{
    if (!current)
        throw std::logic_error("No user interaction has been set up");
    return *current;
}

void SetInteraction(UserInteraction* interaction)
{
    current = interaction;
}

void UnattendedInteraction::error(const std::string& text)
{
    if (errors_)
        std::fprintf(errors_, "error: %s\n", text.c_str());
}

std::unique_ptr<ProgressWindow> UnattendedInteraction::showProgress(const ProgressRequest&)
{
    struct Unseen : ProgressWindow {
        void step(const std::string&) override {}
        bool cancelled() const override { return false; }
    };
    return std::make_unique<Unseen>();
}

namespace {
EditorHost* host = nullptr;
}

EditorHost* CurrentEditorHost()
{
    return host;
}

void SetEditorHost(EditorHost* editorHost)
{
    host = editorHost;
}

void ShowStatus(const std::string& text)
{
    if (host)
        host->ShowStatus(text);
}

} // namespace paddock
