// The Points window: the points the game awards for each of the 22 finishing
// positions, in one spin field each, four predefined sets to fill them with,
// and the commands that load the table from the game and save it into it.
// The window keeps no copy of the table: its fields show the shared table
// when the window is shown and after a load, and are written back into it
// before a save and when the window is hidden.
#pragma once

#include "ui/EditorControls.h"
#include "ui/EditorForm.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace paddock {

class TSpinEdit;

// The load and save buttons are members of the window (sbImport1, ...).
class TFrmPoints : public TEditorForm, public TLoadSaveButtons {
    Q_OBJECT
public:
    explicit TFrmPoints(QWidget* mainWindow);

    void StoreEdits() override;
    void ReloadData() override;

    // The field of finishing position n (1 to 22), found by its name
    // "sePoints" + n; nullptr when no spin field carries that name.
    TSpinEdit* PointsField(int position) const;

    QGroupBox* GroupBox1;
    QLabel* lHint;

    QGroupBox* GroupBox2;
    QGroupBox* GroupBox30;
    QGroupBox* GroupBox5;
    QPushButton* Button1;
    QPushButton* Button40;
    QPushButton* Button2;
    QPushButton* Button3;

public slots:
    void sbImport1Click();
    void sbExport1Click();

    // Fills the fields with the predefined set of the button's Tag: 0 Formula
    // 1, 1 CART, 2 points for all, 3 the older Formula 1 scale; any other Tag
    // does nothing. The table takes the values at the next store.
    void Button1Click(QObject* button);

protected:
    void FormShow() override;
    void FormHide() override;

private:
    void storeFields() const;
    void showTable();
};

} // namespace paddock
