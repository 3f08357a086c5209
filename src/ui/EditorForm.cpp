#include "ui/EditorForm.h"

#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/Tools.h"
#include "ui/EditorControls.h"
#include "ui/WindowSize.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace paddock {

TEditorForm::TEditorForm(QWidget* mainWindow, const QString& caption) : QWidget(mainWindow, Qt::Tool)
{
    setWindowTitle(caption);
    // The controls lie on a widget of their own in a frameless scroll area
    // that fills the window: where the screen has less room than they need,
    // they scroll.
    clientArea_ = new QScrollArea(this);
    clientArea_->setObjectName(QStringLiteral("ClientArea"));
    clientArea_->setFrameShape(QFrame::NoFrame);
    clientArea_->setWidgetResizable(true);
    client_ = new QWidget;
    client_->setObjectName(QStringLiteral("Client"));
    clientArea_->setWidget(client_);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->addWidget(clientArea_);
    resize(StartingClientSize);
    // A WAD, TEX or GP4 file dropped on the window opens in its workshop, as
    // one dropped on the main window does.
    setAcceptDrops(true);
}

void TEditorForm::dragEnterEvent(QDragEnterEvent* event)
{
    const std::string path = DroppedFile(event->mimeData());
    if (!path.empty() && CurrentEditorHost() && IsWorkshopFileName(path))
        event->acceptProposedAction();
}

void TEditorForm::dropEvent(QDropEvent* event)
{
    const std::string path = DroppedFile(event->mimeData());
    EditorHost* host = CurrentEditorHost();
    if (path.empty() || !host || !IsWorkshopFileName(path))
        return;
    event->acceptProposedAction();
    try {
        // The host may replace this window: nothing of it is used afterwards.
        host->OpenInWorkshop(path);
    } catch (...) {
        ReportCurrentException();
    }
}

QSize TEditorForm::NeededClientSize()
{
    return LaidOutClientSize(*client_, starting_);
}

void TEditorForm::SetRoom(QSize room)
{
    room_ = room;
    fitClientSize();
}

void TEditorForm::fitClientSize()
{
    QSize size = NeededClientSize();
    if (room_.isValid()) {
        size = size.boundedTo(room_);
        // Below their minimum the controls scroll, and a scroll bar takes its
        // room from the other direction.
        const QSize minimum = LaidOutClientSize(*client_, QSize(0, 0));
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, clientArea_);
        for (int pass = 0; pass < 2; ++pass) {
            if (size.height() < minimum.height())
                size.setWidth(std::min(room_.width(), std::max(size.width(), minimum.width() + bar)));
            if (size.width() < minimum.width())
                size.setHeight(std::min(room_.height(), std::max(size.height(), minimum.height() + bar)));
        }
    }
    if (fixedBorder_) {
        setFixedSize(size);
        return;
    }
    QSize grown = size.expandedTo(this->size());
    if (room_.isValid())
        grown = grown.boundedTo(room_);
    resize(grown);
}

void TEditorForm::placeGroups(QWidget* left, QWidget* right)
{
    auto* window = new QHBoxLayout(client_);
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
