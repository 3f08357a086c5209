// The Points window: the fields of the 22 positions, the predefined sets, and
// the table's way into and out of the window and the game.
#include "UiSupport.h"

#include "app/Items.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "game/GP4Points.h"
#include "ui/EditorControls.h"
#include "ui/EditorPoints.h"

#include "DemoGame.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cstdint>
#include <vector>

using namespace paddock;
using namespace paddock::testing;

namespace {

constexpr std::size_t PointsOffset = 0x3BE1D2;

const TPointsTable Cart{20, 16, 14, 12, 10, 8, 6, 5, 4, 3, 2, 1};

QString tableText(const TPointsTable& table)
{
    QStringList values;
    for (const std::uint8_t v : table)
        values << QString::number(v);
    return values.join(QLatin1Char(' '));
}

} // namespace

class PointsTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    std::unique_ptr<ScopedScript>& script = program.script;
    TFrmPoints* window = nullptr;
    QFont originalFont;

    // Opens a new points window in place of the current editor.
    void openWindow()
    {
        program.form->CloseEditor();
        program.form->OpenEditor<TFrmPoints>();
        window = qobject_cast<TFrmPoints*>(program.form->CurrentEditor());
        QVERIFY(window && window->isVisible());
    }

    TSpinEdit& field(int position) const
    {
        TSpinEdit* f = window->PointsField(position);
        Q_ASSERT(f);
        return *f;
    }

    QLineEdit& editOf(int position) const { return *field(position).findChild<QLineEdit*>(); }

    // What the 22 fields hold.
    QString fieldsText() const
    {
        TPointsTable shown{};
        for (int p = 1; p <= PointsCount; ++p)
            shown[p - 1] = static_cast<std::uint8_t>(field(p).value());
        return tableText(shown);
    }

    // Replaces a field's text by typing, as the user does.
    void typeInto(int position, const QString& text)
    {
        QLineEdit& edit = editOf(position);
        edit.selectAll();
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClicks(&edit, text);
    }

    std::string exeBytes() const { return ReadBytes(Settings.GameExePath); }

private slots:
    void initTestCase() { originalFont = QApplication::font(); }

    void init()
    {
        program.prepare();
        program.form = std::make_unique<TMainForm>(program.dir->path());
        program.form->show();
        // The first activation is over before the test's window opens.
        program.form->FormActivate();
        openWindow();
    }

    void cleanup()
    {
        window = nullptr;
        program.finish();
        QApplication::setFont(originalFont);
    }

    void fieldsStandInTwoColumns_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("font 1.5 times as large") << 1.5;
    }

    void fieldsStandInTwoColumns()
    {
        QFETCH(double, scale);
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * scale);
        QApplication::setFont(font);
        openWindow();

        QCOMPARE(window->windowTitle(), QStringLiteral("Points"));
        QVERIFY(window->width() >= 700 && window->height() >= 400);
        if (scale == 1.0)
            QCOMPARE(window->size(), QSize(700, 400));
        // Every text is shown whole.
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(window))
                continue;
            QSize needed;
            if (auto* l = qobject_cast<QLabel*>(w))
                needed = l->wordWrap() ? QSize(l->minimumSizeHint().width(), l->heightForWidth(l->width()))
                                       : l->sizeHint();
            else if (auto* b = qobject_cast<QPushButton*>(w))
                needed = b->sizeHint();
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                needed = g->minimumSizeHint();
            else
                continue;
            QVERIFY2(w->width() >= needed.width() && w->height() >= needed.height(), qPrintable(w->objectName()));
            QVERIFY2(window->rect().contains(QRect(w->mapTo(window, QPoint(0, 0)), w->size())),
                     qPrintable(w->objectName()));
        }
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        for (int p = 1; p <= PointsCount; ++p) {
            TSpinEdit& f = field(p);
            QCOMPARE(f.minimum(), 0);
            QCOMPARE(f.maximum(), 255);
            QVERIFY(window->GroupBox30->isAncestorOf(&f));
            auto* label = window->GroupBox30->findChild<QLabel*>(QStringLiteral("Label%1").arg(p));
            QVERIFY(label);
            QCOMPARE(label->text(), QStringLiteral("%1:").arg(p));
            QCOMPARE(label->buddy(), &f);
            QVERIFY(label->geometry().right() < f.geometry().left());
            // Top to bottom in each column; position 12 begins the right one.
            if (p != 1 && p != 12) {
                QCOMPARE(f.x(), field(p - 1).x());
                QVERIFY(f.y() > field(p - 1).geometry().bottom());
            }
        }
        QCOMPARE(field(12).y(), field(1).y());
        QVERIFY(field(12).x() > field(1).geometry().right());
        QCOMPARE(window->PointsField(23), nullptr);

        // The predefined sets: three in a row, the fourth below.
        QCOMPARE(window->Button40->y(), window->Button1->y());
        QCOMPARE(window->Button2->y(), window->Button1->y());
        QVERIFY(window->Button1->x() < window->Button40->x() && window->Button40->x() < window->Button2->x());
        QVERIFY(window->Button3->y() > window->Button1->geometry().bottom());

        // Only the load and save buttons of the row are there to use.
        QStringList shown;
        for (QToolButton* b : window->GroupBox1->findChildren<QToolButton*>())
            if (b->isVisibleTo(window))
                shown << b->objectName();
        QCOMPARE(shown, (QStringList{QStringLiteral("sbImport1"), QStringLiteral("sbExport1")}));
        QCOMPARE(window->sbImport1->toolTip(), QStringLiteral("Load From GP4"));
        QCOMPARE(window->sbExport1->toolTip(), QStringLiteral("Save To GP4"));
    }

    void predefinedSetsReachTheTableWhenTheWindowCloses()
    {
        QTest::mouseClick(window->Button3, Qt::LeftButton);
        QCOMPARE(field(1).value(), 22);
        QCOMPARE(field(11).value(), 12);
        QCOMPARE(field(12).value(), 11);
        QCOMPARE(field(22).value(), 1);
        QTest::mouseClick(window->Button40, Qt::LeftButton);
        QCOMPARE(fieldsText(), tableText(TPointsTable{9, 6, 4, 3, 2, 1}));
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        QCOMPARE(fieldsText(), tableText(TPointsTable{10, 6, 4, 3, 2, 1}));
        QTest::mouseClick(window->Button2, Qt::LeftButton);
        QCOMPARE(fieldsText(), tableText(Cart));
        // Only the fields change until they are stored.
        QCOMPARE(tableText(PointsTable), tableText(TPointsTable{}));

        // Switching to another editor stores them.
        program.form->findChild<QAction*>("WADWorkshop1")->trigger();
        QCOMPARE(tableText(PointsTable), tableText(Cart));
    }

    void aNewWindowShowsTheTableAndLeavesItAsItWas()
    {
        QTest::mouseClick(window->Button2, Qt::LeftButton);
        program.form->CloseEditor();
        QCOMPARE(tableText(PointsTable), tableText(Cart));

        openWindow();
        QCOMPARE(fieldsText(), tableText(Cart));
        program.form->CloseEditor();
        QCOMPARE(tableText(PointsTable), tableText(Cart));

        // A table changed while no window was open shows in the next one.
        PointsTable[21] = 7;
        openWindow();
        QCOMPARE(field(22).value(), 7);
        window->StoreEdits();
        QCOMPARE(PointsTable[21], std::uint8_t{7});
    }

    void fieldsStoreWithinTheirLimits()
    {
        QTest::mouseClick(window->Button3, Qt::LeftButton);
        // Emptied, a lone minus sign, text that came in by pasting.
        typeInto(1, QString());
        typeInto(2, QStringLiteral("-"));
        editOf(3).setText(QStringLiteral("abc"));
        // Past the upper limit while the field still has the focus: the
        // spin box's own value is still the 30 typed on the way.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        field(4).setFocus();
        typeInto(4, QStringLiteral("300"));
        QVERIFY(field(4).hasFocus());
        QCOMPARE(editOf(4).text(), QStringLiteral("300"));

        window->StoreEdits();
        QCOMPARE(PointsTable[0], std::uint8_t{0});
        QCOMPARE(PointsTable[1], std::uint8_t{0});
        QCOMPARE(PointsTable[2], std::uint8_t{0});
        QCOMPARE(PointsTable[3], std::uint8_t{255});
        QCOMPARE(PointsTable[4], std::uint8_t{18});
        QVERIFY(field(4).hasFocus());
    }

    void loadsAndSavesOnlyThePointsTable()
    {
        const std::string exeBefore = exeBytes();
        const std::string saveBefore = ReadBytes(Settings.GamePath + "F1GSTATE.SAV");

        // Nothing was loaded: the save writes nothing and says so.
        QTest::mouseClick(window->Button2, Qt::LeftButton);
        (*script)->expectMessage("Nothing to save: load the points from the game first.");
        QTest::mouseClick(window->sbExport1, Qt::LeftButton);
        QVERIFY(exeBytes() == exeBefore);

        QTest::mouseClick(window->sbImport1, Qt::LeftButton);
        TPointsTable demoPoints{};
        std::copy(demo::DemoPoints().begin(), demo::DemoPoints().end(), demoPoints.begin());
        QCOMPARE(tableText(PointsTable), tableText(demoPoints));
        QCOMPARE(fieldsText(), tableText(demoPoints));
        QCOMPARE((*script)->progress().back().steps, std::vector<std::string>{"Points table"});
        QVERIFY(LoadedItems[ItemPoints]);
        QVERIFY(!AnyItemSelected(LoadedItems, 0, ItemPoints - 1));
        QVERIFY(!AnyItemSelected(LoadedItems, ItemPoints + 1, ItemCount - 1));

        typeInto(1, QStringLiteral("25"));
        QTest::mouseClick(window->sbExport1, Qt::LeftButton);
        QCOMPARE((*script)->progress().back().steps, std::vector<std::string>{"Points table"});
        const std::string exeAfter = exeBytes();
        QCOMPARE(exeAfter.size(), exeBefore.size());
        QCOMPARE(static_cast<std::uint8_t>(exeAfter[PointsOffset]), std::uint8_t{0x19});
        std::string expected = exeBefore;
        expected[PointsOffset] = '\x19';
        QVERIFY(exeAfter == expected);
        QVERIFY(ReadBytes(Settings.GamePath + "F1GSTATE.SAV") == saveBefore);
    }
};

PADDOCK_TEST_MAIN(PointsTest)
#include "PointsTest.moc"
