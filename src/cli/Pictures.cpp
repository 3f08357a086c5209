#include "cli/Pictures.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "cli/Terminal.h"
#include "formats/GP4TEX.h"
#include "formats/TGA.h"

#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace paddock::cli {

namespace {

QString qPath(const std::string& path)
{
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

std::string text(const QString& s)
{
    return s.toStdString();
}

bool exportPNG(const TPicture& picture, const std::string& path)
{
    QImage image(picture.Width, picture.Height, QImage::Format_ARGB32);
    if (image.isNull()) {
        ShowErrorMessage("Not enough memory for the picture of " + path);
        return false;
    }
    for (int y = 0; y < picture.Height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.Width; ++x) {
            const std::uint8_t* p = picture.Pixel(x, y); // blue, green, red, alpha
            row[x] = qRgba(p[2], p[1], p[0], p[3]);
        }
    }
    QSaveFile file(qPath(path));
    if (!file.open(QIODevice::WriteOnly)) {
        ShowErrorMessage("Cannot create file \"" + path + "\": " + text(file.errorString()));
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        ShowErrorMessage("Cannot write the PNG file \"" + path + "\": " + text(writer.errorString()));
        return false;
    }
    if (!file.commit()) {
        ShowErrorMessage("Cannot write the PNG file \"" + path + "\": " + text(file.errorString()));
        return false;
    }
    return true;
}

// The picture of a PNG file as 32 bits a pixel, or nullopt with the reason
// reported.
std::optional<TPicture> readPNG(const std::string& path)
{
    QImageReader reader(qPath(path), "png");
    const QImage read = reader.read();
    if (read.isNull()) {
        ShowErrorMessage("Cannot read the PNG file \"" + path + "\": " + text(reader.errorString()));
        return std::nullopt;
    }
    if (!read.hasAlphaChannel()) {
        ShowErrorMessage("Invalid PNG. Needs an alpha channel (colours plus alpha, 32 bits a pixel): " + path);
        return std::nullopt;
    }
    if (read.width() > MaxTGASide || read.height() > MaxTGASide) {
        ShowErrorMessage("Invalid PNG. Width and height must be from 4 to 16384: " + path);
        return std::nullopt;
    }
    const QImage image = read.convertToFormat(QImage::Format_ARGB32);
    TPicture picture(image.width(), image.height());
    for (int y = 0; y < picture.Height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < picture.Width; ++x) {
            std::uint8_t* p = picture.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(qBlue(row[x]));
            p[1] = static_cast<std::uint8_t>(qGreen(row[x]));
            p[2] = static_cast<std::uint8_t>(qRed(row[x]));
            p[3] = static_cast<std::uint8_t>(qAlpha(row[x]));
        }
    }
    return picture;
}

} // namespace

std::optional<PictureKind> PictureKindOf(const std::string& path)
{
    const std::string ext = UpperCase(ExtractFileExt(path));
    if (ext == ".TGA")
        return PictureKind::TGA;
    if (ext == ".PNG")
        return PictureKind::PNG;
    return std::nullopt;
}

bool ExportPicture(const TTEXFile& tex, int index, const std::string& path)
{
    const TPicture* picture = tex.GetBitmap(index);
    if (!picture) {
        ShowErrorMessage("Texture " + std::to_string(index) + " has no picture; " + path + " was not written");
        return false;
    }
    if (PictureKindOf(path) == PictureKind::PNG)
        return exportPNG(*picture, path);
    if (!tex.ExportTGA(index, path)) {
        ShowErrorMessage("Texture " + std::to_string(index) + " cannot be written as TGA; " + path + " was not written");
        return false;
    }
    return true;
}

bool ImportPicture(TTEXFile& tex, int index, const std::string& path)
{
    bool accepted = false;
    if (PictureKindOf(path) == PictureKind::PNG) {
        // The picture goes in as the TGA file an image editor would have
        // saved of it.
        const std::optional<TPicture> picture = readPNG(path);
        if (!picture)
            return false;
        const std::string tga = Work().path() + "picture.tga";
        {
            const std::vector<std::uint8_t> bytes = EncodeTGA(*picture);
            TSafeFileStream file(tga);
            file.WriteBuffer(bytes.data(), bytes.size());
            file.Commit();
        }
        accepted = tex.ImportTGA(index, tga);
        std::error_code ec;
        std::filesystem::remove(ToPath(tga), ec);
    } else {
        accepted = tex.ImportTGA(index, path);
    }
    if (!accepted)
        ShowErrorMessage("The picture " + path + " was refused");
    return accepted;
}

} // namespace paddock::cli
