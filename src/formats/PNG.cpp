#include "formats/PNG.h"

#include "formats/TextureCodec.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

// The decoder and encoder of stb (public domain), PNG only, from memory only.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace paddock {

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t ColourTypeRGBA = 6;
// Deflate codes a run of 258 bytes in 2 bits at best.
constexpr std::uint64_t MostDeflateRatio = 1032;

std::uint32_t get32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

struct StbFree {
    void operator()(void* p) const { std::free(p); }
};

} // namespace

std::vector<std::uint8_t> EncodePNG(const TPicture& picture)
{
    if (picture.Empty() || picture.Width > INT_MAX / 4 ||
        picture.Pixels.size() != static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height) * 4)
        throw std::invalid_argument("A PNG picture needs pixels: at least one, four bytes each");
    std::vector<std::uint8_t> rgba(picture.Pixels.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = picture.Pixels[i + 2];
        rgba[i + 1] = picture.Pixels[i + 1];
        rgba[i + 2] = picture.Pixels[i];
        rgba[i + 3] = picture.Pixels[i + 3];
    }
    int length = 0;
    const std::unique_ptr<unsigned char, StbFree> png(
        stbi_write_png_to_mem(rgba.data(), picture.Width * 4, picture.Width, picture.Height, 4, &length));
    if (!png || length <= 0)
        throw std::bad_alloc();
    return std::vector<std::uint8_t>(png.get(), png.get() + length);
}

PNGStatus DecodePNG(const std::uint8_t* data, std::size_t size, TPicture& picture)
{
    if (size < PNGHeaderSize || std::memcmp(data, Signature, sizeof Signature) != 0 || get32(data + 8) != 13 ||
        std::memcmp(data + 12, "IHDR", 4) != 0)
        return PNGStatus::NotPNG;
    const std::uint32_t width = get32(data + 16);
    const std::uint32_t height = get32(data + 20);
    const std::uint8_t depth = data[24];
    const std::uint8_t colourType = data[25];
    if (depth != 8 || colourType != ColourTypeRGBA)
        return PNGStatus::NotTrueColour32;
    if (width % 4 != 0 || height % 4 != 0)
        return PNGStatus::SizeNotMultipleOf4;
    if (width == 0 || height == 0 || width > MaxTextureSide || height > MaxTextureSide)
        return PNGStatus::SizeOutOfRange;
    if (size > static_cast<std::size_t>(INT_MAX))
        return PNGStatus::Damaged;

    // The chunks must lie within the file, and the picture data hold enough
    // compressed bytes for the filtered rows (a filter byte and four bytes a
    // pixel each).
    std::uint64_t compressed = 0;
    bool ended = false;
    for (std::size_t at = 8; !ended;) {
        if (size - at < 12)
            return PNGStatus::Damaged;
        const std::uint32_t length = get32(data + at);
        if (length > size - at - 12)
            return PNGStatus::Damaged;
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0)
            compressed += length;
        ended = std::memcmp(data + at + 4, "IEND", 4) == 0;
        at += 12 + static_cast<std::size_t>(length);
    }
    const std::uint64_t filtered = static_cast<std::uint64_t>(height) * (1 + 4 * static_cast<std::uint64_t>(width));
    if (compressed == 0 || filtered > compressed * MostDeflateRatio)
        return PNGStatus::Damaged;

    int w = 0;
    int h = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, StbFree> rgba(
        stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4));
    if (!rgba) {
        const char* reason = stbi_failure_reason();
        if (reason && std::strcmp(reason, "outofmem") == 0)
            throw std::bad_alloc();
        return PNGStatus::Damaged;
    }
    if (w != static_cast<int>(width) || h != static_cast<int>(height) || channels != 4)
        return PNGStatus::Damaged;
    TPicture result(w, h);
    const stbi_uc* from = rgba.get();
    for (std::size_t i = 0; i < result.Pixels.size(); i += 4) {
        result.Pixels[i] = from[i + 2];
        result.Pixels[i + 1] = from[i + 1];
        result.Pixels[i + 2] = from[i];
        result.Pixels[i + 3] = from[i + 3];
    }
    picture = std::move(result);
    return PNGStatus::Ok;
}

} // namespace paddock
