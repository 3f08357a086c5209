// Every window shows its texts whole: each visible control that carries a
// text is at least as large as its size hint and lies inside the controls
// around it, at the default font and at a font half as large again.
#include "UiSupport.h"

#include "app/FormProgress.h"
#include "app/FrmSequence.h"
#include "app/Main.h"
#include "ui/EditorForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
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

// The part of w's rectangle that the widgets around it up to the window leave
// visible, in w's coordinates.
QRect visiblePart(const QWidget& w, const QWidget& window)
{
    QRect r = w.rect();
    QPoint offset(0, 0);
    for (const QWidget* p = &w; p != &window && p->parentWidget(); p = p->parentWidget()) {
        offset += p->pos();
        r = r.intersected(p->parentWidget()->rect().translated(-offset));
    }
    return r;
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
            faults << layoutFaults(dialog, name);
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

        program.prepare();
        // The developer mode, so that its editors are reached too.
        WriteSettingsFile(*program.dir, *program.dir / "game/", "DEVELOPER");
        program.form = std::make_unique<TMainForm>(program.dir->path());
        TMainForm& form = *program.form;
        form.show();
        QCoreApplication::processEvents();

        QStringList faults = layoutFaults(form, "main window");

        (*program.script)->expectModal("FrmOptions", inspect("Options", faults));
        form.Configure1->trigger();
        (*program.script)->expectModal("FrmAbout", inspect("About", faults));
        form.About1->trigger();
        (*program.script)->expectModal("FormSequence", inspect("folder and mask", faults));
        std::string sequence;
        ChooseSequence("/out", "t*.TGA", sequence);
        for (const bool cancel : {false, true}) {
            std::unique_ptr<TFrmProgress> progress(ShowProgress(QStringLiteral("Exporting..."), 2, cancel, 300, 80));
            progress->Step(QStringLiteral("Car textures of team 11"));
            faults << layoutFaults(*progress, cancel ? "progress with cancel" : "progress");
        }

        std::vector<QAction*> editors;
        chosenItems(form.Editors1, editors);
        QVERIFY(editors.size() >= 2);
        for (QAction* item : editors) {
            item->trigger();
            TEditorForm* editor = form.CurrentEditor();
            QVERIFY2(editor && editor->isVisible(), qPrintable(item->text()));
            QCoreApplication::processEvents();
            faults << layoutFaults(*editor, editor->windowTitle());
        }
        // One line each, as a failure message would be cut short.
        for (const QString& f : faults)
            qWarning("%s", qPrintable(f));
        QVERIFY2(faults.isEmpty(), qPrintable(QString::number(faults.size()) + " faults, listed above"));
    }
};

PADDOCK_TEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
