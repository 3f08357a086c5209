// Every window shows its texts whole and lies on the screen: each visible
// control that carries a text is at least as large as its size hint and lies
// inside the controls around it (or in an area that scrolls to it), and the
// main window, each editor docked below it and each dialog lie inside the
// screen's available area, at the default font and at a font half as large
// again. CTest runs it on a 1280 x 1024 and on a 1366 x 768 screen.
#include "UiSupport.h"

#include "app/FormProgress.h"
#include "app/FrmSequence.h"
#include "app/FileError.h"
#include "app/Main.h"
#include "diag/FormError.h"
#include "ui/EditorControls.h"
#include "ui/EditorForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <vector>

using namespace paddock;
using namespace paddock::testing;

namespace {

QString describe(const QWidget& w)
{
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(&w))
        text = b->text();
    else if (auto* l = qobject_cast<const QLabel*>(&w))
        text = l->text().left(30);
    else if (auto* g = qobject_cast<const QGroupBox*>(&w))
        text = g->title();
    return QStringLiteral("%1 %2 \"%3\"").arg(QLatin1String(w.metaObject()->className()), w.objectName(), text);
}

QString sizeText(QSize s)
{
    return QStringLiteral("%1 x %2").arg(s.width()).arg(s.height());
}

bool fits(QSize size, QSize needed)
{
    return size.width() >= needed.width() && size.height() >= needed.height();
}

// True when w is the widget that a scroll area scrolls.
bool scrolled(const QWidget& w)
{
    const QWidget* viewport = w.parentWidget();
    auto* area = viewport ? qobject_cast<const QScrollArea*>(viewport->parentWidget()) : nullptr;
    return area && area->widget() == &w;
}

// The part of w's rectangle that the widgets around it up to the window leave
// visible, in w's coordinates; what a scroll area holds counts as visible,
// as it scrolls to it.
QRect visiblePart(const QWidget& w, const QWidget& window)
{
    QRect r = w.rect();
    QPoint offset(0, 0);
    for (const QWidget* p = &w; p != &window && p->parentWidget() && !scrolled(*p); p = p->parentWidget()) {
        offset += p->pos();
        r = r.intersected(p->parentWidget()->rect().translated(-offset));
    }
    return r;
}

QString rectText(QRect r)
{
    return QStringLiteral("%1 x %2 at (%3, %4)").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

// The window with its frame inside the screen's available area, and a
// scroll area around its controls able to reach all of them.
QStringList placementFaults(const QWidget& window, const QString& name)
{
    QStringList faults;
    const QRect area = window.screen()->availableGeometry();
    if (!area.contains(window.frameGeometry()))
        faults << name + ": the window, " + rectText(window.frameGeometry()) + ", does not lie inside the screen's " +
                      rectText(area);
    for (const QScrollArea* scroll : window.findChildren<QScrollArea*>(QStringLiteral("ClientArea"))) {
        const QWidget* client = scroll->widget();
        const QSize hidden = client->size() - scroll->viewport()->size();
        if (client->width() < client->minimumSizeHint().width() ||
            client->height() < client->minimumSizeHint().height() ||
            scroll->horizontalScrollBar()->maximum() < hidden.width() ||
            scroll->verticalScrollBar()->maximum() < hidden.height())
            faults << name + ": the controls, " + sizeText(client->size()) + ", cannot all be reached in " +
                          sizeText(scroll->viewport()->size());
    }
    return faults;
}

// An icon-only tool button shows no text even when its action has one.
bool showsText(const QAbstractButton& b)
{
    if (b.text().isEmpty())
        return false;
    auto* tool = qobject_cast<const QToolButton*>(&b);
    return !(tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull());
}

// Every fault of the window's labelled controls, one line each.
QStringList layoutFaults(const QWidget& window, const QString& name)
{
    QStringList faults;
    auto fault = [&](const QWidget& w, const QString& what) { faults << name + ": " + describe(w) + " " + what; };
    auto checkWhole = [&](const QWidget& w) {
        if (visiblePart(w, window) != w.rect())
            fault(w, QStringLiteral("is cut by the controls around it"));
    };

    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->window() != &window) // another window is checked on its own
            continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && showsText(*b)) {
            if (!fits(b->size(), b->sizeHint()))
                fault(*b, "is " + sizeText(b->size()) + ", needs " + sizeText(b->sizeHint()));
            checkWhole(*b);
        } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
            if (l->wordWrap()) {
                const int height = l->heightForWidth(l->width());
                if (l->width() < l->minimumSizeHint().width() || l->height() < height)
                    fault(*l, "is " + sizeText(l->size()) + ", needs a height of " + QString::number(height));
            } else if (!fits(l->size(), l->sizeHint())) {
                fault(*l, "is " + sizeText(l->size()) + ", needs " + sizeText(l->sizeHint()));
            }
            checkWhole(*l);
        } else if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) {
            if (!fits(g->size(), g->minimumSizeHint()))
                fault(*g, "is " + sizeText(g->size()) + ", needs " + sizeText(g->minimumSizeHint()));
            // Nothing in the box covers its title or frame.
            for (QWidget* child : g->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child->isVisibleTo(g) && !g->contentsRect().contains(child->geometry()))
                    fault(*child, "lies outside the frame of " + g->objectName());
            checkWhole(*g);
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            // The bar's hint holds every tab at its full size.
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->width() < tabs->sizeHint().width() || !tabs->rect().contains(tabs->tabRect(i)))
                    fault(*tabs, "cuts the tab \"" + tabs->tabText(i) + "\"");
            }
            checkWhole(*tabs);
        } else if (auto* header = qobject_cast<QHeaderView*>(w); header && header->orientation() == Qt::Horizontal) {
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i))
                    continue;
                const QString caption = header->model()->headerData(i, Qt::Horizontal).toString();
                const int left = header->sectionViewportPosition(i);
                if (header->sectionSize(i) < header->sectionSizeHint(i))
                    fault(*header, QStringLiteral("column \"%1\" is %2 wide, needs %3")
                                       .arg(caption)
                                       .arg(header->sectionSize(i))
                                       .arg(header->sectionSizeHint(i)));
                if (left < 0 || left + header->sectionSize(i) > header->viewport()->width())
                    fault(*header, "column \"" + caption + "\" does not fit in the list");
            }
            checkWhole(*header);
        } else if (auto* name = qobject_cast<TGameTextEdit*>(w)) {
            // A name as long as the field holds is shown whole.
            const QString sample = QStringLiteral("Juan Pablo Reyes Montoya Lopez").left(name->maxLength());
            const int room = name->contentsRect().width() - 8;
            if (name->fontMetrics().horizontalAdvance(sample) > room)
                fault(*name, QStringLiteral("shows %1 pixels of a name of %2 characters, which needs %3")
                                 .arg(room)
                                 .arg(sample.size())
                                 .arg(name->fontMetrics().horizontalAdvance(sample)));
            checkWhole(*name);
        } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
            for (QAction* a : bar->actions()) {
                if (a->isVisible() && !bar->rect().contains(bar->actionGeometry(a)))
                    fault(*bar, "has no room for the menu \"" + a->text() + "\"");
            }
        }
    }
    return faults;
}

// The items of the menu and its submenus that open a window, those of
// submenus hidden in this version included.
void chosenItems(QMenu* menu, std::vector<QAction*>& items)
{
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        if (a->menu())
            chosenItems(a->menu(), items);
        else if (a->isEnabled())
            items.push_back(a);
    }
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    QFont originalFont;

    // Shows a modal window the script hands over and records its faults.
    ScriptedInteraction::ModalHandler inspect(const QString& name, QStringList& faults)
    {
        return [name, &faults](ModalWindow& w) -> int {
            QDialog& dialog = DialogOf(w);
            dialog.show();
            QCoreApplication::processEvents();
            faults << layoutFaults(dialog, name) << placementFaults(dialog, name);
            dialog.hide();
            return int(QDialog::Rejected);
        };
    }

private slots:
    void initTestCase() { originalFont = QApplication::font(); }

    void cleanup()
    {
        program.finish();
        QApplication::setFont(originalFont);
    }

    void everyWindowShowsItsTextsWhole_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("font 1.5 times as large") << 1.5;
    }

    void everyWindowShowsItsTextsWhole()
    {
        QFETCH(double, scale);
        QFont font = originalFont;
        font.setPointSizeF(originalFont.pointSizeF() * scale);
        QApplication::setFont(font);

        // The screen CTest chose.
        const QByteArray screen = qgetenv("PADDOCK_TEST_SCREEN");
        if (!screen.isEmpty()) {
            const QSize size = QApplication::primaryScreen()->geometry().size();
            QCOMPARE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), QString::fromLatin1(screen));
        }

        program.prepare();
        // The developer mode, so that its editors are reached too.
        WriteSettingsFile(*program.dir, *program.dir / "game/", "DEVELOPER");
        program.form = std::make_unique<TMainForm>(program.dir->path());
        TMainForm& form = *program.form;
        // As at the start: on the left of the screen, centred together with
        // the editor it opens below itself.
        form.move(0, 0);
        form.show();
        form.FormActivate();
        QCoreApplication::processEvents();

        QStringList faults = layoutFaults(form, "main window");

        (*program.script)->expectModal("FrmOptions", inspect("Options", faults));
        form.Configure1->trigger();
        (*program.script)->expectModal("FrmAbout", inspect("About", faults));
        form.About1->trigger();
        // The error report of a mesh cut short, led by its message in words.
        (*program.script)->expectModal("ErrorMsgForm", inspect("error report", faults));
        ShowErrorReport(std::make_exception_ptr(EReadError(
                            *program.dir / "a folder with a long name/meshes of the game/TRUNC.GP4",
                            "The file ends before its 7 shapes in the shape headers (76 bytes or more each, 20 "
                            "bytes left)")),
                        0);
        (*program.script)->expectModal("FormSequence", inspect("folder and mask", faults));
        std::string sequence;
        ChooseSequence("/out", "t*.TGA", sequence);
        for (const bool cancel : {false, true}) {
            std::unique_ptr<TFrmProgress> progress(ShowProgress(QStringLiteral("Exporting..."), 2, cancel, 300, 80));
            progress->Step(QStringLiteral("Car textures of team 11"));
            const QString name = cancel ? "progress with cancel" : "progress";
            faults << layoutFaults(*progress, name) << placementFaults(*progress, name);
        }

        std::vector<QAction*> editors;
        chosenItems(form.Editors1, editors);
        QVERIFY(editors.size() >= 2);
        for (QAction* item : editors) {
            item->trigger();
            TEditorForm* editor = form.CurrentEditor();
            QVERIFY2(editor && editor->isVisible(), qPrintable(item->text()));
            QCoreApplication::processEvents();
            const QString name = editor->windowTitle();
            faults << layoutFaults(*editor, name) << placementFaults(form, "main window with " + name)
                   << placementFaults(*editor, name);
            // Every page of its page controls, each in turn.
            for (QTabWidget* pages : editor->findChildren<QTabWidget*>()) {
                const bool enabled = pages->isEnabled();
                pages->setEnabled(true);
                for (int i = 1; i < pages->count(); ++i) {
                    pages->setCurrentIndex(i);
                    QCoreApplication::processEvents();
                    faults << layoutFaults(*editor, name + ", page " + pages->tabText(i));
                }
                pages->setCurrentIndex(0);
                pages->setEnabled(enabled);
            }
            // Docked directly below the main window.
            const QPoint docked(form.frameGeometry().left(), form.frameGeometry().bottom() + 1);
            if (editor->frameGeometry().topLeft() != docked)
                faults << name + ": not docked below the main window but at " + rectText(editor->frameGeometry());
        }
        // One line each, as a failure message would be cut short.
        for (const QString& f : faults)
            qWarning("%s", qPrintable(f));
        QVERIFY2(faults.isEmpty(), qPrintable(QString::number(faults.size()) + " faults, listed above"));
    }
};

PADDOCK_TEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
