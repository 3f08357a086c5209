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

} // namespace paddock
