// A player's view of the program: every command that writes, or finds
// nothing to write, says what happened in the main window's status line (and
// in a message where the player must act); long work shows the progress
// window; closing with edits not saved into the game asks first; files
// dropped on the windows open in their workshops or load into the texture
// shown.
#include "UiSupport.h"

#include "app/ExportImport.h"
#include "app/Items.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "formats/GP4WAD.h"
#include "formats/TGA.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Teams.h"
#include "ui/EditorCarTextures.h"
#include "ui/EditorControls.h"
#include "ui/EditorGP4.h"
#include "ui/EditorPoints.h"
#include "ui/EditorTEX.h"
#include "ui/EditorTeams.h"
#include "ui/EditorWAD.h"

#include "DemoCars.h"
#include "DemoGame.h"
#include "DemoMeshes.h"
#include "DemoTextures.h"

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

using namespace paddock;
using namespace paddock::testing;

namespace {

// Drags a file over a widget and drops it there, as the window system
// delivers it (a widget that does not take it passes it to its parent);
// returns whether the drag was accepted.
bool dropFile(QWidget* target, const std::string& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    // The drop goes to the widget that took the drag.
    QWidget* taker = target;
    while (taker && !(taker->acceptDrops() && taker->isEnabled()))
        taker = taker->parentWidget();
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(taker ? taker : target, &drop);
    return true;
}

std::string teamName(int team)
{
    return std::string(demo::DemoTeams()[static_cast<std::size_t>(team)].Name).substr(0, 13);
}

} // namespace

class AnswersAndDropsTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    std::string game;

    TMainForm& form() { return *program.form; }
    QString status() { return program.form->StatusLine(); }
    template <class T> T* open(const char* menuItem)
    {
        form().findChild<QAction*>(menuItem)->trigger();
        return qobject_cast<T*>(form().CurrentEditor());
    }
    std::string backupMessage() const
    {
        return "A backup of " + game + "cars.wad\r\nwill be created: " + game + "cars.wad.BAK";
    }

private slots:
    void init()
    {
        program.prepare();
        game = *dir / "game/";
        WriteBytes(game + "cars.wad", demo::BuildWAD(demo::MakeDemoCarMembers()));
    }

    void cleanup() { program.finish(); }

    void everyCommandThatWritesSaysWhatItDid()
    {
        auto* teams = qobject_cast<TFrmTeams*>(program.startWith("Teamsanddrivers1"));
        QVERIFY(teams);

        // Nothing loaded: nothing is saved, and the player is told to load.
        teams->lbTeams->setCurrentRow(2);
        (*script)->expectMessage("Nothing to save: load team 3 from the game first.");
        QTest::mouseClick(teams->SpeedButton3, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Nothing to save: load team 3 from the game first"));

        // Loaded, changed and saved: the files written, with the backups the
        // first save keeps; saved again unchanged, nothing is written.
        QTest::mouseClick(teams->SpeedButton1, Qt::LeftButton);
        const QString team3 = QString::fromStdString("team 3 (" + teamName(2) + ")");
        QCOMPARE(status(), "Loaded " + team3 + " from the game");
        teams->sePowerRace->setValue(12345);
        QTest::mouseClick(teams->SpeedButton3, Qt::LeftButton);
        QCOMPARE(status(), "Saved " + team3 + " into GP4.EXE (kept as it was in GP4.EXE.BAK)");
        // A new name goes into the saved configuration too.
        teams->eTeamName->setText(QStringLiteral("Renamed"));
        QTest::mouseClick(teams->SpeedButton3, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Saved team 3 (Renamed) into F1GSTATE.SAV (kept as it was in F1GSTATE.SAV.BAK)"));
        QTest::mouseClick(teams->SpeedButton3, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Saved team 3 (Renamed): the game's files already held it"));
        // All teams, of which one was loaded.
        teams->sePowerRace->setValue(23456);
        SetTag(teams->PopupMenu1, CommandExport);
        teams->AllTeams1->trigger();
        QCOMPARE(status(), QStringLiteral("Saved team 3 (Renamed) into GP4.EXE; teams 1, 2, 4, 5, 6, 7, 8, 9, 10 and "
                                          "11 were not loaded from the game, so not saved"));

        // The points, from the menu that offers them.
        auto* points = open<TFrmPoints>("Points1");
        QVERIFY(points && points->isVisible());
        QTest::mouseClick(points->sbImport1, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Loaded the points from the game"));
        points->PointsField(1)->setValue(25);
        QTest::mouseClick(points->sbExport1, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Saved the points into GP4.EXE"));

        // The liveries: the archive rebuilt, with its backup, and the message
        // of what went into it.
        auto* cars = open<TFrmCarTextures>("Cartextures1");
        cars->lbTeams->setCurrentRow(0);
        QTest::mouseClick(cars->sbImport1, Qt::LeftButton);
        (*script)->expectMessage(backupMessage()).expectMessage("Written into " + game + "cars.wad:*");
        QTest::mouseClick(cars->sbExport1, Qt::LeftButton);
        QCOMPARE(status(), QString::fromStdString("Saved the car textures of team 1 into cars.wad (kept as it was "
                                                  "in cars.wad.BAK)"));

        // The WAD Workshop: extraction of one member and of all, with the
        // progress window, and a new archive.
        auto* wad = open<TFrmWADWorkshop>("WADWorkshop1");
        (*script)->expectOpenFile(game + "cars.wad");
        QTest::mouseClick(wad->bbLoadWAD, Qt::LeftButton);
        const int members = wad->Archive()->Count;
        QCOMPARE(status(), QString("Loaded cars.wad: %1 members").arg(members));
        wad->lvEntries->setCurrentItem(wad->lvEntries->topLevelItem(0));
        (*script)->expectSaveFile(*dir / "one.TEX");
        QTest::mouseClick(wad->BitBtn2, Qt::LeftButton);
        QCOMPARE(status(), QString::fromStdString("Extracted " + wad->Archive()->Entries[0].NameString() + " to " +
                                                  *dir / "one.TEX"));
        const std::size_t shown = (*script)->progress().size();
        (*script)->expectFolder(*dir / "all");
        QTest::mouseClick(wad->bbExtractAllFiles, Qt::LeftButton);
        QCOMPARE(status(), QString("Extracted %1 files of cars.wad into %2").arg(members).arg(QString::fromStdString(*dir / "all")));
        QCOMPARE((*script)->progress().size(), shown + 1);
        QCOMPARE(int((*script)->progress().back().steps.size()), members);
        QVERIFY(!(*script)->progress().back().open);
        (*script)->expectFolder(*dir / "all").expectSaveFile(*dir / "again.wad");
        QTest::mouseClick(wad->bbCreateWADFromDir, Qt::LeftButton);
        QCOMPARE(status(), QString("Created %1 with %2 files of %3")
                               .arg(QString::fromStdString(*dir / "again.wad"))
                               .arg(members)
                               .arg(QString::fromStdString(*dir / "all")));
        QCOMPARE(int((*script)->progress().back().steps.size()), members);
    }

    void closingWithEditsNotSavedAsksFirst()
    {
        auto* teams = qobject_cast<TFrmTeams*>(program.startWith("Teamsanddrivers1"));
        // Loaded and not changed: nothing to ask.
        QTest::mouseClick(teams->SpeedButton1, Qt::LeftButton);
        QCloseEvent unchanged;
        QCoreApplication::sendEvent(&form(), &unchanged);
        QVERIFY(unchanged.isAccepted());
        program.form.reset();

        const std::string save = ReadBytes(game + "F1GSTATE.SAV");
        program.startWith("Teamsanddrivers1");
        teams = qobject_cast<TFrmTeams*>(form().CurrentEditor());
        QTest::mouseClick(teams->SpeedButton1, Qt::LeftButton);
        // An edit still in its field counts.
        teams->eTeamName->setText(QStringLiteral("Renamed"));
        const std::string question =
            "Save your changes into the game before closing?\r\n\r\nNot saved yet: team 1 (Renamed).";
        // Cancel stays, with the edit.
        (*script)->expectQuestionWithCancel(question, Answer::Cancel);
        QCloseEvent cancelled;
        QCoreApplication::sendEvent(&form(), &cancelled);
        QVERIFY(!cancelled.isAccepted());
        QVERIFY(!form().Closing());
        QCOMPARE(teams->eTeamName->text(), QStringLiteral("Renamed"));
        // Yes saves, then the program ends.
        (*script)->expectQuestionWithCancel(question, Answer::Yes);
        QCloseEvent saved;
        QCoreApplication::sendEvent(&form(), &saved);
        QVERIFY(saved.isAccepted());
        QVERIFY(form().Closing());
        QVERIFY(ReadBytes(game + "F1GSTATE.SAV") != save);
        program.form.reset();

        // No ends without saving.
        const std::string savedOnce = ReadBytes(game + "F1GSTATE.SAV");
        program.startWith("Teamsanddrivers1");
        teams = qobject_cast<TFrmTeams*>(form().CurrentEditor());
        QTest::mouseClick(teams->SpeedButton1, Qt::LeftButton);
        teams->eTeamName->setText(QStringLiteral("Again"));
        (*script)->expectQuestionWithCancel("Save your changes into the game before closing?*", Answer::No);
        form().Exit1->trigger();
        QVERIFY(form().Closing());
        QVERIFY(ReadBytes(game + "F1GSTATE.SAV") == savedOnce);
    }

    void droppedFilesOpenInTheirWorkshopsAndPicturesLoad()
    {
        program.startWith("Teamsanddrivers1");

        // An archive dropped on the main window opens in the WAD Workshop.
        QVERIFY(dropFile(&form(), game + "cars.wad"));
        auto* wad = qobject_cast<TFrmWADWorkshop*>(form().CurrentEditor());
        QVERIFY(wad && wad->Archive());
        QCOMPARE(wad->PageControl1->tabText(0), QStringLiteral("cars.wad"));
        // Other files are not taken.
        WriteBytes(*dir / "notes.txt", "text");
        QVERIFY(!dropFile(&form(), *dir / "notes.txt"));

        // A TEX file dropped on an editor opens in the TEX Workshop, as the
        // main window opens it.
        const std::string tex = *dir / "car.TEX";
        WriteBytes(tex, demo::BuildTEX({{demo::MakeTestPicture(64, 64, 1, true), DXTFormat::DXT1},
                                        {demo::MakeTestPicture(32, 32, 2, true), DXTFormat::DXT5}}));
        QVERIFY(dropFile(wad->lvEntries->viewport(), tex));
        auto* texWindow = qobject_cast<TFrmTEXWorkshop*>(form().CurrentEditor());
        QVERIFY(texWindow && texWindow->Container());
        QCOMPARE(texWindow->PageControl1->tabText(0), QStringLiteral("car.TEX"));

        // A TGA picture dropped on the texture view replaces the texture
        // shown, with the checks of "Replace selected file".
        const std::vector<std::uint8_t> tga = EncodeTGA(demo::MakeTestPicture(16, 16, 7, true));
        const std::string picture = *dir / "new.TGA";
        WriteBytes(picture, std::string(tga.begin(), tga.end()));
        QVERIFY(dropFile(texWindow->ScrollBox1->viewport(), picture));
        QCOMPARE(texWindow->lbTextures->item(0)->text(), QStringLiteral("Texture 0: (16 x 16)"));
        QCOMPARE(status(), QString::fromStdString("Replaced texture 0 from " + picture +
                                                  "; save the TEX file to keep it"));
        WriteBytes(*dir / "odd.TGA", std::string(tga.begin(), tga.begin() + 30));
        (*script)->expectError("GP4TEX Error 019: *");
        QVERIFY(dropFile(texWindow->ScrollBox1->viewport(), *dir / "odd.TGA"));
        QCOMPARE(texWindow->lbTextures->item(0)->text(), QStringLiteral("Texture 0: (16 x 16)"));

        // A mesh opens in the developer mode only.
        const std::string mesh = *dir / "DEMOCAR.GP4";
        WriteBytes(mesh, demo::BuildGP4Mesh(demo::DemoCarMesh()));
        (*script)->expectMessage("GP4 meshes open in the GP4 Workshop of the developer mode*");
        QVERIFY(dropFile(&form(), mesh));
        QCOMPARE(form().CurrentEditor(), texWindow);

        // A picture dropped on the livery view loads into the livery shown,
        // which is then an edit not yet saved into the game.
        auto* cars = open<TFrmCarTextures>("Cartextures1");
        cars->lbTeams->setCurrentRow(1);
        QVERIFY(!dropFile(cars->ScrollBox1->viewport(), picture)); // not loaded: not taken
        QTest::mouseClick(cars->sbImport1, Qt::LeftButton);
        const std::vector<std::uint8_t> livery = EncodeTGA(demo::MakeTestPicture(512, 512, 9, true));
        WriteBytes(*dir / "livery.TGA", std::string(livery.begin(), livery.end()));
        QVERIFY(!UnsavedItems()[ItemCarTexturesFirst + 1]);
        QVERIFY(dropFile(cars->ScrollBox1->viewport(), *dir / "livery.TGA"));
        QVERIFY(UnsavedItems()[ItemCarTexturesFirst + 1]);
        const TTEXFile& shown = *CarTextureTable[1][0];
        QVERIFY(*shown.GetBitmap(0) == demo::MakeTestPicture(512, 512, 9, true));
        QVERIFY(status().startsWith(QStringLiteral("Loaded livery.TGA into Liveries 1 of ")));
    }
};

PADDOCK_TEST_MAIN(AnswersAndDropsTest)
#include "AnswersAndDropsTest.moc"
