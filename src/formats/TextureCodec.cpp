#include "formats/TextureCodec.h"

#include "app/Streams.h"
#include "app/Tools.h"

#include <squish.h>

namespace paddock {

std::optional<DXTFormat> FormatFromFourCC(std::uint32_t fourCC)
{
    if (fourCC == FourCCDXT1)
        return DXTFormat::DXT1;
    if (fourCC == FourCCDXT5)
        return DXTFormat::DXT5;
    return std::nullopt;
}

std::size_t DXTDataSize(DXTFormat format, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const std::size_t blocks = ((static_cast<std::size_t>(width) + 3) / 4) * ((static_cast<std::size_t>(height) + 3) / 4);
    return blocks * (format == DXTFormat::DXT1 ? 8u : 16u);
}

namespace {
int squishFlags(DXTFormat format)
{
    return format == DXTFormat::DXT1 ? squish::kDxt1 : squish::kDxt5;
}
} // namespace

TPicture DecodeDXT(DXTFormat format, const std::uint8_t* data, int width, int height)
{
    TPicture picture(width, height);
    squish::DecompressImage(picture.Pixels.data(), width, height, data, squishFlags(format));
    for (std::size_t i = 0; i < picture.Pixels.size(); i += 4)
        std::swap(picture.Pixels[i], picture.Pixels[i + 2]);
    return picture;
}

std::vector<std::uint8_t> EncodeDXT(DXTFormat format, const TPicture& picture, unsigned /*threads*/)
{
    std::vector<std::uint8_t> out(DXTDataSize(format, picture.Width, picture.Height));
    // libsquish takes red, green, blue, alpha.
    std::vector<std::uint8_t> rgba(picture.Pixels);
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        std::swap(rgba[i], rgba[i + 2]);
    squish::CompressImage(rgba.data(), picture.Width, picture.Height, out.data(),
                          squishFlags(format) | squish::kColourClusterFit);
    return out;
}

TPicture MakeAlphaView(const TPicture& picture)
{
    TPicture view(picture.Width, picture.Height);
    for (std::size_t i = 0; i < picture.Pixels.size(); i += 4) {
        const std::uint8_t a = picture.Pixels[i + 3];
        view.Pixels[i] = view.Pixels[i + 1] = view.Pixels[i + 2] = a;
        view.Pixels[i + 3] = 0;
    }
    return view;
}

bool TextureCodec::Open()
{
    open_ = true;
    return true;
}

void TextureCodec::Close()
{
    open_ = false;
}

namespace {
bool validSize(int width, int height)
{
    return width > 0 && height > 0 && width <= MaxTextureSide && height <= MaxTextureSide;
}
} // namespace

std::optional<TPicture> TextureCodec::Decode(const TTextureParams& params, TStream& stream)
{
    const auto format = FormatFromFourCC(params.FourCC);
    if (!format || !validSize(params.Width, params.Height)) {
        ShowErrorMessage("GP4TEX Error 005: Error while creating texture");
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(DXTDataSize(*format, params.Width, params.Height));
    stream.ReadBuffer(data.data(), data.size());
    return DecodeDXT(*format, data.data(), params.Width, params.Height);
}

bool TextureCodec::Encode(const TTextureParams& params, const TPicture& picture, TStream& stream)
{
    if (!validSize(params.Width, params.Height) || picture.Width != params.Width ||
        picture.Height != params.Height) {
        ShowErrorMessage("GP4TEX Error 005: Error while creating BMP texture");
        return false;
    }
    const auto format = FormatFromFourCC(params.FourCC);
    if (!format) {
        ShowErrorMessage("GP4TEX Error 008: Error while creating texture");
        return false;
    }
    const std::vector<std::uint8_t> data = EncodeDXT(*format, picture);
    stream.WriteBuffer(data.data(), data.size());
    return true;
}

} // namespace paddock
