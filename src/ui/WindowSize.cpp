#include "ui/WindowSize.h"

#include <QLayout>
#include <QWidget>

#include <algorithm>

namespace paddock {

QSize LaidOutClientSize(QWidget& window, QSize starting)
{
    QLayout* layout = window.layout();
    if (!layout)
        return starting;
    window.ensurePolished();
    // Layouts keep their controls' sizes until the event loop lays the
    // window out again, and a window that is being built has not been laid
    // out yet: measure afresh.
    for (QWidget* child : window.findChildren<QWidget*>())
        child->updateGeometry();
    layout->invalidate();
    QSize size = starting.expandedTo(layout->totalMinimumSize());
    if (layout->hasHeightForWidth())
        size.setHeight(std::max(size.height(), layout->totalHeightForWidth(size.width())));
    return size;
}

void FixLaidOutClientSize(QWidget& window, QSize starting)
{
    window.setFixedSize(LaidOutClientSize(window, starting));
}

} // namespace paddock
