// The main window, its start-up and end, the editor docking, the Options,
// About and folder-and-mask windows.
#include "UiSupport.h"

#include "app/ExportImport.h"
#include "app/FormProgress.h"
#include "app/Items.h"
#include "app/FrmSequence.h"
#include "app/Main.h"
#include "app/Options.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "ui/EditorForm.h"
#include "ui/EditorTeams.h"

#include "DemoCars.h"
#include "DemoGame.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QToolButton>

#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

#ifdef __linux__
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace paddock;
using namespace paddock::testing;

namespace {

const char* const FirstStart =
    "----- IMPORTANT ----\r\n\r\nThis is the first time you are using Paddock v1.2. \r\n\r\n"
    "If you had problems with Paddock v1.1 please recover your original cars.wad file";

// Leaves the Options window with its abort button.
int abortOptions(ModalWindow& w)
{
    auto& options = DialogOf(w);
    QTest::mouseClick(options.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    return options.result();
}

// Small editor windows that stand in for the real ones.
class TTestEditorA : public TEditorForm {
    Q_OBJECT
public:
    explicit TTestEditorA(QWidget* parent) : TEditorForm(parent, QStringLiteral("Test A"))
    {
        ++alive;
        ++created;
        button = new QPushButton(QStringLiteral("Fail"), this);
        button->setObjectName(QStringLiteral("bbFail"));
        button->setGeometry(10, 10, 80, 25);
        connect(button, &QPushButton::clicked, this, [] { throw std::runtime_error("Something went wrong"); });
    }
    ~TTestEditorA() override { --alive; }
    void StoreEdits() override { ++stored; }
    void ReloadData() override { ++reloaded; }

    static inline int alive = 0;
    static inline int created = 0;
    static inline int stored = 0;
    static inline int reloaded = 0;
    QPushButton* button;
};

class TTestEditorB : public TEditorForm {
    Q_OBJECT
public:
    explicit TTestEditorB(QWidget* parent) : TEditorForm(parent, QStringLiteral("Test B"))
    {
        aliveWhenCreated = TTestEditorA::alive;
        setRefuseClose(true);
    }
    static inline int aliveWhenCreated = -1;
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<ScopedScript> script;
    std::string game;

    std::unique_ptr<TMainForm> start()
    {
        auto form = std::make_unique<TMainForm>(dir->path());
        return form;
    }

private slots:
    void init()
    {
        dir = std::make_unique<TempDir>();
        script = std::make_unique<ScopedScript>();
        game = *dir / "game/";
        demo::WriteDemoGame(game);
        ResetSequenceMemory();
    }

    void cleanup()
    {
        // Failures reported by a queued call reach the script now.
        QCoreApplication::processEvents();
        QCOMPARE(QString::fromStdString((*script)->verify()), QString());
        script.reset();
        dir.reset();
    }

    void failingCheckThenAbortEndsWithoutWritingSettings()
    {
        // No settings file: first start, no game folder.
        (*script)
            ->expectMessage(FirstStart)
            .expectError("Invalid GP4 path. Please configure...")
            .expectModal("FrmOptions", abortOptions)
            .expectMessage("Paddock cannot be run without specifying GP4 path.");
        auto form = start();
        QVERIFY(form->Terminated());
        QVERIFY(!FileExists(*dir / "Paddock.INI"));
        // This end leaves the working folder in place.
        QVERIFY(DirectoryExists(*dir / "PADDOCKTEMP/Export"));
    }

#ifdef __linux__
    void startUpFailuresAreReportedAndLeadToTheOptions()
    {
        WriteSettingsFile(*dir, game);
        // A game file that cannot be opened at all: a socket in its place.
        const std::string exe = game + "GP4.EXE";
        std::filesystem::remove(exe);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(exe.size() < sizeof address.sun_path);
        std::strncpy(address.sun_path, exe.c_str(), sizeof address.sun_path - 1);
        QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        (*script)
            ->expectModal("ErrorMsgForm", ErrorReport("Cannot open file \"" + exe + "\"*"))
            .expectModal("FrmOptions", abortOptions)
            .expectMessage("Paddock cannot be run without specifying GP4 path.");
        auto form = start();
        close(fd);
        QVERIFY(form->Terminated());
    }
#endif

    void passingCheckShowsNoOptionsWindow()
    {
        WriteSettingsFile(*dir, game);
        // What a run that did not end left in the working folder (staged
        // files that were never flushed) goes before anything can use it.
        const std::string leftover = *dir / "PADDOCKTEMP/Export/cars.wad/cars/hi_ferrari_1.TEX";
        WriteBytes(leftover, "cut short");
        auto form = start();
        QVERIFY(!FileExists(leftover));
        QVERIFY(!form->Terminated());
        QCOMPARE(QString::fromStdString(Settings.ProgramPath), QString::fromStdString(dir->path()));
        QCOMPARE(QString::fromStdString(Settings.TempPath),
                 QString::fromStdString(*dir / "PADDOCKTEMP" + PathDelim));
        QCOMPARE(QString::fromStdString(Settings.ExportPath),
                 QString::fromStdString(*dir / "PADDOCKTEMP/Export" + PathDelim));
        QCOMPARE(QString::fromStdString(Settings.DebugInfoPath), QString::fromStdString(*dir / "DebugInfo.EIF"));
        QCOMPARE(QString::fromStdString(Settings.GamePath), QString::fromStdString(game));
        QVERIFY(DirectoryExists(Settings.ExportPath));
        QVERIFY(form->CurrentEditor() == nullptr);
    }

    void optionsWindowStaysOpenUntilTheCheckPasses()
    {
        WriteSettingsFile(*dir, *dir / "nowhere");
        const std::string folder = RemoveTrailingBackslash(game);
        (*script)
            ->expectError("Invalid GP4 path. Please configure...")
            .expectModal("FrmOptions",
                         [&](ModalWindow& w) -> int {
                             auto& options = static_cast<TFrmOptions&>(DialogOf(w));
                             // The fields show the settings when the window opens.
                             UI_COMPARE(options.deGamePath->text(), QString::fromStdString(*dir / "nowhere/"));
                             UI_COMPARE(options.eExecutable->text(), QStringLiteral("GP4.EXE"));
                             options.eExecutable->setText(QStringLiteral("GP4X.EXE"));
                             options.deGamePath->setText(QString::fromStdString(folder));
                             QTest::mouseClick(options.bbOK, Qt::LeftButton);
                             if (options.result() == QDialog::Accepted)
                                 return int(QDialog::Accepted);
                             options.eExecutable->setText(QStringLiteral("gp4.exe"));
                             QTest::mouseClick(options.bbOK, Qt::LeftButton);
                             return options.result();
                         })
            .expectError("Invalid GP4.EXE path. Please configure...");
        auto form = start();
        QVERIFY(!form->Terminated());
        // The three paths change together; the settings file keeps the old
        // folder until the program ends normally.
        QCOMPARE(QString::fromStdString(Settings.GamePath), QString::fromStdString(folder + PathDelim));
        QCOMPARE(QString::fromStdString(Settings.GameExePath), QString::fromStdString(game + "GP4.EXE"));
        QCOMPARE(QString::fromStdString(Settings.SaveFilePath), QString::fromStdString(game + "F1GSTATE.SAV"));
        QCOMPARE(QString::fromStdString(ProfileReadString(*dir / "Paddock.INI", "Options", "GamePath", "")),
                 QString::fromStdString(*dir / "nowhere"));
    }

    void developerMenuFollowsTheAccessMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("developer");
        QTest::newRow("user") << "USER" << false;
        QTest::newRow("advanced") << "Advanced" << false;
        QTest::newRow("developer") << "developer" << true;
        QTest::newRow("unknown") << "GOD" << false;
    }

    void developerMenuFollowsTheAccessMode()
    {
        QFETCH(QString, mode);
        QFETCH(bool, developer);
        WriteSettingsFile(*dir, game, mode.toStdString());
        auto form = start();
        QCOMPARE(form->findChild<QMenu*>("Developer1")->menuAction()->isVisible(), developer);
        // The points editor is offered in every mode.
        QVERIFY(form->findChild<QMenu*>("Misc1")->menuAction()->isVisible());
    }

    void menuAndToolbarAreLaidOut()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        const struct {
            const char* name;
            const char* caption;
        } items[] = {{"Exit1", "&Exit"},           {"Teamsanddrivers1", "&Teams and drivers"},
                     {"Cartextures1", "&Car textures"}, {"Points1", "&Points"},
                     {"WADWorkshop1", "&WAD Workshop"}, {"EXWorkshop1", "&TEX Workshop"},
                     {"GP4Workshop1", "GP4 Workshop"},  {"Configure1", "&Configure..."},
                     {"About1", "&About"}};
        for (const auto& item : items) {
            auto* action = form->findChild<QAction*>(item.name);
            QVERIFY2(action, item.name);
            QCOMPARE(action->text(), QString::fromLatin1(item.caption));
        }
        const struct {
            const char* button;
            const char* item;
        } bindings[] = {{"ToolButton8", "Teamsanddrivers1"},
                        {"ToolButton7", "Cartextures1"},
                        {"ToolButton3", "WADWorkshop1"},
                        {"ToolButton4", "EXWorkshop1"},
                        {"ToolButton2", "Configure1"}};
        for (const auto& b : bindings) {
            auto* button = form->findChild<QToolButton*>(b.button);
            QVERIFY2(button, b.button);
            QCOMPARE(button->defaultAction(), form->findChild<QAction*>(b.item));
            QCOMPARE(button->size(), QSize(25, 24));
            QVERIFY(!button->icon().isNull());
        }
        QCOMPARE(form->width(), 705);
    }

    void firstActivationCentresAndSetsHints()
    {
        // Centred with the editor's real height, never above the screen's area.
        QCOMPARE(TMainForm::CentredTop(0, 768, 84, 400), 142);
        QCOMPARE(TMainForm::CentredTop(0, 1080, 84, 400), 298);
        QCOMPARE(TMainForm::CentredTop(0, 768, 84, 600), 42);
        QCOMPARE(TMainForm::CentredTop(24, 744, 84, 400), 154);
        QCOMPARE(TMainForm::CentredTop(0, 400, 84, 400), 0);
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->move(30, 0);
        form->show();
        // The hints are the items' captions without the access keys' marks.
        QTRY_VERIFY(form->findChild<QToolButton*>("ToolButton2")->toolTip() == QStringLiteral("Configure..."));
        QCOMPARE(form->findChild<QToolButton*>("ToolButton8")->toolTip(), QStringLiteral("Teams and drivers"));
        QCOMPARE(form->pos().x(), 30);
        // The Teams & Drivers window opens by itself, below the main window.
        auto* teams = qobject_cast<TFrmTeams*>(form->CurrentEditor());
        QVERIFY(teams && teams->isVisible());
        const QRect area = form->screen()->availableGeometry();
        QCOMPARE(form->pos().y(), TMainForm::CentredTop(area.top(), area.height(), form->frameGeometry().height(),
                                                        teams->frameGeometry().height()));
        QCOMPARE(teams->pos(), QPoint(30, form->pos().y() + form->frameGeometry().height()));
        // Later activations change nothing.
        form->move(30, 5);
        form->FormActivate();
        QCOMPARE(form->pos().y(), 5);
        QCOMPARE(form->CurrentEditor(), teams);
    }

    void editorDocksBelowAndFollowsMoves()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->show();
        form->FormActivate(); // the first activation opens its editor now, not later
        form->move(40, 50);
        form->OpenEditor<TTestEditorA>();
        TEditorForm* editor = form->CurrentEditor();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->size(), QSize(700, 400));
        QCOMPARE(editor->pos(), QPoint(40, 50 + form->frameGeometry().height()));
        form->move(100, 120);
        QTRY_COMPARE(editor->pos(), QPoint(100, 120 + form->frameGeometry().height()));
        // Moving the editor leaves the main window where it is.
        editor->move(300, 300);
        QCOMPARE(form->pos(), QPoint(100, 120));
        // Choosing the open editor again changes nothing: same window, same place, no reload.
        const int created = TTestEditorA::created;
        form->OpenEditor<TTestEditorA>();
        QCOMPARE(form->CurrentEditor(), editor);
        QCOMPARE(editor->pos(), QPoint(300, 300));
        QCOMPARE(TTestEditorA::created, created);
    }

    void anotherEditorReplacesTheFirst()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->OpenEditor<TTestEditorA>();
        QCOMPARE(TTestEditorA::alive, 1);
        form->OpenEditor<TTestEditorB>();
        QCOMPARE(TTestEditorB::aliveWhenCreated, 0);
        QCOMPARE(TTestEditorA::alive, 0);
        QCOMPARE(QString(form->CurrentEditor()->metaObject()->className()), QStringLiteral("TTestEditorB"));
        // A workshop's own close box does not close it.
        QVERIFY(!form->CurrentEditor()->close());
        QVERIFY(form->CurrentEditor()->isVisible());
        form->CloseEditor();
        QVERIFY(form->CurrentEditor() == nullptr);
    }

    void requestsReachTheCurrentEditor()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->StoreEdits(); // no editor: nothing happens
        form->OpenEditor<TTestEditorA>();
        const int stored = TTestEditorA::stored, reloaded = TTestEditorA::reloaded;
        form->StoreEdits();
        form->ReloadData();
        QCOMPARE(TTestEditorA::stored, stored + 1);
        QCOMPARE(TTestEditorA::reloaded, reloaded + 1);

        // The import and export send them too, around their own progress
        // window, which is gone when they end.
        QPointer<TFrmProgress> shown;
        (*script)->setProgressFactory([&shown](const ProgressRequest& r) {
            shown = ShowProgress(QString::fromStdString(r.caption), r.maximum, r.showCancel, r.clientWidth,
                                 r.clientHeight);
            UI_CHECK(shown->isVisible());
            return std::make_unique<QtProgress>(shown.data());
        });
        SelectItems({14, 21});
        ImportSelected();
        QCOMPARE(TTestEditorA::reloaded, reloaded + 2);
        QVERIFY(shown.isNull());
        QCOMPARE((*script)->progress().back().steps, (std::vector<std::string>{"Team 5", "Points table"}));
        SelectItems({14});
        ExportSelected();
        QCOMPARE(TTestEditorA::stored, stored + 2);
        QVERIFY(shown.isNull());
        QCOMPARE(QString::fromStdString((*script)->progress().back().request.caption), QStringLiteral("Exporting..."));
    }

    void aFileNamedAtStartOpensInItsWorkshop()
    {
        WriteSettingsFile(*dir, game);
        const std::string archive = *dir / "CARS.WAD";
        WriteBytes(archive, demo::BuildWAD({{"cars\\a.TEX", "a"}, {"b.bin", "bb"}}));
        auto form = start();
        form->OpenAtStart(archive);
        form->show();
        form->FormActivate();
        QVERIFY(form->CurrentEditor());
        QCOMPARE(QString(form->CurrentEditor()->metaObject()->className()), QStringLiteral("paddock::TFrmWADWorkshop"));
        auto* list = form->CurrentEditor()->findChild<QTreeWidget*>("lvEntries");
        QVERIFY(list);
        QCOMPARE(list->topLevelItemCount(), 2);
    }

    void restoreAsksFirstNamesTheFilesAndPutsTheBackupsBack()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        QAction* restore = form->findChild<QAction*>("RestoreBackups1");
        QVERIFY(restore);
        QCOMPARE(restore->text(), QStringLiteral("&Restore game files from backups"));
        (*script)->expectMessage("There are no backups of the game's files in " + game +
                                 ". They are made when something is first saved into the game.");
        restore->trigger();

        // The executable changed since its backup was made.
        const std::string exe = ReadBytes(game + "GP4.EXE");
        std::string changed = exe;
        changed[100] = static_cast<char>(changed[100] ^ 1);
        WriteBytes(game + "GP4.EXE.BAK", exe);
        WriteBytes(game + "F1GSTATE.SAV.BAK", ReadBytes(game + "F1GSTATE.SAV"));
        WriteBytes(game + "GP4.EXE", changed);
        const std::string question = "Put these files of the game back as their backups hold them?\r\n\r\n"
                                     "GP4.EXE from GP4.EXE.BAK\r\nF1GSTATE.SAV from F1GSTATE.SAV.BAK\r\n\r\n"
                                     "What was saved into them since the backups were made is lost.";
        (*script)->expectQuestion(question, false);
        restore->trigger();
        QVERIFY(ReadBytes(game + "GP4.EXE") == changed);
        (*script)->expectQuestion(question, true).expectMessage("Restored GP4.EXE and F1GSTATE.SAV from their backups.");
        restore->trigger();
        QVERIFY(ReadBytes(game + "GP4.EXE") == exe);
        QVERIFY(ReadBytes(game + "GP4.EXE.BAK") == exe);
    }

    void exitWritesSettingsAndRemovesTheWorkingFolder()
    {
        WriteSettingsFile(*dir, RemoveTrailingBackslash(game), "", true);
        (*script)->expectMessage(FirstStart);
        auto form = start();
        form->show();
        form->FormActivate(); // the first activation opens its editor now, not later
        form->OpenEditor<TTestEditorA>();
        WriteBytes(Settings.ExportPath + "cars.wad/cars/x.tex", "staged");
        ClearReadOnly(Settings.ExportPath + "cars.wad/cars/x.tex");
        std::filesystem::permissions(Settings.ExportPath + "cars.wad/cars/x.tex", std::filesystem::perms::owner_read);
        form->findChild<QAction*>("Exit1")->trigger();
        QVERIFY(form->CurrentEditor() == nullptr);
        QCOMPARE(TTestEditorA::alive, 0);
        QVERIFY(!DirectoryExists(*dir / "PADDOCKTEMP"));
        const std::string ini = *dir / "Paddock.INI";
        QCOMPARE(QString::fromStdString(ProfileReadString(ini, "Paddock", "FirstStart", "")), QStringLiteral("0"));
        QCOMPARE(QString::fromStdString(ProfileReadString(ini, "Options", "GamePath", "")),
                 QString::fromStdString(game));
        QCOMPARE(QString::fromStdString(ProfileReadString(ini, "Options", "GP4EXE", "")), QStringLiteral("GP4.EXE"));
        // After the end has begun, moves no longer touch an editor (here one
        // opened late, as by a command still queued).
        QVERIFY(form->Closing());
        form->OpenEditor<TTestEditorA>();
        const QPoint placed = form->CurrentEditor()->pos();
        form->move(form->pos() + QPoint(37, 41));
        QTest::qWait(50);
        QCOMPARE(form->CurrentEditor()->pos(), placed);
    }

    void exitEndsCleanlyWhenTheSettingsCannotBeWritten()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->show();
        form->FormActivate(); // the first activation opens its editor now, not later
        form->OpenEditor<TTestEditorA>();
        // The settings file's place is taken by a folder: it cannot be written.
        std::filesystem::remove(*dir / "Paddock.INI");
        std::filesystem::create_directory(*dir / "Paddock.INI");
        ExpectErrorReport(**script, "Cannot write settings file*");
        form->findChild<QAction*>("Exit1")->trigger();
        QVERIFY(form->Closing());
        QVERIFY(form->CurrentEditor() == nullptr);
        QVERIFY(!DirectoryExists(*dir / "PADDOCKTEMP"));
    }

    void closingTheWindowEndsTheSameWay()
    {
        WriteSettingsFile(*dir, game, "", true);
        (*script)->expectMessage(FirstStart);
        auto form = start();
        form->show();
        form->FormActivate(); // the first activation opens its editor now, not later
        form->OpenEditor<TTestEditorB>();
        form->close();
        QVERIFY(form->CurrentEditor() == nullptr);
        QVERIFY(!DirectoryExists(*dir / "PADDOCKTEMP"));
        QCOMPARE(QString::fromStdString(ProfileReadString(*dir / "Paddock.INI", "Paddock", "FirstStart", "")),
                 QStringLiteral("0"));
    }

    void exceptionsInHandlersAreReportedAndTheProgramGoesOn()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        form->show();
        form->FormActivate(); // the first activation opens its editor now, not later
        form->OpenEditor<TTestEditorA>();
        auto* editor = static_cast<TTestEditorA*>(form->CurrentEditor());
        ExpectErrorReport(**script, "Something went wrong");
        QTest::mouseClick(editor->button, Qt::LeftButton);
        QTRY_COMPARE(QString::fromStdString((*script)->verify()), QString());
        // A timer's handler too, and the program still answers afterwards.
        ExpectErrorReport(**script, "Cannot open file*");
        QTimer::singleShot(0, form.get(), [] { GetFileSize("/nonexistent/file"); });
        QTRY_COMPARE(QString::fromStdString((*script)->verify()), QString());
        QVERIFY(form->CurrentEditor() == editor);
    }

    void configureAndAboutOpenTheirWindows()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        // A game inside a Wine prefix, with a long path.
        const std::string wine =
            "/home/a-player-with-a-long-name/.local/share/wineprefixes/grand-prix-4/drive_c/Program Files (x86)/"
            "Microprose/Grand Prix 4/";
        Settings.GamePath = wine;
        (*script)->expectModal("FrmOptions", [&wine](ModalWindow& w) -> int {
            auto& options = static_cast<TFrmOptions&>(DialogOf(w));
            options.show();
            UI_COMPARE(options.windowTitle(), QStringLiteral("Options"));
            UI_CHECK(options.width() >= 292 && options.height() == 353);
            UI_COMPARE(options.Button1->text(), QStringLiteral("Auto-Search"));
            // The path is shown whole, in a field across the window, which
            // stands in the middle of the screen.
            QLineEdit* path = options.deGamePath->lineEdit();
            UI_COMPARE(path->text(), QString::fromStdString(wine));
            UI_CHECK(path->fontMetrics().horizontalAdvance(path->text()) < path->width() - 8);
            UI_CHECK(options.deGamePath->width() > options.width() - 60);
            const QPoint centre = options.screen()->availableGeometry().center();
            UI_CHECK((options.frameGeometry().center() - centre).manhattanLength() <= 2);
            options.deGamePath->setText(QStringLiteral("/somewhere/else"));
            QTest::mouseClick(options.BitBtn1, Qt::LeftButton);
            return options.result();
        });
        form->findChild<QToolButton*>("ToolButton2")->click();
        // Aborting changes nothing.
        QCOMPARE(QString::fromStdString(Settings.GamePath), QString::fromStdString(wine));
        Settings.GamePath = game;

        (*script)->expectModal("FrmAbout", [](ModalWindow& w) -> int {
            auto& about = DialogOf(w);
            UI_COMPARE(about.windowTitle(), QStringLiteral("About"));
            UI_COMPARE(about.size(), QSize(500, 334));
            UI_CHECK(about.findChild<QLabel*>("Label1")->text().contains("Paddock v1.2 BETA "));
            UI_CHECK(about.findChild<QLabel*>("Label2")->text().contains("Special thanks go to:"));
            return int(QDialog::Accepted);
        });
        form->findChild<QAction*>("About1")->trigger();
    }

    void folderChooserAndAutoSearchFillTheGamePath()
    {
        WriteSettingsFile(*dir, game);
        auto form = start();
        const std::string home = *dir / "home";
        const std::string installed = home + "/.wine/drive_c/Program Files/Grand Prix 4";
        demo::WriteDemoGame(installed);
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home));
        qunsetenv("WINEPREFIX");
        (*script)->expectModal("FrmOptions", [&](ModalWindow& w) -> int {
            auto& options = static_cast<TFrmOptions&>(DialogOf(w));
            (*script)->expectFolder(*dir / "picked");
            QTest::mouseClick(options.deGamePath->button(), Qt::LeftButton);
            UI_COMPARE(options.deGamePath->text(), QString::fromStdString(*dir / "picked/"));
            QTest::mouseClick(options.Button1, Qt::LeftButton);
            UI_COMPARE(options.deGamePath->text(), QString::fromStdString(installed + PathDelim));
            QTest::mouseClick(options.bbOK, Qt::LeftButton);
            return options.result();
        });
        form->Configure1Click();
        qputenv("HOME", oldHome);
        QCOMPARE(QString::fromStdString(Settings.GamePath), QString::fromStdString(installed + PathDelim));
    }

    void progressWindowFollowsTheItems()
    {
        std::unique_ptr<TFrmProgress> window(ShowProgress(QStringLiteral("Importing..."), 3, false, 300, 80));
        QCOMPARE(window->windowTitle(), QStringLiteral("Importing..."));
        QVERIFY(window->isVisible());
        QCOMPARE(window->size(), QSize(300, 80));
        QVERIFY(!window->bbCancel->isVisible());
        // Without its button the panel fills the window.
        QCOMPARE(window->Panel1->geometry(), window->rect());
        QCOMPARE(window->pbProgress->minimum(), 0);
        QCOMPARE(window->pbProgress->maximum(), 3);
        window->Step(QStringLiteral("Team 5"));
        window->Step(QStringLiteral("Points table"));
        QCOMPARE(window->pbProgress->value(), 2);
        QCOMPARE(window->stInfo->text(), QStringLiteral("Points table"));
        QCOMPARE(window->stProgress->text(), QStringLiteral("2 of 3"));

        // With the button, below the panel; it sets the flag.
        std::unique_ptr<TFrmProgress> cancellable(ShowProgress(QStringLiteral("Progress"), 1, true, 0, 0));
        QVERIFY(cancellable->bbCancel->isVisible());
        QVERIFY(cancellable->width() >= TFrmProgress::DesignWidth && cancellable->height() >= TFrmProgress::DesignHeight);
        QVERIFY(cancellable->bbCancel->mapTo(cancellable.get(), QPoint(0, 0)).y() >= cancellable->Panel1->geometry().bottom());
        QVERIFY(!cancellable->Cancelled());
        QTest::mouseClick(cancellable->bbCancel, Qt::LeftButton);
        QVERIFY(cancellable->Cancelled());
    }

    void sequenceWindowShowsItsTextsAndRemembersAnswers()
    {
        std::string result;
        (*script)->expectModal("FormSequence", [](ModalWindow& w) -> int {
            auto& window = static_cast<TFormSequence&>(DialogOf(w));
            UI_COMPARE(window.windowTitle(), QStringLiteral("Please choose a directory / mask"));
            UI_COMPARE(window.size(), QSize(308, 217));
            UI_COMPARE(window.StaticText1->text(), QStringLiteral("Directory"));
            UI_COMPARE(window.StaticText2->text(), QStringLiteral("Filemask"));
            UI_COMPARE(window.Label2->text(),
                     QStringLiteral("When saving a list of files you first have to chosse a\n"
                                    "directory, in which the files will be saved. After this\n"
                                    "you can choose a filemask. \n"
                                    "Example: Sound*.WAV. The \"*\" will be replaced with\n"
                                    "an index. The created files will have the\n"
                                    "names \"Sound1.WAV\", Sound2.WAV\" etc. "));
            UI_COMPARE(window.Label1->text(), QStringLiteral("It is recommended not to change the file extension"));
            UI_COMPARE(window.Label3->text(), QStringLiteral("you can see in the filemask field."));
            UI_COMPARE(window.DirectoryEdit1->text(), QStringLiteral("/out"));
            UI_COMPARE(window.Edit1->text(), QStringLiteral("t*.TGA"));
            QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
            return window.result();
        });
        QVERIFY(ChooseSequence("/out", "t*.TGA", result));
        QCOMPARE(QString::fromStdString(result), QStringLiteral("/out") + QChar(PathDelim) + "t*.TGA");

        // Empty proposals show the remembered answers; Cancel keeps them.
        (*script)->expectModal("FormSequence", [](ModalWindow& w) -> int {
            auto& window = static_cast<TFormSequence&>(DialogOf(w));
            UI_COMPARE(window.DirectoryEdit1->text(), QStringLiteral("/out") + QChar(PathDelim));
            UI_COMPARE(window.Edit1->text(), QStringLiteral("t*.TGA"));
            window.Edit1->setText(QStringLiteral("other*.TGA"));
            QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
            return window.result();
        });
        QVERIFY(!ChooseSequence("", "", result));
        QCOMPARE(QString::fromStdString(result), QString());
        (*script)->expectModal("FormSequence", [](ModalWindow& w) -> int {
            auto& window = static_cast<TFormSequence&>(DialogOf(w));
            UI_COMPARE(window.Edit1->text(), QStringLiteral("t*.TGA"));
            // Nothing is tested here: a mask without "*" is the caller's business.
            window.Edit1->setText(QStringLiteral("plain.TGA"));
            QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
            return window.result();
        });
        QVERIFY(ChooseSequence("", "", result));
        QCOMPARE(QString::fromStdString(result), QStringLiteral("/out") + QChar(PathDelim) + "plain.TGA");
    }
};

PADDOCK_TEST_MAIN(ShellTest)
#include "ShellTest.moc"
