// The base of every editor window that the main window docks below itself.
// The main window passes two requests on to the current editor: StoreEdits
// before data is written into the game, ReloadData after data was read from it.
#pragma once

#include <QSize>
#include <QWidget>

class QScrollArea;

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

    // The largest client area the window may take (the room on the screen
    // below the main window); an invalid size sets no bound. The window
    // shrinks to it, and what does not fit then scrolls.
    void SetRoom(QSize room);
    QSize Room() const { return room_; }
    // The client area the window's controls need, unbounded.
    QSize NeededClientSize();

    // The area that holds the window's controls and scrolls them when the
    // window is smaller than they need.
    QScrollArea* ClientArea() const { return clientArea_; }

protected:
    // Run each time the window is shown and hidden (the main window hides an
    // editor before it destroys it).
    virtual void FormShow() {}
    virtual void FormHide() {}
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // The widget that the window's controls and their layout go on.
    QWidget* Client() const { return client_; }
    void setRefuseClose(bool refuse) { refuseClose_ = refuse; }
    // A window with a fixed border cannot be resized by the user.
    void setFixedBorder(bool fixed) { fixedBorder_ = fixed; }
    // The client size the window starts with where its controls need no more.
    void setStartingClientSize(QSize size) { starting_ = size; }
    // Sizes the window once its layout holds its controls, and again when
    // their texts change: the starting client size, or more where the layout
    // needs more (a larger font, a longer text), but no more than the room.
    // A window with a fixed border takes exactly that size; any other only
    // grows to it.
    void fitClientSize();
    // The window's layout: a group at its own width on the left and a group
    // taking the rest on the right, 3 pixels apart and from the border; then
    // fitClientSize().
    void placeGroups(QWidget* left, QWidget* right);
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QScrollArea* clientArea_;
    QWidget* client_;
    QSize starting_ = StartingClientSize;
    QSize room_;
    bool refuseClose_ = false;
    bool fixedBorder_ = false;
};

} // namespace paddock
