#include "ui/PictureImage.h"

#include "app/Tools.h"
#include "formats/GP4TEX.h"

#include <cstring>

namespace paddock {

namespace {

// The squares of the checkerboard behind a picture, and their two greys.
constexpr int CheckerSquare = 8;
constexpr int CheckerDark = 0xCC;
constexpr int CheckerLight = 0xFF;

} // namespace

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

QImage OverCheckerboard(const TPicture& picture)
{
    if (picture.Empty())
        return {};
    QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
    for (int y = 0; y < picture.Height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        const std::uint8_t* src = picture.Row(y);
        for (int x = 0; x < picture.Width; ++x, src += 4) {
            const int back = ((x / CheckerSquare + y / CheckerSquare) % 2 == 0) ? CheckerLight : CheckerDark;
            const int alpha = src[3];
            auto mix = [&](int colour) {
                return static_cast<std::uint32_t>((colour * alpha + back * (255 - alpha) + 127) / 255);
            };
            row[x] = 0xFF000000u | (mix(src[2]) << 16) | (mix(src[1]) << 8) | mix(src[0]);
        }
    }
    return image;
}

bool IsPictureFile(const std::string& path)
{
    const std::string ext = ExtractFileExt(path);
    return SameText(ext, ".tga") || SameText(ext, ".png");
}

bool LoadPictureFile(TTEXFile& tex, int index, const std::string& path)
{
    if (IsPictureFile(path))
        return tex.ImportPicture(index, path);
    ShowErrorMessage("Cannot load " + path +
                     " into a texture: Paddock loads pictures from TGA files (.tga) and PNG files (.png)");
    return false;
}

bool SavePictureFile(const TTEXFile& tex, int index, const std::string& path)
{
    return tex.ExportPicture(index, path);
}

} // namespace paddock
