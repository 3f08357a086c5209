// Controls the editors of the game data share: spin fields that keep their
// value within limits, text fields that hold the game's single-byte text,
// and the load and save buttons with their drop-down menu.
#pragma once

#include <QLineEdit>
#include <QSpinBox>
#include <QString>
#include <QToolButton>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QHBoxLayout;

class QMenu;
class QMimeData;
class QAction;

namespace paddock {

// A spin field. Its value is its text read as a decimal integer; text that
// is not a number counts as the minimum, and a number outside the limits
// counts as the nearer limit — also while the field still has the focus.
// Any number may be typed; leaving the field shows the value kept.
class TSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    TSpinEdit(int minimum, int maximum, QWidget* parent = nullptr);

    // The value within the limits that the text stands for, now.
    int StoredValue() const;
    // Shows a value of the data, which may lie outside the limits (the field
    // then shows the nearer limit). Until the field is changed, by typing,
    // stepping or setValue, ValueToStore gives that value itself, so that a
    // value the player left alone is stored as it was.
    void ShowValue(int value);
    int ValueToStore() const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    int valueFromText(const QString& text) const override;

private:
    int clamped(const QString& text) const;

    std::optional<int> shown_; // the value of ShowValue, while the field is unchanged
};

// The game's text is single bytes of the Windows-1252 code page.
QString FromGameText(const std::string& bytes);
std::string ToGameText(const QString& text);

// A text field for a name in the game's files: at most maxBytes bytes of the
// game's code page; characters the code page cannot hold are refused as
// they are typed or pasted.
class TGameTextEdit : public QLineEdit {
    Q_OBJECT
public:
    TGameTextEdit(int maxBytes, QWidget* parent = nullptr);

    std::string GameText() const { return ToGameText(text()); }
    void SetGameText(const std::string& bytes) { setText(FromGameText(bytes)); }

    // At least as wide as a text of the field's full length needs.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    int FullLengthWidth() const;
};

// The commands of the load and save buttons, carried in their Tag.
enum : int { CommandImport = 1, CommandExport = 2 };

// Runs the command of a Tag: CommandImport runs ImportSelected,
// CommandExport ExportSelected; any other Tag does nothing.
void RunCommand(int tag);

// A button that starts a command, with the command in its Tag (the dynamic
// property "Tag"); narrow buttons show the drop-down arrow.
QToolButton* MakeCommandButton(QWidget* parent, const char* name, int tag, const QString& hint, bool narrow);
int TagOf(const QObject* object);
void SetTag(QObject* object, int tag);

// The row of load and save buttons of the editors of the game data: the load
// and save buttons (Tags 1 and 2) each with its narrow arrow button, then
// three pairs that start no command in this version (Tags 3 to 5), hidden.
struct TLoadSaveButtons {
    QToolButton* sbImport1;
    QToolButton* sbImport2;
    QToolButton* sbExport1;
    QToolButton* sbExport2;
    QToolButton* sbStandard1;
    QToolButton* sbStandard2;
    QToolButton* sbLoadSet1;
    QToolButton* sbLoadSet2;
    QToolButton* sbSaveSet1;
    QToolButton* sbSaveSet2;
    QHBoxLayout* Row;
    // Every button, each wide one followed by its arrow button.
    std::array<QToolButton*, 10> All() const;
};
// showArrows: whether the arrow buttons of loading and saving are shown.
TLoadSaveButtons MakeLoadSaveButtons(QWidget* parent, bool showArrows);

// Lets files be dropped on a widget: a drag of local files is accepted when
// accept holds for the first of them, and dropping it runs open with that
// file's path. An exception of open is reported like any other.
void AcceptFileDrops(QWidget* target, std::function<bool(const std::string&)> accept,
                     std::function<void(const std::string&)> open);
// The path of the first local file that a drag carries, or empty.
std::string DroppedFile(const QMimeData* data);

// True for a file that a workshop opens, by its extension: ".wad", ".tex" or
// ".gp4" in any letter case.
bool IsWorkshopFileName(const std::string& path);

// The drop-down menu of the arrow buttons, "Selected" and "All Teams".
struct TTeamsMenu {
    QMenu* PopupMenu1;
    QAction* Selected1;
    QAction* AllTeams1;
};
TTeamsMenu MakeTeamsMenu(QWidget* parent);

} // namespace paddock
