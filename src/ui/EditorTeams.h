// The Teams & Drivers window: the 11 teams in a list, the chosen team's
// figures and its two drivers on two pages, and the commands that load teams
// from the game and save them into it. The window holds no copy of the data:
// its fields show one record of the shared team table at a time and are
// written back into it when another team is chosen, before an export and
// when the window is hidden.
#pragma once

#include "ui/EditorForm.h"

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QTabWidget;
class QToolButton;

namespace paddock {

class TGameTextEdit;
class TSpinEdit;
struct TTeamRecord;

class TFrmTeams : public TEditorForm {
    Q_OBJECT
public:
    explicit TFrmTeams(QWidget* mainWindow);

    // The record whose values the fields show, or -1.
    int CurrentTeam() const { return currentTeam_; }

    void StoreEdits() override;
    void ReloadData() override;
    // Shows the teams' names again and fills the fields from the chosen team,
    // without storing what the fields held.
    void RefreshList();

    QGroupBox* GroupBox1;
    QListWidget* lbTeams;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton7;
    QMenu* PopupMenu1;
    QAction* Selected1;
    QAction* AllTeams1;

    QLabel* lHint;
    QTabWidget* PageControl1;
    QWidget* tsTeams;
    QWidget* tsDrivers;
    TGameTextEdit* eTeamName;
    TGameTextEdit* eEngineName;
    TSpinEdit* sePowerQuali;
    TSpinEdit* sePowerRace;
    TSpinEdit* seFailureProb;

    // One driver's fields: index 0 for driver 1, 1 for driver 2.
    struct TDriverFields {
        TGameTextEdit* Name;
        TSpinEdit* AbilityQualy;
        TSpinEdit* AbilityRace;
        TSpinEdit* RangeQuali;
        TSpinEdit* RangeRace;
        TSpinEdit* Num;
    };
    TDriverFields Drivers[2];

public slots:
    void lbTeamsClick();
    void SpeedButton1Click();
    void SpeedButton5Click();
    void Selected1Click();
    void AllTeams1Click();

protected:
    void FormShow() override;
    void FormHide() override;

private:
    void storeFields(TTeamRecord& team) const;
    void showFields(const TTeamRecord& team);
    void selectChosenTeam() const;

    int currentTeam_ = -1;
};

} // namespace paddock
