// The Teams & Drivers window with scripted dialogs: what it shows, what it
// stores, and the team records it moves into and out of the game files.
#include "UiSupport.h"

#include "app/ExportImport.h"
#include "app/Items.h"
#include "app/Main.h"
#include "game/GP4Teams.h"
#include "ui/EditorControls.h"
#include "ui/EditorTeams.h"

#include "DemoGame.h"
#include "GameBytes.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

using namespace paddock;
using namespace paddock::testing;

namespace {

// Types into a field as a user would, leaving it with the focus.
void type(QAbstractSpinBox* field, const QString& text)
{
    field->setFocus();
    QLineEdit* edit = field->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void type(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    // Key events that carry any character, as a keyboard layout sends them.
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &release);
    }
}

} // namespace

class TeamsWindowTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmTeams* window = nullptr;
    std::string game;

    // The load or save command for all teams, through the arrow button's menu.
    void allTeams(QToolButton* arrow)
    {
        QTest::mouseClick(arrow, Qt::LeftButton);
        QVERIFY(window->PopupMenu1->isVisible());
        window->PopupMenu1->hide();
        window->AllTeams1->trigger();
    }

    void choose(int row)
    {
        window->lbTeams->setCurrentRow(row);
    }

private slots:
    void init()
    {
        program.prepare();
        game = *dir / "game/";
        window = qobject_cast<TFrmTeams*>(program.startWith("Teamsanddrivers1"));
        QVERIFY(window);
    }

    void cleanup() { program.finish(); }

    void beforeAnyImportTheDefaultsShowGreyedThenAllTeamsBecomeEditable()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Teams & Drivers"));
        QCOMPARE(window->PageControl1->currentWidget(), window->tsTeams);
        QCOMPARE(window->lbTeams->count(), 11);
        QCOMPARE(window->lbTeams->item(10)->text(), QStringLiteral("Team 11"));
        QCOMPARE(window->CurrentTeam(), 0);
        QVERIFY(!window->PageControl1->isEnabled());
        choose(10);
        QCOMPARE(window->eEngineName->text(), QStringLiteral("Engine 11"));
        QCOMPARE(window->Drivers[1].Name->text(), QStringLiteral("Driver 22"));
        QCOMPARE(window->Drivers[1].Num->value(), 22);
        QCOMPARE(window->sePowerRace->value(), 33500);
        QVERIFY(!window->PageControl1->isEnabled());

        allTeams(window->SpeedButton5);
        for (int i = 0; i < 11; ++i)
            QCOMPARE(window->lbTeams->item(i)->text(),
                     QString::fromStdString(demo::DemoTeams()[std::size_t(i)].Name).left(13));
        QCOMPARE(window->CurrentTeam(), 10);
        QVERIFY(window->PageControl1->isEnabled());
        QCOMPARE(window->Drivers[0].Name->text(), QStringLiteral("Jean Alesand"));
        choose(3);
        QVERIFY(window->PageControl1->isEnabled());
    }

    void fieldsKeepTheirLimitsAndNamesTheirBytes()
    {
        SelectItems({ItemRange, ItemTeamFirst, ItemTeamFirst + 10});
        ImportSelected();
        choose(2);
        // Figures typed beyond the limits, or not at all, while the field
        // still has the focus.
        type(window->sePowerQuali, QStringLiteral("70000"));
        window->StoreEdits();
        QCOMPARE(int(Teams[2].PowerQuali), 65535);
        type(window->Drivers[0].Num, QStringLiteral("120"));
        window->StoreEdits();
        QCOMPARE(int(Teams[2].Drivers[0].CarNumber), 99);
        type(window->seFailureProb, QString());
        window->StoreEdits();
        QCOMPARE(int(Teams[2].FailureProb), 0);
        QCOMPARE(window->seFailureProb->text(), QStringLiteral("0"));
        QTest::keyClicks(window->Drivers[0].AbilityRace->findChild<QLineEdit*>(), QStringLiteral("x"));
        QCOMPARE(window->Drivers[0].AbilityRace->text(), QString::number(Teams[2].Drivers[0].AbilityRace));

        // A team name takes the 13 bytes the game holds; the line shows it
        // as typed, the record keeps it.
        type(window->eTeamName, QStringLiteral("Fourteen Chars"));
        QCOMPARE(window->eTeamName->text(), QStringLiteral("Fourteen Char"));
        // What the game's code page cannot hold is refused as it is typed.
        type(window->Drivers[1].Name, QStringLiteral("\u0141ukasz \u00C9clair"));
        QCOMPARE(window->Drivers[1].Name->text(), QStringLiteral("ukasz \u00C9clair"));
        choose(3);
        QCOMPARE(window->lbTeams->item(2)->text(), QStringLiteral("Fourteen Char"));
        QCOMPARE(QString::fromStdString(FieldText(Teams[2].TeamName)), QStringLiteral("Fourteen Char"));
        QCOMPARE(FieldText(Teams[2].Drivers[1].DriverName), std::string("ukasz \xC9" "clair"));

        // Bytes after a name's end stay while the name is left alone, and go
        // when it is changed.
        const std::string tail = std::string("Sauterne\0x!", 11) + '\0' + '\0';
        std::copy(tail.begin(), tail.end(), Teams[6].TeamName.begin());
        choose(6);
        QCOMPARE(window->eTeamName->text(), QStringLiteral("Sauterne"));
        choose(7);
        QVERIFY(std::equal(tail.begin(), tail.end(), Teams[6].TeamName.begin()));
        choose(6);
        type(window->eTeamName, QStringLiteral("Sauternes"));
        choose(7);
        QCOMPARE(std::string(Teams[6].TeamName.data(), 13), std::string("Sauternes\0\0\0\0", 13));

        // A car number above 99 read from the game shows as 99 and stays as
        // it was while the player leaves its field alone, whatever else is
        // edited and however often the fields are stored.
        Teams[4].Drivers[0].CarNumber = 150;
        Teams[4].Drivers[1].CarNumber = 200;
        choose(4);
        QCOMPARE(window->Drivers[0].Num->value(), 99);
        type(window->Drivers[0].AbilityRace, QStringLiteral("123"));
        window->StoreEdits();
        window->StoreEdits();
        QCOMPARE(int(Teams[4].Drivers[0].AbilityRace), 123);
        QCOMPARE(int(Teams[4].Drivers[0].CarNumber), 150);
        QCOMPARE(int(Teams[4].Drivers[1].CarNumber), 200);
        choose(5);
        choose(4);
        QCOMPARE(int(Teams[4].Drivers[0].CarNumber), 150);
        // Typed or stepped, it is the player's and kept within 0 to 99.
        type(window->Drivers[1].Num, QStringLiteral("200"));
        window->Drivers[0].Num->stepBy(-1);
        window->StoreEdits();
        QCOMPARE(int(Teams[4].Drivers[0].CarNumber), 98);
        QCOMPARE(int(Teams[4].Drivers[1].CarNumber), 99);
    }

    void importReplacesTheShownTeamAndEditsSurviveAnotherEditor()
    {
        SelectItems({ItemRange, ItemTeamFirst, ItemTeamFirst + 10});
        ImportSelected();
        choose(4);
        type(window->eEngineName, QStringLiteral("Unsaved"));
        QTest::mouseClick(window->SpeedButton1, Qt::LeftButton);
        QCOMPARE(window->eEngineName->text(), QString::fromStdString(demo::DemoTeams()[4].Engine));

        // Another editor and back: the edits were stored when it went.
        type(window->eEngineName, QStringLiteral("Kept"));
        program.form->findChild<QAction*>("WADWorkshop1")->trigger();
        program.form->findChild<QAction*>("Teamsanddrivers1")->trigger();
        window = qobject_cast<TFrmTeams*>(program.form->CurrentEditor());
        QVERIFY(window);
        choose(4);
        QCOMPARE(window->eEngineName->text(), QStringLiteral("Kept"));
        // The window's own close box does not close it.
        QVERIFY(!window->close());
    }

    void editsReachTheGameFilesAndNothingElseChanges()
    {
        // An accented name in the game: it shows as such and goes back as
        // the same bytes.
        std::string save = ReadBytes(game + "F1GSTATE.SAV");
        const std::string accented = "Kimi R\xE4ikk\xF6nen";
        save.replace(0x17B14 + 48 * 6 + 24, 24, accented + std::string(24 - accented.size(), '\0'));
        Reseal(save);
        WriteBytes(game + "F1GSTATE.SAV", save);
        const std::string exe = ReadBytes(game + "GP4.EXE");

        allTeams(window->SpeedButton5);
        choose(6);
        QCOMPARE(window->Drivers[1].Name->text(), QStringLiteral("Kimi R\u00E4ikk\u00F6nen"));
        choose(2);
        type(window->eTeamName, QStringLiteral("Lancaster \u00C9"));
        window->PageControl1->setCurrentWidget(window->tsDrivers);
        type(window->Drivers[0].Name, QStringLiteral("Ralf Schn\u00E9e"));
        type(window->Drivers[1].Num, QStringLiteral("99"));
        window->PageControl1->setCurrentWidget(window->tsTeams);
        type(window->sePowerRace, QStringLiteral("70000"));
        allTeams(window->SpeedButton7);

        // Read back byte by byte, not through the program's reader.
        const std::string newSave = ReadBytes(game + "F1GSTATE.SAV");
        const std::string newExe = ReadBytes(game + "GP4.EXE");
        QCOMPARE(newSave.substr(0x17D24 + 13 * 2, 13), std::string("Lancaster \xC9\0\0", 13));
        QCOMPARE(newSave.substr(0x17B14 + 48 * 2, 24), std::string("Ralf Schn\xE9" "e") + std::string(13, '\0'));
        QCOMPARE(ByteAt(newSave, 0x17A36 + 2 * 2 + 1), 99u);
        QCOMPARE(Le16(newExe, 0x229732 + 2 * 2), 65535u);
        QCOMPARE(Le32(newSave, 0x17E48), SaveFileSeal(newSave));
        QCOMPARE(newSave.substr(0x17B14 + 48 * 6 + 24, 24), save.substr(0x17B14 + 48 * 6 + 24, 24));
        // Besides the seal, only the bytes of the edited fields changed.
        const std::vector<std::size_t> allowed = {0x17A36 + 5, 0x17B14 + 96, 0x17B14 + 96 + 1, 0x17B14 + 96 + 2,
                                                   0x17B14 + 96 + 3, 0x17B14 + 96 + 4, 0x17B14 + 96 + 5,
                                                   0x17B14 + 96 + 6, 0x17B14 + 96 + 7, 0x17B14 + 96 + 8,
                                                   0x17B14 + 96 + 9, 0x17B14 + 96 + 10, 0x17B14 + 96 + 11,
                                                   0x17B14 + 96 + 12, 0x17B14 + 96 + 13, 0x17D24 + 26 + 10,
                                                   0x17D24 + 26 + 11};
        for (std::size_t i = 0; i < 0x17E48; ++i)
            if (save[i] != newSave[i])
                QVERIFY2(std::find(allowed.begin(), allowed.end(), i) != allowed.end(),
                         qPrintable(QStringLiteral("save file byte 0x%1 changed").arg(i, 0, 16)));
        for (std::size_t i = 0; i < exe.size(); ++i)
            if (exe[i] != newExe[i])
                QVERIFY2(i == 0x229736 || i == 0x229737, qPrintable(QStringLiteral("executable byte 0x%1").arg(i, 0, 16)));
    }

    void aTeamNeverImportedIsNeverWritten()
    {
        const std::string save = ReadBytes(game + "F1GSTATE.SAV");
        const std::string exe = ReadBytes(game + "GP4.EXE");
        choose(1);
        (*program.script)
            ->expectMessage("Nothing to save: load team 2 from the game first.")
            .expectMessage("Nothing to save: load all 11 teams from the game first.");
        QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
        allTeams(window->SpeedButton7);
        QVERIFY(ReadBytes(game + "F1GSTATE.SAV") == save);
        QVERIFY(ReadBytes(game + "GP4.EXE") == exe);
        QCOMPARE(window->lbTeams->item(1)->text(), QStringLiteral("Team 2"));
    }
};

PADDOCK_TEST_MAIN(TeamsWindowTest)
#include "TeamsWindowTest.moc"
