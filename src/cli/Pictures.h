// Textures to and from picture files, TGA or PNG (what image editors save by
// default), through the container's own exchange: both kinds pass the same
// checks, and a PNG gives the same container as the TGA an editor could have
// saved of the same picture.
#pragma once

#include <optional>
#include <string>

namespace paddock {
class TTEXFile;
}

namespace paddock::cli {

enum class PictureKind { TGA, PNG };

// The kind a file's extension names (.tga, .png in any case); nullopt for
// any other.
std::optional<PictureKind> PictureKindOf(const std::string& path);

// Writes texture index of the container as a picture file of the kind its
// name says, replacing the file only once it is whole. False, with an error
// reported, when the texture has no picture or the file cannot be written.
bool ExportPicture(const TTEXFile& tex, int index, const std::string& path);

// Replaces texture index of the container from a picture file of the kind its
// name says: 32 bits a pixel (a PNG of 8-bit colour with alpha), width and height
// multiples of 4 from 4 to 16384. False, with the reason reported and the
// texture as it was, when the file is refused.
bool ImportPicture(TTEXFile& tex, int index, const std::string& path);

} // namespace paddock::cli
