// The Options window, where the user chooses the game folder.
#pragma once

#include <QDialog>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QToolButton;

namespace paddock {

// A text field for a folder with a button that opens a folder chooser.
class TDirectoryEdit : public QWidget {
    Q_OBJECT
public:
    explicit TDirectoryEdit(QWidget* parent = nullptr);
    QString text() const;
    void setText(const QString& text);
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }

public slots:
    void ButtonClick();

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

class TFrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFrmOptions(QWidget* parent = nullptr);

    // Fills the fields from the settings.
    void FormShow();
    // Sizes the window for the path it shows (292 x 353 or more, no wider
    // than the screen) and centres it on the screen.
    void FitToScreen();

    TDirectoryEdit* deGamePath;
    QLineEdit* eExecutable;
    QPushButton* Button1;
    QPushButton* bbOK;
    QPushButton* BitBtn1;

public slots:
    void bbOKClick();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void centre();
};

// Shows the Options window; true when the user left it with OK (the check
// passed and the new game paths are in the settings), false when aborted.
bool ShowOptions(QWidget* parent = nullptr);

} // namespace paddock
