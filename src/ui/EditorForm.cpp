#include "ui/EditorForm.h"

#include <QCloseEvent>

namespace paddock {

TEditorForm::TEditorForm(QWidget* mainWindow, const QString& caption) : QWidget(mainWindow, Qt::Tool)
{
    setWindowTitle(caption);
    resize(700, 400);
}

void TEditorForm::closeEvent(QCloseEvent* event)
{
    if (refuseClose_)
        event->ignore();
    else
        QWidget::closeEvent(event); // hides the window; the main window still holds it
}

} // namespace paddock
