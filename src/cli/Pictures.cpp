#include "cli/Pictures.h"

#include "app/Tools.h"
#include "formats/GP4TEX.h"

namespace paddock::cli {

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
    const bool png = PictureKindOf(path) == PictureKind::PNG;
    if (!tex.ExportPicture(index, path)) {
        ShowErrorMessage("Texture " + std::to_string(index) + " cannot be written as " + (png ? "PNG" : "TGA") +
                         "; " + path + " was not written");
        return false;
    }
    return true;
}

bool ImportPicture(TTEXFile& tex, int index, const std::string& path)
{
    const bool accepted = tex.ImportPicture(index, path);
    if (!accepted)
        ShowErrorMessage("The picture " + path + " was refused");
    return accepted;
}

} // namespace paddock::cli
