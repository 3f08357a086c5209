// The main window: a strip at the top of the screen with the menu and the
// toolbar, and at most one editor window docked directly below it. It runs
// the start-up, opens and closes the editors and cleans up at the end.
#pragma once

#include "app/EditorHost.h"

#include <QMainWindow>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace paddock {

class TEditorForm;

class TMainForm : public QMainWindow, public EditorHost {
    Q_OBJECT
public:
    // Runs the start-up. programPath: the program's folder; empty means the
    // folder of the running executable.
    explicit TMainForm(const std::string& programPath = {});
    ~TMainForm() override;

    // True when the start-up decided that the program cannot run.
    bool Terminated() const { return terminated_; }
    bool Closing() const { return closing_; }

    TEditorForm* CurrentEditor() const { return editor_; }
    // Opens an editor of the given class below the main window, closing the
    // current one first; nothing happens when one of that class is open.
    void OpenEditor(const QMetaObject& editorClass, const std::function<TEditorForm*(QWidget*)>& create);
    template <class T> void OpenEditor()
    {
        OpenEditor(T::staticMetaObject, [](QWidget* parent) { return new T(parent); });
    }
    // Hides and destroys the current editor window.
    void CloseEditor();

    // Requests passed on to the current editor window.
    void StoreEdits() override;
    void ReloadData() override;
    // The status line below the toolbar: what the last command did. A text
    // longer than the line is shortened in its middle and shown whole as
    // the line's tooltip.
    void ShowStatus(const std::string& text) override;
    QString StatusLine() const;
    // Opens a file in its workshop by its extension: a WAD archive (.wad) in
    // the WAD Workshop, a TEX file (.tex) in the TEX Workshop, a GP4 mesh
    // (.gp4) in the GP4 Workshop of the developer mode, as their load buttons
    // do. Anything else is refused with a message. False when no file was
    // opened. Files dropped on the main window or an editor come here.
    bool OpenInWorkshop(const std::string& path) override;
    // A file named on the command line: opened in its workshop at the first
    // activation, once the window stands.
    void OpenAtStart(const std::string& path) { openAtStart_ = path; }

    // The vertical position that centres the main window and the editor
    // below it (heights with their frames) in the screen's area from top to
    // top + height; never above the area.
    static int CentredTop(int areaTop, int areaHeight, int mainHeight, int editorHeight);
    // The part of the screen that windows may take (without panels).
    QRect ScreenArea() const;
    // The largest client area an editor docked below the main window can
    // have on the screen.
    QSize EditorRoom() const;

    // Menu.
    QMenu* File1;
    QAction* RestoreBackups1;
    QAction* Exit1;
    QMenu* Editors1;
    QMenu* General1;
    QAction* Teamsanddrivers1;
    QMenu* Textures1;
    QAction* Cartextures1;
    QMenu* Misc1;
    QAction* Points1;
    QMenu* Workshops1;
    QAction* WADWorkshop1;
    QAction* EXWorkshop1;
    QMenu* Developer1;
    QAction* GP4Workshop1;
    QMenu* Options1;
    QAction* Configure1;
    QMenu* Help1;
    QAction* About1;

    // Toolbar.
    QToolBar* ToolBar1;
    QToolButton* ToolButton8;
    QToolButton* ToolButton7;
    QToolButton* ToolButton3;
    QToolButton* ToolButton4;
    QToolButton* ToolButton2;

    // Status line.
    QStatusBar* StatusBar1;
    QLabel* StatusText;

public slots:
    void FormActivate();
    void RestoreBackups1Click();
    void Exit1Click();
    void Configure1Click();
    void About1Click();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate(const std::string& programPath);
    void buildMenu();
    void buildToolBar();
    // Reports an exception that reached the event loop.
    void ApplicationEvents1Exception(std::exception_ptr error, std::uintptr_t address);
    // The steps of a normal end: editor closed, settings written, working
    // folder deleted, closing flag set.
    void endProgram();
    // Before the end: edits not yet saved into the game are offered to be
    // saved. False when the player chose to stay (or the save failed).
    bool confirmClose();
    void dockEditor();
    // Moves the main window (up, or left) so that the editor docked below it
    // lies on the screen, then docks it.
    void placeWithEditor();
    // The sizes of a window's frame around its client area.
    QSize frameExtra() const;
    QSize editorFrameSize() const;

    TEditorForm* editor_ = nullptr;
    bool firstActivation_ = true;
    std::string openAtStart_;
    bool closing_ = false;
    bool terminated_ = false;
};

// The one main window of the program.
extern TMainForm* MainForm;

} // namespace paddock
