// The GP4 Workshop window with scripted dialogs, on the demo game's meshes.
#include "UiSupport.h"

#include "app/Main.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"
#include "ui/EditorGP4.h"

#include "DemoMeshes.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>

#include <memory>

using namespace paddock;
using namespace paddock::testing;

namespace {

QStringList linesOf(const QPlainTextEdit* memo)
{
    return memo->toPlainText().split(QLatin1Char('\n'));
}

// The rectangle of the picture's pixels that are not white; null when all are.
QRect drawnArea(const QImage& picture)
{
    QRect area;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != qRgb(255, 255, 255))
                area |= QRect(x, y, 1, 1);
    return area;
}

} // namespace

class GP4WorkshopTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<TempDir>& dir = program.dir;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmGP4Workshop* window = nullptr;
    std::string car, trackSide;

    void load(const std::string& path)
    {
        (*script)->expectOpenFile(path);
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
    }

    void tick(int line, bool ticked = true)
    {
        window->CheckListBox1->item(line)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }

private slots:
    void init()
    {
        program.prepare();
        WriteSettingsFile(*dir, *dir / "game/", "DEVELOPER");
        demo::WriteDemoMeshes(*dir / "game");
        car = *dir / "game/meshes/DEMOCAR.GP4";
        trackSide = *dir / "game/meshes/TRACKSIDE.GP4";
        window = qobject_cast<TFrmGP4Workshop*>(program.startWith("GP4Workshop1"));
        QVERIFY(window);
    }

    void cleanup() { program.finish(); }

    void startsEmptyAndRefusesItsCloseBox()
    {
        QVERIFY(program.form->Developer1->menuAction()->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("GP4 Workshop"));
        QCOMPARE(window->objectName(), QStringLiteral("FrmGP4Workshop"));
        QCOMPARE(window->size(), QSize(869, 741));
        QCOMPARE(window->PageControl1->count(), 2);
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        QCOMPARE(window->GroupBox1->title(), QStringLiteral("GP4"));
        QCOMPARE(window->bbLoadWAD->text(), QStringLiteral("Load GP4-File"));
        QCOMPARE(window->BitBtn2->text(), QStringLiteral("Save as 3DS"));
        QCOMPARE(window->GroupBox2->title(), QStringLiteral("Header"));
        // The captions of LabeledEdit1 ... LabeledEdit17.
        const QStringList captions{"ID",           "M_Type",       "Filename",  "Unknown1",  "Unknown2", "Unknown3",
                                   "Unknown4",     "NumShapes",    "Unknown5",  "Num Vertices", "Num Polygons",
                                   "Num Unk16",    "Num Unk21",    "Unknown1",  "Unknown2",  "Unknown3", "Unknown4"};
        for (int i = 1; i <= 17; ++i) {
            QCOMPARE(window->LabeledEdit[std::size_t(i)]->objectName(), QStringLiteral("LabeledEdit%1").arg(i));
            auto* label = window->findChild<QLabel*>(QStringLiteral("LabeledEdit%1Label").arg(i));
            QVERIFY(label);
            QCOMPARE(label->text(), captions[i - 1]);
        }
        // No chunk log before a load.
        QCOMPARE(window->Memo6->toPlainText(), QString());
        // A screen with room for the window gives the picture its design size.
        window->PageControl1->setCurrentWidget(window->TabSheet2);
        QCoreApplication::processEvents();
        QVERIFY2(window->Image1->width() >= 481 && window->Image1->height() >= 545, qPrintable(QStringLiteral("%1 x %2 in %3 x %4").arg(window->Image1->width()).arg(window->Image1->height()).arg(window->width()).arg(window->height())));

        // The sliders' ranges and start values, and the check boxes.
        struct Slider {
            QAbstractSlider* control;
            int minimum, maximum, start;
        };
        for (const Slider& s : {Slider{window->TrackBar4, 1, 300, 5}, Slider{window->TrackBar1, 1, 500, 25},
                                Slider{window->TrackBar5, 1, 600, 25}, Slider{window->TrackBar2, 1, 600, 25},
                                Slider{window->TrackBar3, 1, 600, 25}, Slider{window->ScrollBar1, -1000, 1000, 0},
                                Slider{window->ScrollBar2, -1000, 1000, 0}}) {
            QCOMPARE(s.control->minimum(), s.minimum);
            QCOMPARE(s.control->maximum(), s.maximum);
            QCOMPARE(s.control->value(), s.start);
        }
        QCOMPARE(window->ScrollBar1->orientation(), Qt::Horizontal);
        QCOMPARE(window->ScrollBar2->orientation(), Qt::Vertical);
        QCOMPARE(window->CheckBox1->text(), QStringLiteral("Display PointNumbers"));
        QVERIFY(!window->CheckBox1->isChecked());
        QCOMPARE(window->CheckBox2->text(), QStringLiteral("Display Points"));
        QVERIFY(window->CheckBox2->isChecked());
        QCOMPARE(window->BitBtn1->text(), QStringLiteral("Redraw"));

        QVERIFY(!window->close());
        QVERIFY(window->isVisible());

        // Nothing to export or show before a mesh is loaded.
        (*script)->expectError("EditorGP4 Error 001: No GP4 file loaded. Load one before saving it as 3DS");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        QTest::mouseClick(window->BitBtn1, Qt::LeftButton);
        QVERIFY(drawnArea(window->Image1->Picture).isNull());
        QCOMPARE(window->Image1->Picture.size(), window->Image1->size());
    }

    void loadFillsTheFieldsListsAndChunkLog()
    {
        load(car);
        const FileDialogRequest& request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.filter), QStringLiteral("GP4-Files|*.GP4"));
        QVERIFY(window->Mesh());
        // The page names the file.
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("DEMOCAR.GP4"));
        const QStringList fields{"GP4MESHBIN", "M_07", "democar.gp4", "3", "7", "0", "4294967295", "7", "65536",
                                 "93", "154", "8", "7", "17", "3", "0", "2"};
        for (int i = 1; i <= 17; ++i)
            QCOMPARE(window->LabeledEdit[std::size_t(i)]->text(), fields[i - 1]);

        QCOMPARE(window->ListBox1->count(), 7);
        QCOMPARE(window->ListBox1->item(0)->text(), QStringLiteral("0 body"));
        QCOMPARE(window->ListBox1->item(6)->text(), QStringLiteral("6 wing_rear"));
        QCOMPARE(window->ListBox2->count(), 3);
        QCOMPARE(window->ListBox2->item(2)->text(), QStringLiteral("2 tyre_rubber"));
        QCOMPARE(linesOf(window->Memo2),
                 (QStringList{"democar_body.tex", "democar_wing.tex", "democar_tyre.tex"}));
        const QStringList log = linesOf(window->Memo6);
        QCOMPARE(log.size(), 5);
        QVERIFY(log[0].startsWith(QLatin1String("00000028@ ")));
        QVERIFY(log[4].startsWith(QLatin1String("00000029@ ")));
        QCOMPARE(log[4], QString::fromStdString(GP4ChunkText(0x29, GetFileSize(car))));

        // One check-list line per shape; the rear wing's two runs do not match
        // its index.
        QCOMPARE(window->CheckListBox1->count(), 7);
        QCOMPARE(window->CheckListBox1->item(0)->text(), QStringLiteral("body 0"));
        QCOMPARE(window->CheckListBox1->item(5)->text(), QStringLiteral("airbox 0"));
        QCOMPARE(window->CheckListBox1->item(6)->text(), QStringLiteral("wing_rear (runs 6, 7)"));
        QCOMPARE(window->CheckListBox1->item(3)->checkState(), Qt::Unchecked);

        // A shape: 46 words, integers signed, floats with three decimals.
        window->ListBox1->setCurrentRow(6);
        const QStringList words = linesOf(window->Memo1);
        QCOMPARE(words.size(), 46);
        QCOMPARE(words[0], QStringLiteral("6"));
        QCOMPARE(words[1], QStringLiteral("24"));
        QCOMPARE(words[7], QStringLiteral("4.250"));
        QCOMPARE(words[9], QStringLiteral("4.750"));
        QCOMPARE(words[15], QStringLiteral("6.250"));
        QVERIFY(words[45] != QLatin1String("0"));
        QCOMPARE(window->ListBox3->count(), 2);
        QCOMPARE(window->ListBox3->item(1)->text(), QStringLiteral("7"));
        QCOMPARE(linesOf(window->Memo5), (QStringList{"506", "2", "6", "7"}));
        window->ListBox3->setCurrentRow(1);
        // Run 7: the pylon's 12 triangles after the 142 of the first runs.
        QCOMPARE(linesOf(window->Memo4), (QStringList{"142", "12", "72", "73", "74", "75", "76"}));

        // A material: 36 lines, the int32 words unsigned.
        window->ListBox2->setCurrentRow(1);
        const QStringList material = linesOf(window->Memo3);
        QCOMPARE(material.size(), 36);
        QCOMPARE(material[0], QStringLiteral("1"));
        QCOMPARE(material[1], QStringLiteral("0.000"));
        QCOMPARE(material[4], QStringLiteral("4294967295"));
        QCOMPARE(material[7], QStringLiteral("0.750"));
        QCOMPARE(material[20], QStringLiteral("1"));
        QCOMPARE(material[21], QStringLiteral("4294967289"));

        // The "M_05" mesh replaces it; its shapes lack word 45.
        load(trackSide);
        QCOMPARE(window->LabeledEdit[2]->text(), QStringLiteral("M_05"));
        QCOMPARE(window->LabeledEdit[5]->text(), QStringLiteral("0"));
        QCOMPARE(window->ListBox1->count(), 4);
        QVERIFY(window->Memo1->toPlainText().isEmpty());
        QCOMPARE(window->CheckListBox1->item(3)->text(), QStringLiteral("tyre_stack 0"));
        window->ListBox1->setCurrentRow(3);
        QCOMPARE(linesOf(window->Memo1).size(), 46);
        QCOMPARE(linesOf(window->Memo1)[45], QStringLiteral("0"));
        QCOMPARE(linesOf(window->Memo4), QStringList{""});
        window->ListBox3->setCurrentRow(0);
        QCOMPARE(linesOf(window->Memo4), (QStringList{"36", "36", "32", "33", "34", "0", "0"}));

        // A cancelled dialog changes nothing.
        (*script)->expectOpenFile(std::nullopt);
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCOMPARE(window->ListBox1->count(), 4);
    }

    void previewDrawsTheTickedShapesAndFollowsTheSliders()
    {
        load(car);
        window->PageControl1->setCurrentWidget(window->TabSheet2);
        QCoreApplication::processEvents();
        const QSize size = window->Image1->size();
        QCOMPARE(window->Image1->Picture.size(), size);
        QVERIFY(drawnArea(window->Image1->Picture).isNull());

        // The body, centred in the picture at the start values.
        tick(0);
        QCOMPARE(window->SelectedShapes(), std::vector<int>{0});
        const QRect body = drawnArea(window->Image1->Picture);
        QVERIFY(!body.isNull());
        QVERIFY2(std::abs(body.center().x() - size.width() / 2) <= 3 && std::abs(body.center().y() - size.height() / 2) <= 3,
                 qPrintable(QStringLiteral("%1,%2 in %3x%4").arg(body.center().x()).arg(body.center().y())
                                .arg(size.width()).arg(size.height())));
        // Black outlines and red corners.
        bool red = false, black = false;
        for (int y = body.top(); y <= body.bottom(); ++y)
            for (int x = body.left(); x <= body.right(); ++x) {
                red = red || window->Image1->Picture.pixel(x, y) == qRgb(255, 0, 0);
                black = black || window->Image1->Picture.pixel(x, y) == qRgb(0, 0, 0);
            }
        QVERIFY(red && black);

        // Without the corners' marks the outlines alone remain, inside.
        window->CheckBox2->click();
        const QRect outline = drawnArea(window->Image1->Picture);
        QVERIFY(body.contains(outline) && outline != body);
        window->CheckBox2->click();
        // The vertex numbers go beside the corners.
        window->CheckBox1->click();
        const QRect numbered = drawnArea(window->Image1->Picture);
        QVERIFY(numbered.contains(body) && numbered != body);
        window->CheckBox1->click();
        QCOMPARE(drawnArea(window->Image1->Picture), body);

        // Ten steps of the scroll bar at zoom 5 move the picture 50 pixels.
        window->ScrollBar1->setValue(10);
        QCOMPARE(drawnArea(window->Image1->Picture), body.translated(50, 0));
        window->ScrollBar2->setValue(-4);
        QCOMPARE(drawnArea(window->Image1->Picture), body.translated(50, -20));
        window->ScrollBar1->setValue(0);
        window->ScrollBar2->setValue(0);
        QCOMPARE(drawnArea(window->Image1->Picture), body);

        // Zoom 1 enlarges; the angles turn the body.
        window->TrackBar4->setValue(7);
        const QRect zoomed = drawnArea(window->Image1->Picture);
        QVERIFY(zoomed.width() > body.width() && zoomed.height() > body.height());
        window->TrackBar4->setValue(5);
        window->TrackBar3->setValue(182);
        QVERIFY(drawnArea(window->Image1->Picture) != body);
        window->TrackBar3->setValue(25);
        QCOMPARE(drawnArea(window->Image1->Picture), body);

        // The rear wing of two runs is drawn whole, and both shapes stay in
        // the picture, centred together.
        tick(6);
        QCOMPARE(window->SelectedShapes(), (std::vector<int>{0, 6}));
        const QRect both = drawnArea(window->Image1->Picture);
        QVERIFY(both.width() >= body.width() && both.height() >= body.height());
        QVERIFY(window->PreviewNote().empty());

        // Unticked, a white picture again.
        tick(0, false);
        tick(6, false);
        QVERIFY(drawnArea(window->Image1->Picture).isNull());
    }

    void saveAs3DSWritesTheMeshAndAFailedLoadLeavesNone()
    {
        load(car);
        (*script)->expectSaveFile(*dir / "car.3DS");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        const FileDialogRequest& request = (*script)->fileRequests().back();
        QCOMPARE(QString::fromStdString(request.filter), QStringLiteral("3DS-Files|*.3DS"));
        QCOMPARE(QString::fromStdString(request.fileName), QStringLiteral("DEMOCAR.3DS"));
        const std::string bytes = ReadBytes(*dir / "car.3DS");
        QCOMPARE(bytes.size() > 6 ? bytes.substr(0, 2) : std::string(), std::string("\x4D\x4D", 2));
        // Each dialog remembers its own folder.
        QCOMPARE(QString::fromStdString(ProfileReadString(SettingsFile(), "Pathes", "EditorGP4.LoadGP4", "")),
                 QString::fromStdString(ExtractFilePath(car)));
        QCOMPARE(QString::fromStdString(ProfileReadString(SettingsFile(), "Pathes", "EditorGP4.Save3DS", "")),
                 QString::fromStdString(dir->path()));
        // A cancelled dialog writes nothing.
        (*script)->expectSaveFile(std::nullopt);
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
        QCOMPARE(QString::fromStdString((*script)->fileRequests().back().initialFolder),
                 QString::fromStdString(dir->path()));

        // A file cut short is refused through the error report, and no mesh
        // is left to show or export.
        const std::string whole = ReadBytes(car);
        WriteBytes(*dir / "cut.GP4", whole.substr(0, whole.size() - 20));
        (*script)->expectOpenFile(*dir / "cut.GP4");
        std::string headline;
        ExpectErrorReport(**script, "Read error in \"" + *dir / "cut.GP4" + "\": The file ends inside*", nullptr,
                          &headline);
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCoreApplication::processEvents();
        // The report leads with the message in plain words and the file.
        QVERIFY2(headline.rfind("Could not read cut.GP4: the file ends inside ", 0) == 0, headline.c_str());
        QVERIFY2(QString::fromStdString(headline).endsWith(QString::fromStdString(".\n" + *dir / "cut.GP4")),
                 headline.c_str());
        QVERIFY(!window->Mesh());
        QCOMPARE(window->ListBox1->count(), 0);
        QCOMPARE(window->CheckListBox1->count(), 0);
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        // A file that ends before its chunks leaves no chunk log of the
        // file loaded before it.
        load(car);
        WriteBytes(*dir / "short.GP4", whole.substr(0, 40));
        (*script)->expectOpenFile(*dir / "short.GP4");
        ExpectErrorReport(**script, "Read error in \"" + *dir / "short.GP4" + "\": The file ends*");
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(window->Memo6->toPlainText(), QString());
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("<no file loaded>"));
        (*script)->expectError("EditorGP4 Error 001: No GP4 file loaded. Load one before saving it as 3DS");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);

        // A wrong magic is shown, and the ID alone is in the fields.
        std::string wrong = whole;
        wrong[9] = 'X';
        WriteBytes(*dir / "wrong.GP4", wrong);
        (*script)
            ->expectOpenFile(*dir / "wrong.GP4")
            .expectError("GP4GP4 Error 001: Invalid GP4 file, magic ID not found (Read: GP4MESHBIX; Needed: GP4MESHBIN)");
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCOMPARE(window->LabeledEdit[1]->text(), QStringLiteral("GP4MESHBIX"));
        QCOMPARE(window->LabeledEdit[8]->text(), QStringLiteral("0"));
        QCOMPARE(window->ListBox1->count(), 0);
        (*script)->expectError("EditorGP4 Error 001: No GP4 file loaded. Load one before saving it as 3DS");
        QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
    }

    void previewSaysWhatItSkips()
    {
        demo::DemoMesh m = demo::DemoTrackSideMesh();
        m.RunListsOverride = {{0}, {1, 9}, {2}, {3}};
        WriteBytes(*dir / "odd.GP4", demo::BuildGP4Mesh(m));
        (*script)->expectOpenFile(*dir / "odd.GP4").expectError("GP4GP4 Error 011: *");
        QTest::mouseClick(window->bbLoadWAD, Qt::LeftButton);
        QCOMPARE(window->CheckListBox1->item(1)->text(), QStringLiteral("cone_right (runs 1, 9)"));
        tick(1);
        QCOMPARE(QString::fromStdString(window->PreviewNote()), QStringLiteral("Skipped: 1 run list entry names no run"));
        tick(1, false);
        QVERIFY(window->PreviewNote().empty());
        window->ListBox1->setCurrentRow(1);
        window->ListBox3->setCurrentRow(1);
        QCOMPARE(linesOf(window->Memo4), QStringList{"Run 9 is not in the file"});
    }
};

PADDOCK_TEST_MAIN(GP4WorkshopTest)
#include "GP4WorkshopTest.moc"
