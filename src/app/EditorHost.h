// The window that hosts the editor windows, as the import and export see it:
// before writing into the game they ask the open editor to store what is
// still in its fields, after reading from the game to show the new values.
#pragma once

namespace paddock {

class EditorHost {
public:
    virtual ~EditorHost() = default;
    virtual void StoreEdits() = 0;
    virtual void ReloadData() = 0;
};

// The host of the running program, or nullptr (no windows, as in the core's
// tests and the command line).
EditorHost* CurrentEditorHost();
void SetEditorHost(EditorHost* host);

} // namespace paddock
