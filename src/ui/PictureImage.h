// Pictures shown in windows.
#pragma once

#include "formats/Picture.h"

#include <QImage>

namespace paddock {

// A copy of the picture as an opaque image: the fourth byte of every pixel is
// not used for display, as the textures' own pictures and their alpha views
// are shown colour for colour.
QImage ToOpaqueImage(const TPicture& picture);

} // namespace paddock
