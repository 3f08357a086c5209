// Pictures shown in windows, and the picture files a texture is loaded from.
#pragma once

#include "formats/Picture.h"

#include <QImage>

#include <string>

namespace paddock {

class TTEXFile;

// A copy of the picture as an opaque image: the fourth byte of every pixel is
// not used for display, as the textures' own pictures and their alpha views
// are shown colour for colour.
QImage ToOpaqueImage(const TPicture& picture);

// The picture drawn by its alpha over a checkerboard of light grey and
// white: what shows through a transparent part of a texture.
QImage OverCheckerboard(const TPicture& picture);

// True for a file whose extension names a picture format that a texture can
// be loaded from: TGA (".tga") or PNG (".png"), in any letter case.
bool IsPictureFile(const std::string& path);

// Loads a picture file into texture index of tex, by its extension, with the
// checks of its format (32 bits a pixel with alpha, sides multiples of 4;
// the reader shows its own messages). A file of another kind is refused with
// a message naming it. True when the texture was replaced.
bool LoadPictureFile(TTEXFile& tex, int index, const std::string& path);
// Writes texture index as the picture file its extension names: PNG for
// ".png", TGA otherwise. True when written.
bool SavePictureFile(const TTEXFile& tex, int index, const std::string& path);

// The file dialogs' filters for pictures: to open (both kinds first), and
// to save (TGA first, PNG second).
inline constexpr const char* PictureOpenFilter = "Pictures|*.TGA;*.PNG|TGA Files|*.TGA|PNG Files|*.PNG";
inline constexpr const char* PictureSaveFilter = "TGA Files|*.TGA|PNG Files|*.PNG";

} // namespace paddock
