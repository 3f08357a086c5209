#include "ui/EditorTeams.h"

#include "app/Application.h"
#include "app/Items.h"
#include "game/GP4Teams.h"
#include "ui/EditorControls.h"

#include <QCursor>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace paddock {

namespace {

QString teamName(int team)
{
    return FromGameText(FieldText(Teams[static_cast<std::size_t>(team)].TeamName));
}

// Stores an edited name into its field. A name left as it was keeps the
// field's bytes, also those after its end.
template <std::size_t Width> void storeName(TTextField<Width>& field, const TGameTextEdit& edit)
{
    const std::string typed = edit.GameText();
    if (typed != FieldText(field))
        SetFieldText(field, typed);
}

TSpinEdit* addFigure(QFormLayout* form, QWidget* parent, const char* name, const QString& label, int maximum)
{
    auto* field = new TSpinEdit(0, maximum, parent);
    field->setObjectName(QLatin1String(name));
    form->addRow(label, field);
    return field;
}

// A name field beside its label, or, with ownRow, below it across the
// whole group, so that a long name is seen whole.
TGameTextEdit* addName(QFormLayout* form, QWidget* parent, const char* name, const QString& label, int bytes,
                       bool ownRow = false)
{
    auto* field = new TGameTextEdit(bytes, parent);
    field->setObjectName(QLatin1String(name));
    if (ownRow) {
        auto* caption = new QLabel(label, parent);
        caption->setBuddy(field);
        form->addRow(caption);
        form->addRow(field);
    } else {
        form->addRow(label, field);
    }
    return field;
}

} // namespace

TFrmTeams::TFrmTeams(QWidget* mainWindow) : TEditorForm(mainWindow, QStringLiteral("Teams & Drivers"))
{
    setObjectName(QStringLiteral("FrmTeams"));
    setRefuseClose(true);

    // Left: the teams and the load and save buttons.
    GroupBox1 = new QGroupBox(QStringLiteral("Teams"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    lbTeams = new QListWidget(GroupBox1);
    lbTeams->setObjectName(QStringLiteral("lbTeams"));
    // As wide as the names it shows need; the group is at least 141 wide.
    lbTeams->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    for (int i = 1; i <= TeamCount; ++i)
        lbTeams->addItem(QStringLiteral("Team %1").arg(i));
    SpeedButton1 = MakeCommandButton(GroupBox1, "SpeedButton1", CommandImport,
                                     QStringLiteral("Import: load the chosen team from the game"), false);
    SpeedButton5 = MakeCommandButton(GroupBox1, "SpeedButton5", CommandImport,
                                     QStringLiteral("Import: load the chosen team or all teams from the game"), true);
    SpeedButton3 = MakeCommandButton(GroupBox1, "SpeedButton3", CommandExport,
                                     QStringLiteral("Export: save the chosen team into the game"), false);
    SpeedButton7 = MakeCommandButton(GroupBox1, "SpeedButton7", CommandExport,
                                     QStringLiteral("Export: save the chosen team or all teams into the game"), true);
    const TTeamsMenu menu = MakeTeamsMenu(this);
    PopupMenu1 = menu.PopupMenu1;
    Selected1 = menu.Selected1;
    AllTeams1 = menu.AllTeams1;
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton5);
    buttons->addSpacing(6);
    buttons->addWidget(SpeedButton3);
    buttons->addWidget(SpeedButton7);
    buttons->addStretch();
    auto* left = new QVBoxLayout(GroupBox1);
    left->addWidget(lbTeams, 1);
    left->addLayout(buttons);
    // The group is at least 141 wide, and as wide as its buttons need.
    const QMargins inner = left->contentsMargins() + GroupBox1->contentsMargins();
    left->addItem(new QSpacerItem(141 - inner.left() - inner.right(), 0, QSizePolicy::Fixed, QSizePolicy::Minimum));

    // Right: the team's data and its drivers.
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    tsTeams = new QWidget;
    tsTeams->setObjectName(QStringLiteral("tsTeams"));
    PageControl1->addTab(tsTeams, QStringLiteral("Team"));
    tsDrivers = new QWidget;
    tsDrivers->setObjectName(QStringLiteral("tsDrivers"));
    PageControl1->addTab(tsDrivers, QStringLiteral("Drivers"));

    auto* teamData = new QGroupBox(QStringLiteral("Team data"), tsTeams);
    teamData->setObjectName(QStringLiteral("GroupBox2"));
    auto* teamForm = new QFormLayout(teamData);
    // The game's fields hold 13 bytes: nothing typed beyond them is lost.
    eTeamName = addName(teamForm, teamData, "eTeamName", QStringLiteral("Team name"), TeamNameSize);
    eEngineName = addName(teamForm, teamData, "eEngineName", QStringLiteral("Engine name"), EngineNameSize);
    sePowerQuali = addFigure(teamForm, teamData, "sePowerQuali", QStringLiteral("Power - Qualification"), FigureMax);
    sePowerRace = addFigure(teamForm, teamData, "sePowerRace", QStringLiteral("Power - Race"), FigureMax);
    seFailureProb = addFigure(teamForm, teamData, "seFailureProb", QStringLiteral("Failure probabilty"), FigureMax);
    auto* teamPage = new QVBoxLayout(tsTeams);
    teamPage->addWidget(teamData);
    teamPage->addStretch();

    auto* driverPage = new QHBoxLayout(tsDrivers);
    for (int d = 0; d < 2; ++d) {
        auto* group = new QGroupBox(QStringLiteral("Driver %1").arg(d + 1), tsDrivers);
        group->setObjectName(QStringLiteral("GroupBox%1").arg(3 + d));
        auto* form = new QFormLayout(group);
        const std::string n = std::to_string(d + 1);
        auto name = [&n](const char* before, const char* after) { return before + n + after; };
        TDriverFields& f = Drivers[d];
        f.Name = addName(form, group, name("eDriver", "Name").c_str(), QStringLiteral("Name"), DriverNameSize, true);
        f.AbilityQualy = addFigure(form, group, name("seDriver", "AbilityQualy").c_str(),
                                   QStringLiteral("Ability - Qualification"), FigureMax);
        f.AbilityRace = addFigure(form, group, name("seDriver", "AbilityRace").c_str(), QStringLiteral("Ability - Race"),
                                  FigureMax);
        f.RangeQuali = addFigure(form, group, name("seDriver", "RangeQuali").c_str(),
                                 QStringLiteral("Range - Qualification"), FigureMax);
        f.RangeRace = addFigure(form, group, name("seDriver", "RangeRace").c_str(), QStringLiteral("Range - Race "),
                                FigureMax);
        f.Num = addFigure(form, group, name("seDriver", "Num").c_str(), QStringLiteral("Car number"), CarNumberMax);
        driverPage->addWidget(group);
    }

    auto* window = new QHBoxLayout(Client());
    window->setContentsMargins(3, 3, 3, 3);
    window->addWidget(GroupBox1);
    // Above the team's fields, what to do while they cannot be edited.
    lHint = new QLabel(QStringLiteral("Load the teams from the game to edit them: Load, below the list, loads the "
                                      "chosen team, its arrow all teams."),
                       this);
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setWordWrap(true);
    auto* right = new QVBoxLayout;
    right->addWidget(lHint);
    right->addWidget(PageControl1, 1);
    window->addLayout(right, 1);
    fitClientSize();

    connect(lbTeams, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmTeams::lbTeamsClick));
    // A click on the line already chosen stores and shows it again.
    connect(lbTeams, &QListWidget::itemClicked, this, Guarded([this](QListWidgetItem* item) {
                if (lbTeams->row(item) == currentTeam_)
                    lbTeamsClick();
            }));
    connect(SpeedButton1, &QToolButton::clicked, this, Guarded(this, &TFrmTeams::SpeedButton1Click));
    connect(SpeedButton3, &QToolButton::clicked, this, Guarded(this, &TFrmTeams::SpeedButton1Click));
    connect(SpeedButton5, &QToolButton::clicked, this, Guarded(this, &TFrmTeams::SpeedButton5Click));
    connect(SpeedButton7, &QToolButton::clicked, this, Guarded(this, &TFrmTeams::SpeedButton5Click));
    connect(Selected1, &QAction::triggered, this, Guarded(this, &TFrmTeams::Selected1Click));
    connect(AllTeams1, &QAction::triggered, this, Guarded(this, &TFrmTeams::AllTeams1Click));
}

void TFrmTeams::FormShow()
{
    PageControl1->setCurrentWidget(tsTeams);
    RefreshList();
}

void TFrmTeams::FormHide()
{
    StoreEdits();
}

void TFrmTeams::StoreEdits()
{
    // As a click on the chosen line: the fields go into the record and are
    // shown again from it.
    lbTeamsClick();
}

void TFrmTeams::ReloadData()
{
    RefreshList();
}

void TFrmTeams::RefreshList()
{
    const int chosen = lbTeams->currentRow();
    const QSignalBlocker block(lbTeams);
    for (int i = 0; i < TeamCount; ++i) {
        if (i < lbTeams->count())
            lbTeams->item(i)->setText(teamName(i));
        else
            lbTeams->addItem(teamName(i));
    }
    lbTeams->setCurrentRow(chosen >= 0 ? chosen : 0);
    currentTeam_ = -1;
    lbTeamsClick();
}

// A figure or car number that the player left alone keeps the value read
// from the game, also one outside the field's limits.
void TFrmTeams::storeFields(TTeamRecord& team) const
{
    storeName(team.TeamName, *eTeamName);
    storeName(team.EngineName, *eEngineName);
    team.PowerQuali = static_cast<std::uint16_t>(sePowerQuali->ValueToStore());
    team.PowerRace = static_cast<std::uint16_t>(sePowerRace->ValueToStore());
    team.FailureProb = static_cast<std::uint16_t>(seFailureProb->ValueToStore());
    for (std::size_t d = 0; d < 2; ++d) {
        const TDriverFields& f = Drivers[d];
        TDriverRecord& driver = team.Drivers[d];
        storeName(driver.DriverName, *f.Name);
        driver.AbilityQualy = static_cast<std::uint16_t>(f.AbilityQualy->ValueToStore());
        driver.AbilityRace = static_cast<std::uint16_t>(f.AbilityRace->ValueToStore());
        driver.RangeQuali = static_cast<std::uint16_t>(f.RangeQuali->ValueToStore());
        driver.RangeRace = static_cast<std::uint16_t>(f.RangeRace->ValueToStore());
        driver.CarNumber = static_cast<std::uint8_t>(f.Num->ValueToStore());
    }
}

void TFrmTeams::showFields(const TTeamRecord& team)
{
    eTeamName->SetGameText(FieldText(team.TeamName));
    eEngineName->SetGameText(FieldText(team.EngineName));
    sePowerQuali->ShowValue(team.PowerQuali);
    sePowerRace->ShowValue(team.PowerRace);
    seFailureProb->ShowValue(team.FailureProb);
    for (std::size_t d = 0; d < 2; ++d) {
        const TDriverFields& f = Drivers[d];
        const TDriverRecord& driver = team.Drivers[d];
        f.Name->SetGameText(FieldText(driver.DriverName));
        f.AbilityQualy->ShowValue(driver.AbilityQualy);
        f.AbilityRace->ShowValue(driver.AbilityRace);
        f.RangeQuali->ShowValue(driver.RangeQuali);
        f.RangeRace->ShowValue(driver.RangeRace);
        f.Num->ShowValue(driver.CarNumber);
    }
}

void TFrmTeams::lbTeamsClick()
{
    if (currentTeam_ >= 0 && currentTeam_ < TeamCount) {
        storeFields(Teams[static_cast<std::size_t>(currentTeam_)]);
        // The line shows the name as typed until the list is refreshed.
        lbTeams->item(currentTeam_)->setText(eTeamName->text());
    }
    PageControl1->setEnabled(false);
    const int chosen = lbTeams->currentRow();
    if (chosen >= 0 && chosen < TeamCount) {
        PageControl1->setEnabled(LoadedItems[static_cast<std::size_t>(ItemTeamFirst + chosen)] != 0);
        showFields(Teams[static_cast<std::size_t>(chosen)]);
    }
    lHint->setVisible(!PageControl1->isEnabled());
    currentTeam_ = chosen >= 0 && chosen < TeamCount ? chosen : -1;
}

void TFrmTeams::selectChosenTeam() const
{
    const int chosen = std::max(0, lbTeams->currentRow());
    SelectItems({static_cast<std::uint16_t>(ItemTeamFirst + chosen)});
}

void TFrmTeams::SpeedButton1Click()
{
    selectChosenTeam();
    RunCommand(TagOf(sender()));
}

void TFrmTeams::SpeedButton5Click()
{
    SetTag(PopupMenu1, TagOf(sender()));
    PopupMenu1->popup(QCursor::pos());
}

void TFrmTeams::Selected1Click()
{
    selectChosenTeam();
    RunCommand(TagOf(PopupMenu1));
}

void TFrmTeams::AllTeams1Click()
{
    SelectItems({ItemRange, ItemTeamFirst, ItemTeamFirst + TeamCount - 1});
    RunCommand(TagOf(PopupMenu1));
}

} // namespace paddock
