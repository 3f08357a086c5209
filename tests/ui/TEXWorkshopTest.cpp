// The TEX Workshop window with scripted dialogs.
#include "UiSupport.h"

#include "app/FrmSequence.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "ui/EditorTEX.h"
#include "ui/PictureImage.h"

#include "DemoGame.h"
#include "DemoTextures.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>

#include <memory>

using namespace paddock;
using namespace paddock::testing;

class TEXWorkshopTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmTEXWorkshop* window = nullptr;
    std::string texPath;

    // Loads car.TEX: 64 x 64 DXT1 with a transparent corner, 32 x 32 DXT5,
    // 16 x 16 DXT1.
    void loadContainer()
    {
        (*script)->expectOpenFile(texPath);
        QTest::mouseClick(window->bbLoadTEX, Qt::LeftButton);
        QVERIFY(window->Container());
    }

    QImage shownImage() const { return window->imgTEX->pixmap().toImage(); }

private slots:
    void init()
    {
        program.prepare();
        ResetSequenceMemory();
        texPath = *dir / "tex/car.TEX";
        WriteBytes(texPath, demo::BuildTEX({{demo::MakeTestPicture(64, 64, 1, true), DXTFormat::DXT1},
                                            {demo::MakeTestPicture(32, 32, 2, true), DXTFormat::DXT5},
                                            {demo::MakeTestPicture(16, 16, 3, false), DXTFormat::DXT1}}));
        window = qobject_cast<TFrmTEXWorkshop*>(program.startWith("EXWorkshop1"));
        QVERIFY(window);
    }

    void cleanup() { program.finish(); }

    void startsEmptyAndRefusesItsCloseBox()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("TEX Workshop"));
        // 700 wide; the third way of display takes some height more than 400.
        QCOMPARE(window->width(), 700);
        QVERIFY(window->height() >= 400 && window->height() < 450);
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        QVERIFY(!window->PageControl1->isEnabled());
        QVERIFY(window->rbImage->isChecked());
        QVERIFY(!window->cbStretchImage->isChecked());
        // The list and the picture start at 141 x 129 and 357 x 357; the
        // window's room beyond that goes to them.
        QVERIFY(window->lbTextures->width() >= 141 && window->lbTextures->height() >= 129);
        QVERIFY(window->ScrollBox1->width() >= 357 && window->ScrollBox1->height() >= 357);
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        // The save buttons are disabled and do nothing without a container.
        QVERIFY(!window->bbSaveTEXFile->isEnabled() && !window->bbSaveTEXFileAs->isEnabled());
        window->bbSaveTEXFileClick();
        window->bbSaveTEXFileAsClick();
        loadContainer();
        QVERIFY(window->bbSaveTEXFile->isEnabled() && window->bbSaveTEXFileAs->isEnabled());
    }

    void loadFillsTheListAndShowsTextureZero()
    {
        loadContainer();
        QCOMPARE(QString::fromStdString(Settings.GamePath), QString::fromStdString((*script)->fileRequests()[0].initialFolder));
        QCOMPARE(QString::fromStdString((*script)->fileRequests()[0].filter), QStringLiteral("TEX-Files|*.TEX"));
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("car.TEX"));
        QVERIFY(window->PageControl1->isEnabled());
        QCOMPARE(window->lbTextures->count(), 3);
        QCOMPARE(window->lbTextures->item(0)->text(), QStringLiteral("Texture 0: (64 x 64)"));
        QCOMPARE(window->lbTextures->item(1)->text(), QStringLiteral("Texture 1: (32 x 32)"));
        QCOMPARE(window->lbTextures->item(2)->text(), QStringLiteral("Texture 2: (16 x 16)"));
        QCOMPARE(window->lbTextures->currentRow(), 0);
        QCOMPARE(window->imgTEX->size(), QSize(64, 64));
        QCOMPARE(shownImage().size(), QSize(64, 64));

        window->lbTextures->setCurrentRow(1);
        QCOMPARE(window->imgTEX->size(), QSize(32, 32));
    }

    void failedLoadLeavesNoContainer()
    {
        loadContainer();
        WriteBytes(*dir / "tex/bad.TEX", std::string(400, 'x'));
        // One box, naming the file and saying why.
        (*script)
            ->expectOpenFile(*dir / "tex/bad.TEX")
            .expectError("EditorTEX Error 001: Couldn't load TEX " + *dir / "tex/bad.TEX" +
                         "\r\nGP4TEX Error 002: Invalid TEX. Magic ID not found");
        QTest::mouseClick(window->bbLoadTEX, Qt::LeftButton);
        QVERIFY(!window->Container());
        QVERIFY(!window->bbSaveTEXFile->isEnabled() && !window->bbSaveTEXFileAs->isEnabled());
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        QVERIFY(!window->PageControl1->isEnabled());
        QCOMPARE(window->lbTextures->count(), 0);
        QVERIFY(window->imgTEX->pixmap().isNull());

        // A cancelled dialog changes nothing.
        loadContainer();
        (*script)->expectOpenFile(std::nullopt);
        QTest::mouseClick(window->bbLoadTEX, Qt::LeftButton);
        QVERIFY(window->Container());
    }

    void emptyContainerShowsAnEmptyList()
    {
        WriteBytes(texPath, demo::BuildTEX({}));
        loadContainer();
        QCOMPARE(window->lbTextures->count(), 0);
        QCOMPARE(window->lbTextures->currentRow(), -1);
        QCOMPARE(window->imgTEX->size(), QSize(0, 0));
    }

    void displaySwitchesBetweenImageAlphaAndCheckerboard()
    {
        loadContainer();
        const QImage colour = shownImage();
        QTest::mouseClick(window->rbAlpha, Qt::LeftButton);
        QVERIFY(window->rbAlpha->isChecked());
        const QImage alpha = shownImage();
        // The transparent corner is black in the alpha view, the rest white.
        QCOMPARE(alpha.pixel(2, 2) & 0xFFFFFF, 0x000000u);
        QCOMPARE(alpha.pixel(40, 40) & 0xFFFFFF, 0xFFFFFFu);
        QVERIFY(colour != alpha);
        // Over the checkerboard the transparent corner shows the board, the
        // opaque rest its colour.
        QTest::mouseClick(window->rbCheckerboard, Qt::LeftButton);
        const QImage board = shownImage();
        QCOMPARE(board.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
        QCOMPARE(board.pixel(10, 2) & 0xFFFFFF, 0xCCCCCCu);
        QCOMPARE(board.pixel(40, 40), colour.pixel(40, 40));
        QTest::mouseClick(window->rbImage, Qt::LeftButton);
        QCOMPARE(shownImage(), colour);

        // Stretching fills the view; unstretched the picture keeps its size.
        QTest::mouseClick(window->cbStretchImage, Qt::LeftButton);
        QVERIFY(window->imgTEX->hasScaledContents());
        QCOMPARE(window->imgTEX->size(), window->ScrollBox1->viewport()->size());
        QTest::mouseClick(window->cbStretchImage, Qt::LeftButton);
        QCOMPARE(window->imgTEX->size(), QSize(64, 64));
    }

    void extractAllWritesTheSeriesAndRefusesAMaskWithoutStar()
    {
        loadContainer();
        const std::string folder = *dir / "tex/";
        (*script)
            ->expectModal("FormSequence",
                          [&](ModalWindow& w) -> int {
                              auto& s = static_cast<TFormSequence&>(DialogOf(w));
                              UI_COMPARE(s.DirectoryEdit1->text(), QString::fromStdString(folder));
                              UI_COMPARE(s.Edit1->text(), QStringLiteral("car*.TGA"));
                              s.Edit1->setText(QStringLiteral("car.TGA"));
                              QTest::mouseClick(s.BitBtn1, Qt::LeftButton);
                              return s.result();
                          })
            .expectMessage("Error: Invalid filemask");
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        QVERIFY(ListFiles(folder, "*.TGA", false, false).empty());

        (*script)->expectModal("FormSequence", [&](ModalWindow& w) -> int {
            auto& s = static_cast<TFormSequence&>(DialogOf(w));
            QTest::mouseClick(s.BitBtn1, Qt::LeftButton);
            return s.result();
        });
        QTest::mouseClick(window->bbExtractAllFiles, Qt::LeftButton);
        for (const char* name : {"car0.TGA", "car1.TGA", "car2.TGA"})
            QVERIFY2(FileExists(folder + name), name);
    }

    void replaceSelectedRebuildsTheListAtTextureZero()
    {
        loadContainer();
        TTEXFile other;
        WriteBytes(*dir / "other.TEX", demo::BuildTEX({{demo::MakeTestPicture(8, 8, 9, false), DXTFormat::DXT1}}));
        QVERIFY(other.LoadFromFile(*dir / "other.TEX"));
        QVERIFY(other.ExportTGA(0, *dir / "new.TGA"));

        window->lbTextures->setCurrentRow(2);
        (*script)->expectSaveFile(*dir / "new");
        QTest::mouseClick(window->BitBtn3, Qt::LeftButton);
        const FileDialogRequest& request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.fileName), QStringLiteral("car3.TGA"));
        QCOMPARE(QString::fromStdString(request.filter), QStringLiteral("TGA Files|*.TGA|PNG Files|*.PNG"));
        QCOMPARE(window->lbTextures->currentRow(), 0);
        QCOMPARE(window->lbTextures->item(2)->text(), QStringLiteral("Texture 2: (8 x 8)"));
        QCOMPARE(window->imgTEX->size(), QSize(64, 64));
        QVERIFY(*window->Container()->GetBitmap(2) == *other.GetBitmap(0));
    }

    void aMissingTGAEndsTheCommandAndTheWindowGoesOn()
    {
        loadContainer();
        window->lbTextures->setCurrentRow(1);
        (*script)->expectSaveFile(*dir / "missing.TGA").expectModal("ErrorMsgForm", ErrorReport("Cannot open file*"));
        QTest::mouseClick(window->BitBtn3, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(window->Container());
        QCOMPARE(window->lbTextures->count(), 3);
        QCOMPARE(window->Container()->GetHeader(1).Width(), 32u);
    }

    void extractSelectedProposesItsName()
    {
        loadContainer();
        window->lbTextures->setCurrentRow(1);
        (*script)->expectSaveFile(*dir / "one");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().fileName), QStringLiteral("car2.TGA"));
        QVERIFY(FileExists(*dir / "one.TGA"));
    }

    void downsampleShowsTheNewSizeWithTheOldLines()
    {
        // Smaller textures that are not halves of texture 0, so that the
        // rebuild shows in their sizes.
        WriteBytes(texPath, demo::BuildTEX({{demo::MakeTestPicture(64, 64, 1, true), DXTFormat::DXT1},
                                            {demo::MakeTestPicture(20, 12, 2, true), DXTFormat::DXT5},
                                            {demo::MakeTestPicture(12, 8, 3, false), DXTFormat::DXT1}}));
        loadContainer();
        window->lbTextures->setCurrentRow(1);
        QCOMPARE(window->imgTEX->size(), QSize(20, 12));
        const char* const warning =
            "Warning: This will replace textures 2 - 3 with a smaller version of texure 1. Continue?";

        (*script)->expectQuestion(warning, false, QuestionKind::Warning);
        QTest::mouseClick(window->BitBtn1, Qt::LeftButton);
        QCOMPARE(window->imgTEX->size(), QSize(20, 12));
        QCOMPARE(window->Container()->GetHeader(1).Width(), 20u);

        (*script)->expectQuestion(warning, true, QuestionKind::Warning);
        QTest::mouseClick(window->BitBtn1, Qt::LeftButton);
        // The list keeps its lines; the picture shown is the rebuilt one.
        QCOMPARE(window->lbTextures->currentRow(), 1);
        QCOMPARE(window->lbTextures->item(1)->text(), QStringLiteral("Texture 1: (20 x 12)"));
        QCOMPARE(window->lbTextures->item(2)->text(), QStringLiteral("Texture 2: (12 x 8)"));
        QCOMPARE(window->imgTEX->size(), QSize(32, 32));
        QCOMPARE(shownImage(), ToOpaqueImage(*window->Container()->GetBitmap(1)));
        QCOMPARE(window->Container()->GetHeader(2).Width(), 16u);
        QCOMPARE(window->Container()->GetHeader(2).Height(), 16u);
    }

    void saveAsksFirstAndSaveAsAppendsTheExtension()
    {
        loadContainer();
        const std::string before = ReadBytes(texPath);
        (*script)->expectQuestion("Replace " + texPath + "?", false, QuestionKind::Confirmation);
        QTest::mouseClick(window->bbSaveTEXFile, Qt::LeftButton);
        (*script)->expectQuestion("Replace " + texPath + "?", true, QuestionKind::Confirmation);
        QTest::mouseClick(window->bbSaveTEXFile, Qt::LeftButton);
        // Nothing changed, so the container is written as it was read.
        QVERIFY(ReadBytes(texPath) == before);

        (*script)->expectSaveFile(*dir / "copy");
        QTest::mouseClick(window->bbSaveTEXFileAs, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "copy.TEX") == before);
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("car.TEX"));
        QCOMPARE(QString::fromStdString(window->Container()->FileName), QString::fromStdString(texPath));
    }
};

PADDOCK_TEST_MAIN(TEXWorkshopTest)
#include "TEXWorkshopTest.moc"
