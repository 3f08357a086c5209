// The window that hosts the editor windows, as the import and export see it:
// before writing into the game they ask the open editor to store what is
// still in its fields, after reading from the game to show the new values.
#pragma once

#include <string>

namespace paddock {

class EditorHost {
public:
    virtual ~EditorHost() = default;
    virtual void StoreEdits() = 0;
    virtual void ReloadData() = 0;
    // Says in a line that stays until the next one what a command did.
    virtual void ShowStatus(const std::string&) {}
    // Opens a WAD, TEX or GP4 file in its workshop; false when it opened
    // none (the reason has been shown).
    virtual bool OpenInWorkshop(const std::string&) { return false; }
};

// The host of the running program, or nullptr (no windows, as in the core's
// tests and the command line).
EditorHost* CurrentEditorHost();
void SetEditorHost(EditorHost* host);

// The host's status line, when there is a host: what a command did, in words
// ("Saved team 3 into GP4.EXE and F1GSTATE.SAV").
void ShowStatus(const std::string& text);

} // namespace paddock
