// The base of every editor window that the main window docks below itself.
// The main window passes two requests on to the current editor: StoreEdits
// before data is written into the game, ReloadData after data was read from it.
#pragma once

#include <QSize>
#include <QWidget>

namespace paddock {

class TEditorForm : public QWidget {
    Q_OBJECT
public:
    // A tool window of the main window that starts with a client area of
    // 700 x 400.
    TEditorForm(QWidget* mainWindow, const QString& caption);

    static constexpr QSize StartingClientSize{700, 400};

    // Puts values still held in the window's fields into the shared tables.
    virtual void StoreEdits() {}
    // Shows the shared tables' values again after they were read from the game.
    virtual void ReloadData() {}

    // Workshops refuse every close request of their own close box; only the
    // main window closes them.
    bool refusesClose() const { return refuseClose_; }

protected:
    // Run each time the window is shown and hidden (the main window hides an
    // editor before it destroys it).
    virtual void FormShow() {}
    virtual void FormHide() {}
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    void setRefuseClose(bool refuse) { refuseClose_ = refuse; }
    // A window with a fixed border cannot be resized by the user.
    void setFixedBorder(bool fixed) { fixedBorder_ = fixed; }
    // Sizes the window once its layout holds its controls, and again when
    // their texts change: the starting client size, or more where the layout
    // needs more (a larger font, a longer text). A window with a fixed border
    // takes exactly that size; any other only grows to it.
    void fitClientSize();
    // The window's layout: a group at its own width on the left and a group
    // taking the rest on the right, 3 pixels apart and from the border; then
    // fitClientSize().
    void placeGroups(QWidget* left, QWidget* right);
    void closeEvent(QCloseEvent* event) override;

private:
    bool refuseClose_ = false;
    bool fixedBorder_ = false;
};

} // namespace paddock
