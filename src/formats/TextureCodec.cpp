#include "formats/TextureCodec.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/DXTBlock.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace paddock {

// Texels are handled as 32-bit values whose bytes in memory are the
// picture's blue, green, red, alpha.
static_assert(std::endian::native == std::endian::little, "the codec assumes a little-endian machine");

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
    const std::size_t blocksWide = (static_cast<std::size_t>(width) + 3) / 4;
    const std::size_t blocks = blocksWide * ((static_cast<std::size_t>(height) + 3) / 4);
    return blocks * (format == DXTFormat::DXT1 ? 8u : 16u);
}

namespace {

inline std::size_t blockBytes(DXTFormat format)
{
    return format == DXTFormat::DXT1 ? 8u : 16u;
}

} // namespace

TPicture DecodeDXT(DXTFormat format, const std::uint8_t* data, int width, int height)
{
    // No blocks to read: a negative side must not reach the picture's size.
    if (width <= 0 || height <= 0)
        return TPicture();
    TPicture picture(width, height);
    const bool dxt5 = format == DXTFormat::DXT5;
    const std::size_t bytes = blockBytes(format);
    const int blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    const std::size_t pitch = picture.RowBytes();
    dxt::Texel texels[16];
    for (int by = 0; by < blocksHigh; ++by) {
        const int rows = std::min(4, height - 4 * by);
        const std::uint8_t* block = data + static_cast<std::size_t>(by) * static_cast<std::size_t>(blocksWide) * bytes;
        std::uint8_t* dst = picture.Row(4 * by);
        for (int bx = 0; bx < blocksWide; ++bx, block += bytes, dst += 16) {
            dxt::DecodeBlock(block, dxt5, texels);
            const int cols = std::min(4, width - 4 * bx);
            if (rows == 4 && cols == 4) {
                for (int r = 0; r < 4; ++r)
                    std::memcpy(dst + r * pitch, texels + 4 * r, 16);
            } else {
                for (int r = 0; r < rows; ++r)
                    std::memcpy(dst + r * pitch, texels + 4 * r, static_cast<std::size_t>(cols) * 4u);
            }
        }
    }
    return picture;
}

namespace {

bool pixelsMatchSize(const TPicture& picture)
{
    const std::size_t w = static_cast<std::size_t>(std::max(picture.Width, 0));
    const std::size_t h = static_cast<std::size_t>(std::max(picture.Height, 0));
    return picture.Pixels.size() == w * h * 4u;
}

void encodeBlockRow(DXTFormat format, const TPicture& picture, int by, std::uint8_t* out)
{
    const int blocksWide = (picture.Width + 3) / 4;
    const int rows = std::min(4, picture.Height - 4 * by);
    const std::size_t bytes = blockBytes(format);
    // A block equal to the one before it (flat paint) is encoded equally: its
    // bytes are copied.
    dxt::BlockTexels texels, previous;
    const std::uint8_t* previousOut = nullptr;
    for (int bx = 0; bx < blocksWide; ++bx, out += bytes) {
        const int cols = std::min(4, picture.Width - 4 * bx);
        std::memset(texels.bgra, 0, sizeof texels.bgra);
        texels.mask = 0;
        for (int r = 0; r < rows; ++r) {
            std::memcpy(texels.bgra + 16 * r, picture.Pixel(4 * bx, 4 * by + r), static_cast<std::size_t>(cols) * 4u);
            texels.mask |= ((1u << cols) - 1u) << (4 * r);
        }
        if (previousOut && texels.mask == previous.mask &&
            std::memcmp(texels.bgra, previous.bgra, sizeof texels.bgra) == 0) {
            std::memcpy(out, previousOut, bytes);
            continue;
        }
        if (format == DXTFormat::DXT5) {
            dxt::EncodeAlphaBlock(texels, out);
            dxt::EncodeColourBlock(texels, false, out + 8);
        } else {
            dxt::EncodeColourBlock(texels, true, out);
        }
        previous = texels;
        previousOut = out;
    }
}

} // namespace

std::vector<std::uint8_t> EncodeDXT(DXTFormat format, const TPicture& picture, unsigned threads)
{
    if (!pixelsMatchSize(picture))
        throw std::invalid_argument("EncodeDXT: the picture's pixels do not match its size");
    std::vector<std::uint8_t> out(DXTDataSize(format, picture.Width, picture.Height));
    if (out.empty())
        return out;
    const int blocksWide = (picture.Width + 3) / 4, blocksHigh = (picture.Height + 3) / 4;
    const std::size_t rowBytes = static_cast<std::size_t>(blocksWide) * blockBytes(format);

    // Every block is encoded on its own, so the rows of blocks can be shared
    // out in any order: the result does not depend on the number of threads.
    unsigned workers = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min(workers, static_cast<unsigned>(blocksHigh));
    if (static_cast<long>(blocksWide) * blocksHigh < 64)
        workers = 1;
    std::atomic<int> next{0};
    auto work = [&] {
        for (int by; (by = next.fetch_add(1, std::memory_order_relaxed)) < blocksHigh;)
            encodeBlockRow(format, picture, by, out.data() + static_cast<std::size_t>(by) * rowBytes);
    };
    std::vector<std::thread> pool;
    pool.reserve(workers); // only starting a thread can fail below, never the vector
    for (unsigned i = 1; i < workers; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads: the others share the rows
        }
    }
    work();
    for (std::thread& t : pool)
        t.join();
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
    std::vector<std::uint8_t> data;
    try {
        data.resize(DXTDataSize(*format, params.Width, params.Height));
    } catch (const std::bad_alloc&) {
        ShowErrorMessage("GP4TEX Error 005: Error while creating texture");
        return std::nullopt;
    }
    stream.ReadBuffer(data.data(), data.size());
    try {
        return DecodeDXT(*format, data.data(), params.Width, params.Height);
    } catch (const std::bad_alloc&) {
        ShowErrorMessage("GP4TEX Error 008: Error while creating BMP texture");
        return std::nullopt;
    }
}

bool TextureCodec::Encode(const TTextureParams& params, const TPicture& picture, TStream& stream)
{
    if (!validSize(params.Width, params.Height) || picture.Width != params.Width || picture.Height != params.Height ||
        !pixelsMatchSize(picture)) {
        ShowErrorMessage("GP4TEX Error 005: Error while creating BMP texture");
        return false;
    }
    const auto format = FormatFromFourCC(params.FourCC);
    if (!format) {
        ShowErrorMessage("GP4TEX Error 008: Error while creating texture");
        return false;
    }
    std::vector<std::uint8_t> data;
    try {
        data = EncodeDXT(*format, picture);
    } catch (const std::bad_alloc&) {
        ShowErrorMessage("GP4TEX Error 008: Error while creating texture");
        return false;
    }
    stream.WriteBuffer(data.data(), data.size());
    return true;
}

} // namespace paddock
