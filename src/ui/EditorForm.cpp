#include "ui/EditorForm.h"

#include "ui/WindowSize.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QShowEvent>

namespace paddock {

TEditorForm::TEditorForm(QWidget* mainWindow, const QString& caption) : QWidget(mainWindow, Qt::Tool)
{
    setWindowTitle(caption);
    resize(StartingClientSize);
}

void TEditorForm::fitClientSize()
{
    const QSize size = LaidOutClientSize(*this, StartingClientSize);
    if (fixedBorder_)
        setFixedSize(size);
    else
        resize(size.expandedTo(this->size()));
}

void TEditorForm::placeGroups(QWidget* left, QWidget* right)
{
    auto* window = new QHBoxLayout(this);
    window->setContentsMargins(3, 3, 3, 3);
    window->setSpacing(3);
    window->addWidget(left);
    window->addWidget(right, 1);
    fitClientSize();
}

void TEditorForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TEditorForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TEditorForm::closeEvent(QCloseEvent* event)
{
    if (refuseClose_)
        event->ignore();
    else
        QWidget::closeEvent(event); // hides the window; the main window still holds it
}

} // namespace paddock
