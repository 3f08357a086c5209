#include "ui/PictureImage.h"

#include <cstring>

namespace paddock {

QImage ToOpaqueImage(const TPicture& picture)
{
    if (picture.Empty())
        return {};
    QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
    for (int y = 0; y < picture.Height; ++y) {
        // Blue, green, red, fourth byte: the memory order of a 32-bit pixel
        // 0xAARRGGBB on a little-endian machine.
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        const std::uint8_t* src = picture.Row(y);
        for (int x = 0; x < picture.Width; ++x, src += 4)
            row[x] = 0xFF000000u | (std::uint32_t(src[2]) << 16) | (std::uint32_t(src[1]) << 8) | src[0];
    }
    return image;
}

} // namespace paddock
