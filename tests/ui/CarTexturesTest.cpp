// The Car textures window on a demo game with its cars.wad, with scripted
// dialogs; the round trip of a livery through a TGA file that an independent
// program edits, and into the game's archive.
#include "UiSupport.h"

#include "GameBytes.h"

#include "../interop/InteropSupport.h"

#include "app/Items.h"
#include "app/Main.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Teams.h"
#include "ui/EditorCarTextures.h"
#include "ui/EditorControls.h"
#include "ui/EditorTEX.h"
#include "ui/PictureImage.h"

#include "DemoCars.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

using namespace paddock;
using namespace paddock::testing;

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;


// Texture `index` of a container held in bytes, decoded.
TPicture decodedTexture(const std::string& tex, int index)
{
    TTEXFile file;
    if (!file.LoadFromBuffer(tex.data(), tex.size()) || !file.GetBitmap(index))
        return {};
    return *file.GetBitmap(index);
}

// The largest difference of a channel between a picture (blue, green, red,
// alpha) and red, green, blue, alpha bytes of the same size, over a rectangle.
int largestDifference(const TPicture& picture, const std::string& rgba, int width, QRect area)
{
    int largest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const std::uint8_t* p = picture.Pixel(x, y);
            const auto* q = reinterpret_cast<const std::uint8_t*>(rgba.data()) + (std::size_t(y) * width + x) * 4;
            largest = std::max({largest, std::abs(p[2] - q[0]), std::abs(p[1] - q[1]), std::abs(p[0] - q[2]),
                                std::abs(p[3] - q[3])});
        }
    return largest;
}

// Every pixel of the picture lies within tolerance of the colour (r, g, b, a)
// over the rectangle.
bool allNear(const TPicture& picture, QRect area, int r, int g, int b, int a, int tolerance)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const std::uint8_t* p = picture.Pixel(x, y);
            if (std::abs(p[2] - r) > tolerance || std::abs(p[1] - g) > tolerance || std::abs(p[0] - b) > tolerance ||
                std::abs(p[3] - a) > tolerance)
                return false;
        }
    return true;
}

bool transparent(const TPicture& picture, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (picture.Pixel(x, y)[3] != 0)
                return false;
    return true;
}

} // namespace

class CarTexturesTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmCarTextures* window = nullptr;
    std::string game;
    std::string cars; // the demo cars.wad

    void openWindow()
    {
        program.form = std::make_unique<TMainForm>(dir->path());
        program.form->show();
        // The first activation opens the program's first editor; ours replaces it.
        program.form->FormActivate();
        program.form->OpenEditor<TFrmCarTextures>();
        window = qobject_cast<TFrmCarTextures*>(program.form->CurrentEditor());
    }

    void load(int row)
    {
        window->lbTeams->setCurrentRow(row);
        QTest::mouseClick(window->sbImport1, Qt::LeftButton);
    }

    QImage shown() const { return window->imgTexture->pixmap().toImage(); }

    std::vector<int> loadedTeams() const
    {
        std::vector<int> teams;
        for (int t = 0; t < TeamCount; ++t)
            if (LoadedItems[static_cast<std::size_t>(ItemCarTexturesFirst + t)])
                teams.push_back(t);
        return teams;
    }

    std::string backupMessage() const
    {
        return "A backup of " + game + "cars.wad\r\nwill be created: " + game + "cars.wad.BAK";
    }

private slots:
    void initTestCase() { cars = demo::BuildWAD(demo::MakeDemoCarMembers()); }

    void init()
    {
        program.prepare();
        game = *dir / "game/";
        WriteBytes(game + "cars.wad", cars);
    }

    void cleanup()
    {
        window = nullptr;
        program.finish();
    }

    void beforeAnyImportNothingIsUsable()
    {
        openWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Car textures"));
        QCOMPARE(window->size(), QSize(700, 400));
        QCOMPARE(window->ScrollBox1->size(), QSize(380, 380));
        QCOMPARE(window->GroupBox1->width(), 141);
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());

        // The start values of the team records, each row unusable.
        QCOMPARE(window->lbTeams->count(), 11);
        QCOMPARE(window->lbTeams->item(10)->text(), QStringLiteral("Team 11"));
        QCOMPARE(window->lbTeams->currentRow(), 0);
        for (int row = 0; row < 11; ++row) {
            window->lbTeams->setCurrentRow(row);
            QVERIFY(!window->GroupBox2->isEnabled());
            QVERIFY(window->imgTexture->isHidden());
            QVERIFY(window->imgTexture->pixmap().isNull());
        }
        // Called all the same, the TGA handlers ask nothing.
        window->bbSaveAsTGAClick();
        window->bbLoadFromTGAClick();

        // The hidden buttons' Tags start no command.
        for (QToolButton* b : {window->sbStandard1, window->sbLoadSet1, window->sbSaveSet1}) {
            QVERIFY(b->isHidden());
            window->sbImport1Click(b);
        }
        QVERIFY((*script)->progress().empty());
    }

    void loadingOneTeamSelectedOrAll()
    {
        openWindow();
        load(3);
        QCOMPARE(loadedTeams(), std::vector<int>{3});
        QVERIFY(CarTextureTable[3][2] && !CarTextureTable[2][0]);
        QVERIFY(window->GroupBox2->isEnabled());
        QVERIFY(window->imgTexture->isVisible());
        QCOMPARE(shown(), ToOpaqueImage(*CarTextureTable[3][0]->GetBitmap(0)));
        for (int row : {2, 4}) {
            window->lbTeams->setCurrentRow(row);
            QVERIFY(!window->GroupBox2->isEnabled());
            QVERIFY(window->imgTexture->isHidden());
        }

        // The arrow buttons open the menu with their command.
        window->lbTeams->setCurrentRow(5);
        QTest::mouseClick(window->sbExport2, Qt::LeftButton);
        QVERIFY(window->PopupMenu1->isVisible());
        QCOMPARE(TagOf(window->PopupMenu1), int(CommandExport));
        window->PopupMenu1->hide();
        QTest::mouseClick(window->sbImport2, Qt::LeftButton);
        QCOMPARE(TagOf(window->PopupMenu1), int(CommandImport));
        window->Selected1->trigger();
        QCOMPARE(loadedTeams(), (std::vector<int>{3, 5}));
        QVERIFY(window->GroupBox2->isEnabled());

        QTest::mouseClick(window->sbImport2, Qt::LeftButton);
        window->AllTeams1->trigger();
        QCOMPARE(loadedTeams().size(), std::size_t(11));
        QCOMPARE(window->lbTeams->currentRow(), 5);
        window->lbTeams->setCurrentRow(10);
        QVERIFY(window->GroupBox2->isEnabled());

        // Another editor in between: the reopened window shows the textures again.
        program.form->OpenEditor<TFrmTEXWorkshop>();
        program.form->OpenEditor<TFrmCarTextures>();
        window = qobject_cast<TFrmCarTextures*>(program.form->CurrentEditor());
        QVERIFY(window && window->GroupBox2->isEnabled());
        QCOMPARE(shown(), ToOpaqueImage(*CarTextureTable[0][0]->GetBitmap(0)));
    }

    void displayTypesAndStretch()
    {
        openWindow();
        load(0);
        const TPicture& livery = *CarTextureTable[0][0]->GetBitmap(0);

        // Unstretched to start with: the whole picture, with scroll bars.
        QCOMPARE(window->imgTexture->size(), QSize(512, 512));
        QTest::mouseClick(window->cbStretchImage, Qt::LeftButton);
        QCOMPARE(window->imgTexture->size(), window->ScrollBox1->viewport()->size());
        QCOMPARE(window->ScrollBox1->horizontalScrollBar()->maximum(), 0);
        QTest::mouseClick(window->cbStretchImage, Qt::LeftButton);
        QCOMPARE(window->imgTexture->size(), QSize(512, 512));
        QCoreApplication::processEvents();
        QVERIFY(window->ScrollBox1->horizontalScrollBar()->isVisible());
        QVERIFY(window->ScrollBox1->verticalScrollBar()->isVisible());
        QCOMPARE(window->ScrollBox1->verticalScrollBar()->maximum(),
                 512 - window->ScrollBox1->viewport()->height());

        // The alpha view: each pixel's alpha as a grey level.
        window->rbDisplay[1]->click();
        QImage alpha = shown();
        QCOMPARE(alpha.size(), QSize(512, 512));
        std::set<int> levels;
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                const int a = livery.Pixel(x, y)[3];
                levels.insert(a);
                if (alpha.pixel(x, y) != qRgb(a, a, a))
                    QFAIL(qPrintable(QStringLiteral("alpha view wrong at %1, %2").arg(x).arg(y)));
            }
        QVERIFY(levels.count(0) && levels.count(255));

        // Over the checkerboard an opaque pixel shows its colour, a
        // transparent one the board's light grey or white.
        window->rbDisplay[2]->click();
        const QImage board = shown();
        const QImage colour = ToOpaqueImage(livery);
        std::set<QRgb> behind;
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                const int a = livery.Pixel(x, y)[3];
                if (a == 255)
                    QCOMPARE(board.pixel(x, y), colour.pixel(x, y));
                else if (a == 0)
                    behind.insert(board.pixel(x, y));
            }
        QCOMPARE(behind, (std::set<QRgb>{qRgb(0xCC, 0xCC, 0xCC), qRgb(0xFF, 0xFF, 0xFF)}));

        // The numbers, still over the board, still unstretched.
        window->rbTexture[2]->click();
        QCOMPARE(window->TextureIndex(), 2);
        QCOMPARE(window->imgTexture->size(), QSize(512, 512));
        QVERIFY(shown() != board);
        window->rbDisplay[0]->click();
        QCOMPARE(shown(), ToOpaqueImage(*CarTextureTable[0][2]->GetBitmap(0)));
    }

    void proposedNamesAndRememberedFolders()
    {
        openWindow();
        // Names as the game's files hold them, one of them in its code page.
        SetFieldText(Teams[5].TeamName, "Jordan");
        SetFieldText(Teams[2].TeamName, "Citro\xEBn");
        load(5);
        QCOMPARE(window->lbTeams->item(5)->text(), QStringLiteral("Jordan"));
        QCOMPARE(window->lbTeams->item(2)->text(), QString::fromUtf8("Citro\u00EBn"));

        window->rbTexture[2]->click();
        ForceDirectories(*dir / "tga");
        (*script)->expectSaveFile(*dir / "tga/numbers");
        QTest::mouseClick(window->bbSaveAsTGA, Qt::LeftButton);
        FileDialogRequest request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.fileName), QStringLiteral("Jordan - 3.TGA"));
        QCOMPARE(QString::fromStdString(request.filter), QStringLiteral("TGA Files|*.TGA|PNG Files|*.PNG"));
        QCOMPARE(QString::fromStdString(request.initialFolder), QString::fromStdString(game));
        // The extension is added to a name typed without it.
        QVERIFY(FileExists(*dir / "tga/numbers.TGA"));

        // The save dialog remembers its folder; the load dialog its own.
        (*script)->expectSaveFile(std::nullopt).expectOpenFile(std::nullopt);
        QTest::mouseClick(window->bbSaveAsTGA, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().initialFolder),
                 QString::fromStdString(*dir / "tga/"));
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.initialFolder), QString::fromStdString(game));
        QCOMPARE(QString::fromStdString(request.fileName), QStringLiteral("Jordan - 3.TGA"));
        QCOMPARE(QString::fromStdString(ProfileReadString(SettingsFile(), "Pathes", "CarTextures.SaveTGA", "")),
                 QString::fromStdString(*dir / "tga/"));

        load(2);
        window->rbTexture[0]->click();
        (*script)->expectOpenFile(std::nullopt);
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().fileName),
                 QString::fromUtf8("Citro\u00EBn - 1.TGA"));
        // With the PNG filter chosen, a PNG file, which loads back as the
        // same picture.
        const TPicture numbers = *CarTextureTable[2][0]->GetBitmap(0);
        (*script)->expectSaveFile(*dir / "tga/livery", 2);
        QTest::mouseClick(window->bbSaveAsTGA, Qt::LeftButton);
        QVERIFY(ReadBytes(*dir / "tga/livery.PNG").rfind("\x89PNG\r\n\x1A\n", 0) == 0);
        (*script)->expectOpenFile(*dir / "tga/livery.PNG");
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().filter),
                 QStringLiteral("Pictures|*.TGA;*.PNG|TGA Files|*.TGA|PNG Files|*.PNG"));
        QVERIFY(*CarTextureTable[2][0]->GetBitmap(0) == numbers);
    }

    void aRefusedTGALeavesTheContainerAsItWas()
    {
        openWindow();
        load(1);
        const TPicture before = *CarTextureTable[1][0]->GetBitmap(0);
        const TPicture smaller = *CarTextureTable[1][0]->GetBitmap(1);
        // 8 x 8 pixels of 24 bits.
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = 8;
        tga[14] = 8;
        tga[16] = 24;
        tga += std::string(8 * 8 * 3, '\x40');
        WriteBytes(*dir / "rgb.TGA", tga);
        (*script)
            ->expectOpenFile(*dir / "rgb.TGA")
            .expectError("GP4TEX Error 014: Invalid TGA. Needs to be 32 Bit (24 Bit Colors + Alpha Channel)");
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        QVERIFY(*CarTextureTable[1][0]->GetBitmap(0) == before);
        // Its smaller textures are not rebuilt from the old texture 0 either.
        QVERIFY(*CarTextureTable[1][0]->GetBitmap(1) == smaller);
        QCOMPARE(CarTextureTable[1][0]->GetHeader(0).Width(), 512u);
        QCOMPARE(window->imgTexture->size(), QSize(512, 512));
        QCOMPARE(shown(), ToOpaqueImage(before));
    }

    void aTeamWithAMissingContainer()
    {
        Members members = demo::MakeDemoCarMembers();
        std::erase_if(members, [](const auto& m) { return m.first == "cars\\hi_jordan_2.TEX"; });
        WriteBytes(game + "cars.wad", demo::BuildWAD(members));
        openWindow();
        (*script)->expectError("Error loading car texture cars\\hi_jordan_2.TEX");
        load(5);
        QVERIFY(window->GroupBox2->isEnabled());
        window->rbTexture[1]->click();
        QVERIFY(window->imgTexture->pixmap().isNull());
        QCOMPARE(window->imgTexture->size(), QSize(0, 0));
        QCOMPARE(window->ScrollBox1->horizontalScrollBar()->maximum(), 0);
        // Nothing to save or replace: no dialog.
        QTest::mouseClick(window->bbSaveAsTGA, Qt::LeftButton);
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        window->rbTexture[0]->click();
        QCOMPARE(window->imgTexture->size(), QSize(512, 512));
    }

    // A low-resolution member the game's archive lacks: the save says what
    // went into cars.wad and what did not.
    void aSaveSaysWhatWentIntoTheGame()
    {
        openWindow();
        load(3);
        Members members = demo::MakeDemoCarMembers();
        std::erase_if(members, [](const auto& m) { return m.first == "cars\\benetton_2.TEX"; });
        const std::string without = demo::BuildWAD(members);
        WriteBytes(game + "cars.wad", without);
        (*script)
            ->expectError("Error saving car texture cars\\benetton_2.TEX: it is missing from the game's cars.wad")
            .expectMessage(backupMessage())
            .expectMessage("Written into " + game +
                           "cars.wad:\r\nTeam 4: Liveries 1, Liveries 2 (high resolution only), Numbers\r\n\r\n"
                           "Not written (cars.wad keeps what it had):\r\ncars\\benetton_2.TEX");
        QTest::mouseClick(window->sbExport1, Qt::LeftButton);
        QVERIFY(ReadBytes(game + "cars.wad.BAK") == without);
        QCOMPARE(ArchiveMembers(ReadBytes(game + "cars.wad")).size(), members.size());

        // A team that was not loaded is not saved: the player is told to
        // load it first, and cars.wad is left alone.
        window->lbTeams->setCurrentRow(4);
        (*script)->expectMessage("Nothing to save: load the car textures of team 5 from the game first.");
        QTest::mouseClick(window->sbExport1, Qt::LeftButton);
        QCOMPARE(ArchiveMembers(ReadBytes(game + "cars.wad")).size(), members.size());
    }

    // Team 1's first livery out to a TGA file, edited by Pillow, back in and
    // saved into the game.
    void anEditedLiveryReachesTheGame()
    {
        if (!havePillow())
            QSKIP("Pillow (python3-pil) is not installed");
        openWindow();
        load(1);
        ForceDirectories(*dir / "work");
        const std::string exported = *dir / "work/livery.TGA";
        (*script)->expectSaveFile(exported);
        QTest::mouseClick(window->bbSaveAsTGA, Qt::LeftButton);

        // Pillow reads our file, paints an opaque blue band and a transparent
        // one across the top, and writes the result bottom row first, run-length
        // encoded; it also dumps both pictures as RGBA bytes.
        const std::string edited = *dir / "work/edited.TGA";
        const char* const edit = "import sys\n"
                                 "from PIL import Image, ImageDraw\n"
                                 "im = Image.open(sys.argv[1])\n"
                                 "assert im.mode == 'RGBA' and im.size == (512, 512)\n"
                                 "open(sys.argv[3], 'wb').write(im.tobytes())\n"
                                 "d = ImageDraw.Draw(im)\n"
                                 "d.rectangle((0, 0, 255, 127), fill=(0, 0, 255, 255))\n"
                                 "d.rectangle((256, 0, 511, 127), fill=(255, 255, 0, 0))\n"
                                 "im.save(sys.argv[2], rle=True, orientation=-1)\n"
                                 "open(sys.argv[4], 'wb').write(im.tobytes())\n";
        QVERIFY(run(std::string(Python) + " -c " + quoted(edit) + " " + quoted(exported) + " " + quoted(edited) + " " +
                    quoted(*dir / "work/exported.rgba") + " " + quoted(*dir / "work/edited.rgba")));
        const std::string exportedPixels = ReadBytes(*dir / "work/exported.rgba");
        const std::string editedPixels = ReadBytes(*dir / "work/edited.rgba");
        const QRect whole(0, 0, 512, 512);
        QCOMPARE(largestDifference(*CarTextureTable[1][0]->GetBitmap(0), exportedPixels, 512, whole), 0);

        (*script)->expectOpenFile(edited);
        QTest::mouseClick(window->bbLoadFromTGA, Qt::LeftButton);
        QCOMPARE(largestDifference(*CarTextureTable[1][0]->GetBitmap(0), editedPixels, 512, whole), 0);
        QCOMPARE(shown(), ToOpaqueImage(*CarTextureTable[1][0]->GetBitmap(0)));

        (*script)
            ->expectMessage(backupMessage())
            .expectMessage("Written into " + game + "cars.wad:\r\nTeam 2: Liveries 1, Liveries 2, Numbers");
        QTest::mouseClick(window->sbExport1, Qt::LeftButton);

        QVERIFY(ReadBytes(game + "cars.wad.BAK") == cars);
        const Members before = ArchiveMembers(cars);
        const Members after = ArchiveMembers(ReadBytes(game + "cars.wad"));
        QCOMPARE(after.size(), before.size());
        // Only team 1's containers may differ; every other member keeps its bytes.
        const std::set<std::string> team1{"cars\\hi_mclaren_1.TEX", "cars\\hi_mclaren_2.TEX", "cars\\hi_mclaren_3.TEX",
                                          "cars\\mclaren_1.TEX",    "cars\\mclaren_2.TEX",    "cars\\mclaren_3.TEX"};
        for (std::size_t i = 0; i < before.size(); ++i) {
            QCOMPARE(QString::fromStdString(after[i].first), QString::fromStdString(before[i].first));
            if (!team1.count(before[i].first))
                QVERIFY2(after[i].second == before[i].second, before[i].first.c_str());
        }
        // The liveries not edited keep their bytes too.
        QVERIFY(MemberBytes(after, "cars\\hi_mclaren_2.TEX") == MemberBytes(before, "cars\\hi_mclaren_2.TEX"));
        QVERIFY(MemberBytes(after, "cars\\hi_mclaren_3.TEX") == MemberBytes(before, "cars\\hi_mclaren_3.TEX"));

        // The new high-resolution container holds the edited picture, its
        // bands exactly and the rest within what the encoding loses.
        const std::string high = MemberBytes(after, "cars\\hi_mclaren_1.TEX");
        const TPicture top = decodedTexture(high, 0);
        QCOMPARE(QSize(top.Width, top.Height), QSize(512, 512));
        QVERIFY(allNear(top, QRect(0, 0, 256, 128), 0, 0, 255, 255, 0));
        QVERIFY(transparent(top, QRect(256, 0, 256, 128)));
        QVERIFY(largestDifference(top, editedPixels, 512, QRect(0, 128, 512, 384)) <= 8);
        // Its smaller copies are made from the edited picture.
        QVERIFY(allNear(decodedTexture(high, 1), QRect(0, 0, 128, 64), 0, 0, 255, 255, 0));

        // The low-resolution container is made from the high-resolution one.
        const std::string low = MemberBytes(after, "cars\\mclaren_1.TEX");
        QVERIFY(low != MemberBytes(before, "cars\\mclaren_1.TEX"));
        const TPicture small = decodedTexture(low, 0);
        QCOMPARE(QSize(small.Width, small.Height), QSize(256, 256));
        QVERIFY(allNear(small, QRect(0, 0, 128, 64), 0, 0, 255, 255, 0));
        QVERIFY(transparent(small, QRect(128, 0, 128, 64)));
    }
};

PADDOCK_TEST_MAIN(CarTexturesTest)
#include "CarTexturesTest.moc"
