// Windows are laid out with layouts: each starts at its own client size and
// grows where its layout needs more room, such as with a larger font or a
// longer text.
#pragma once

#include <QSize>

class QWidget;

namespace paddock {

// The larger of the starting size and what the window's layout needs: its
// minimum size and, where texts wrap, the height they take at that width.
// A window without a layout keeps the starting size.
QSize LaidOutClientSize(QWidget& window, QSize starting);

// Gives a window with a fixed border its laid-out client size.
void FixLaidOutClientSize(QWidget& window, QSize starting);

} // namespace paddock
