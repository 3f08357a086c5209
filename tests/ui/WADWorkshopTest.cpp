// The WAD Workshop window with scripted dialogs.
#include "UiSupport.h"

#include "app/FileError.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4WAD.h"
#include "ui/EditorWAD.h"

#include "DemoCars.h"
#include "DemoGame.h"

#include <QAction>
#include <QColor>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <memory>

using namespace paddock;
using namespace paddock::testing;

namespace {

const char* const FixWarning = "Warning! Use this option only if you have edited textures with\r\n"
                               "v1.0 AND encouter problems using car texture editor now. Continue?";
const char* const SeemsOK =
    "Warning! The WAD file you are trying to fix seems to be OK. Fix anyway? File may be corrupted. Make a backup first";
const char* const FixedTooOften = "Warning! The WAD file you are trying to fix seems to have been fixed 1 time too "
                                  "often. Undo that? Make a backup first";

using Members = std::vector<std::pair<std::string, std::string>>;

const Members threeMembers{{"cars\\hi_bar_1.TEX", "0123456789"}, {"empty.dat", ""}, {"a\\b\\c.txt", "hello"}};

std::uint32_t read32(const std::string& bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<std::uint8_t>(bytes[offset + static_cast<std::size_t>(k)]);
    return v;
}

} // namespace

class WADWorkshopTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmWADWorkshop* window = nullptr;
    std::string wadPath;

    void load(const std::string& path)
    {
        (*script)->expectOpenFile(path);
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
    }

    QStringList row(int i) const
    {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << window->lvEntries->topLevelItem(i)->text(c);
        return cells;
    }

private slots:
    void init()
    {
        program.prepare();
        wadPath = *dir / "GP4/three.wad";
        WriteBytes(wadPath, demo::BuildWAD(threeMembers));
        window = qobject_cast<TFrmWADWorkshop*>(program.startWith("WADWorkshop1"));
        QVERIFY(window);
    }

    void cleanup() { program.finish(); }

    void layoutAndCloseBox()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("WAD Workshop"));
        QCOMPARE(window->size(), QSize(700, 400));
        // The group is 157 wide unless its widest button needs more.
        QCOMPARE(window->GroupBox1->width(), std::max(157, window->bbCreateWADFromDir->sizeHint().width() + 16));
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        QCOMPARE(window->lvEntries->headerItem()->text(1), QStringLiteral("Filename"));
        // Index as wide as its caption, Offset and Size at least 75, Filename
        // the rest and at least 290: the columns fill the list exactly.
        const QHeaderView* header = window->lvEntries->header();
        QCOMPARE(header->sectionSize(0), header->sectionSizeHint(0));
        QVERIFY(window->lvEntries->columnWidth(1) >= 290);
        QVERIFY(window->lvEntries->columnWidth(2) >= 75);
        QVERIFY(window->lvEntries->columnWidth(3) >= 75);
        QCOMPARE(header->length(), window->lvEntries->viewport()->width());
        QVERIFY(window->bbReplaceAllFiles->isHidden());
        QVERIFY(window->BitBtn1->isHidden());
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
    }

    void loadListsTheDirectoryAndASecondLoadReplacesIt()
    {
        load(wadPath);
        QCOMPARE(QString::fromStdString((*script)->fileRequests()[0].filter), QStringLiteral("WAD-Files|*.WAD"));
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("three.wad"));
        QCOMPARE(window->lvEntries->topLevelItemCount(), 3);
        QCOMPARE(row(0), (QStringList{"1", "cars\\hi_bar_1.TEX", "0000019C", "0000000A"}));
        QCOMPARE(row(1), (QStringList{"2", "empty.dat", "000001A7", "00000000"}));
        QCOMPARE(row(2), (QStringList{"3", "a\\b\\c.txt", "000001A8", "00000005"}));

        WriteBytes(*dir / "one.wad", demo::BuildWAD({{"x.bin", "xyz"}}));
        load(*dir / "one.wad");
        QCOMPARE(window->lvEntries->topLevelItemCount(), 1);
        QCOMPARE(row(0), (QStringList{"1", "x.bin", "0000008C", "00000003"}));
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("one.wad"));

        // The hidden buttons empty the list in memory only.
        const std::string before = ReadBytes(*dir / "one.wad");
        window->bbReplaceAllFilesClick();
        QCOMPARE(window->lvEntries->topLevelItemCount(), 0);
        QCOMPARE(window->Archive()->Count, 0);
        QVERIFY(ReadBytes(*dir / "one.wad") == before);
    }

    void failedLoadLeavesNothingToExtract()
    {
        load(wadPath);
        WriteBytes(*dir / "bad.wad", std::string("\xFF\xFF\x00\x00garbage", 11));
        (*script)->expectOpenFile(*dir / "bad.wad").expectModal("ErrorMsgForm", ErrorReport("Not a WAD archive*"));
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!window->Archive());
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        QCOMPARE(window->lvEntries->topLevelItemCount(), 0);
        (*script)->expectError("No WAD file loaded");
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton); // nothing happens
    }

    void extractAllAsksForAFolderAndRemembersIt()
    {
        load(wadPath);
        // The folder chooser opens at the archive's folder, then at the one
        // chosen last; a cancelled chooser extracts nothing.
        (*script)->expectFolder(*dir / "x");
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->folderRequests().back()),
                 QString::fromStdString("Extract all files of three.wad into | " + ExtractFilePath(wadPath)));
        const std::string out = *dir / "x/";
        QCOMPARE(QString::fromStdString(ReadBytes(out + "cars/hi_bar_1.TEX")), QStringLiteral("0123456789"));
        QVERIFY(FileExists(out + "empty.dat"));
        QCOMPARE(QString::fromStdString(ReadBytes(out + "a/b/c.txt")), QStringLiteral("hello"));
        (*script)->expectFolder(std::nullopt);
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->folderRequests().back()),
                 QString::fromStdString("Extract all files of three.wad into | " + out));
    }

    void extractSelectedProposesTheLastLevelOfTheName()
    {
        load(wadPath);
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton); // no row selected: nothing happens
        window->lvEntries->setCurrentItem(window->lvEntries->topLevelItem(0));
        (*script)->expectSaveFile(*dir / "chosen.bin");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        const FileDialogRequest& request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.fileName), QStringLiteral("hi_bar_1.TEX"));
        QCOMPARE(QString::fromStdString(request.filter), QStringLiteral("All files|*.*"));
        QCOMPARE(QString::fromStdString(ReadBytes(*dir / "chosen.bin")), QStringLiteral("0123456789"));

        // Names in the game's code page are listed and proposed as such.
        WriteBytes(*dir / "names.wad", demo::BuildWAD({{"cars\\caf\xE9.TEX", "cafe"}}));
        load(*dir / "names.wad");
        QCOMPARE(row(0)[1], QString::fromUtf8("cars\\caf\u00E9.TEX"));
        window->lvEntries->setCurrentItem(window->lvEntries->topLevelItem(0));
        (*script)->expectSaveFile(std::nullopt);
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().fileName), QString::fromUtf8("caf\u00E9.TEX"));
    }

    void createAsksTwiceAndWritesTheArchive()
    {
        (*script)->expectFolder(std::nullopt);
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);

        WriteBytes(*dir / "tree/only.txt", "12345");
        (*script)->expectFolder(*dir / "tree").expectSaveFile(std::nullopt);
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);
        QVERIFY(!FileExists(*dir / "new.wad"));
        // The archive is proposed under the folder's name.
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().fileName), QStringLiteral("tree.wad"));

        (*script)->expectFolder(*dir / "tree").expectSaveFile(*dir / "new.wad");
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "new.wad") == demo::BuildWAD({{"only.txt", "12345"}}));
        // The loaded archive and the list are not touched.
        QVERIFY(!window->Archive());

        // A file whose name the game's code page cannot hold is named, and
        // the archive is not written.
        WriteBytes(*dir / "tree/\u4E2D.txt", "x");
        (*script)
            ->expectFolder(*dir / "tree")
            .expectSaveFile(*dir / "new.wad")
            .expectError("GP4WAD Error 004: Invalid file name. The game's code page (Windows-1252) cannot hold it: " +
                         *dir / "tree/\u4E2D.txt");
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "new.wad") == demo::BuildWAD({{"only.txt", "12345"}}));
        std::filesystem::remove(*dir / "tree/\u4E2D.txt");

        // A folder that is not there is named, and no archive is written.
        (*script)
            ->expectFolder(*dir / "missing")
            .expectSaveFile(*dir / "none.wad")
            .expectModal("ErrorMsgForm", ErrorReport("Cannot create WAD archive from folder \"" + *dir / "missing" +
                                                     "\": The folder does not exist"));
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!FileExists(*dir / "none.wad"));
    }

    void demoCarsArchiveTravelsThroughExtractAndCreate()
    {
        const std::string game = *dir / "cars/";
        demo::WriteDemoGame(game, true);
        load(game + "cars.wad");
        const auto members = demo::MakeDemoCarMembers();
        QCOMPARE(window->lvEntries->topLevelItemCount(), int(members.size()));
        QVERIFY(window->lvEntries->findItems(QStringLiteral("cars\\hi_ferrari_1.TEX"), Qt::MatchExactly, 1).size() == 1);

        (*script)->expectFolder(*dir / "tree");
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        (*script)->expectFolder(*dir / "tree").expectSaveFile(*dir / "again.wad");
        QTest::mouseClick(window->bbCreateWADFromDir, Qt::LeftButton);

        // The same names with the same bytes, in the order the folders list them.
        TWADFile again(*dir / "again.wad");
        QVERIFY(again.ReadDirectory());
        QCOMPARE(again.Count, int(members.size()));
        for (const auto& [name, bytes] : members) {
            const int index = again.IndexOf(name);
            QVERIFY2(index >= 0, name.c_str());
            QCOMPARE(again.Entries[std::size_t(index)].NameString(), name);
            std::vector<std::uint8_t> read;
            QVERIFY(again.ReadMember(index, read));
            QVERIFY2(std::string(read.begin(), read.end()) == bytes, name.c_str());
        }

        // A damaged copy (offsets without the gap bytes) is repaired in place.
        std::string damaged = ReadBytes(game + "cars.wad");
        for (std::uint32_t i = 1; i < members.size(); ++i) {
            const std::size_t at = 4 + i * 136 + 128;
            const std::uint32_t v = read32(damaged, at) - i;
            for (int k = 0; k < 4; ++k)
                damaged[at + std::size_t(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
        }
        WriteBytes(*dir / "damaged.wad", damaged);
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(*dir / "damaged.wad")
            .expectMessage("WAD file fixed with success");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "damaged.wad") == ReadBytes(game + "cars.wad"));
    }

    void repairAsksBothWarnings()
    {
        // A healthy archive: the second warning comes; No changes nothing.
        const std::string before = ReadBytes(wadPath);
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(wadPath)
            .expectQuestion(SeemsOK, false, QuestionKind::Warning);
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QVERIFY(ReadBytes(wadPath) == before);

        // Anything but Yes to the first warning ends at once.
        (*script)->expectQuestion(FixWarning, false, QuestionKind::Warning);
        QTest::mouseClick(window->Button1, Qt::LeftButton);

        // Yes to both: the offsets move by their index, the data stays.
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(wadPath)
            .expectQuestion(SeemsOK, true, QuestionKind::Warning)
            .expectMessage("WAD file fixed with success");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        const std::string after = ReadBytes(wadPath);
        QCOMPARE(read32(after, 4 + 128), 412u);
        QCOMPARE(read32(after, 4 + 136 + 128), 423u + 1);
        QCOMPARE(read32(after, 4 + 2 * 136 + 128), 424u + 2);
        QVERIFY(after.substr(412) == before.substr(412));

        // The last member now reaches past the end of the file: the archive
        // still opens and lists it, marked, and refuses only to extract it.
        load(wadPath);
        QCOMPARE(window->lvEntries->topLevelItemCount(), 3);
        QVERIFY(window->lvEntries->topLevelItem(0)->foreground(1).color() != QColor(Qt::red));
        QCOMPARE(window->lvEntries->topLevelItem(2)->foreground(1).color(), QColor(Qt::red));
        window->lvEntries->setCurrentItem(window->lvEntries->topLevelItem(2));
        (*script)
            ->expectSaveFile(*dir / "c.txt")
            .expectError("GP4WAD Error 003: Invalid member. It lies outside the archive file: a\\b\\c.txt");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        QVERIFY(!FileExists(*dir / "c.txt"));

        // The mistaken repair is recognised and undone, not repeated.
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(wadPath)
            .expectQuestion(FixedTooOften, true, QuestionKind::Warning)
            .expectMessage("WAD file fixed with success");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QVERIFY(ReadBytes(wadPath) == before);

        // An archive written without the gap bytes in its offsets is fixed
        // without the second warning.
        std::string old = demo::BuildWAD(threeMembers);
        for (std::uint32_t i = 1; i < 3; ++i) {
            const std::size_t at = 4 + i * 136 + 128;
            const std::uint32_t v = read32(old, at) - i;
            for (int k = 0; k < 4; ++k)
                old[at + static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
        }
        WriteBytes(*dir / "old.wad", old);
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(*dir / "old.wad")
            .expectMessage("WAD file fixed with success");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "old.wad") == demo::BuildWAD(threeMembers));

        // An archive without entries has nothing to repair.
        WriteBytes(*dir / "empty.wad", std::string(4, '\0'));
        (*script)
            ->expectQuestion(FixWarning, true, QuestionKind::Warning)
            .expectOpenFile(*dir / "empty.wad")
            .expectMessage("The WAD file has no entries. There is nothing to repair.");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QCOMPARE(ReadBytes(*dir / "empty.wad").size(), std::size_t(4));
    }
};

PADDOCK_TEST_MAIN(WADWorkshopTest)
#include "WADWorkshopTest.moc"
