#include "ui/EditorForm.h"

#include "ui/WindowSize.h"

#include <QCloseEvent>

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

void TEditorForm::closeEvent(QCloseEvent* event)
{
    if (refuseClose_)
        event->ignore();
    else
        QWidget::closeEvent(event); // hides the window; the main window still holds it
}

} // namespace paddock
