#include "formats/TGA.h"

#include "formats/TextureCodec.h"

#include <cstring>
#include <stdexcept>

namespace paddock {

namespace {

constexpr std::uint8_t TypeTrueColour = 2;
constexpr std::uint8_t TypeTrueColourRLE = 10;
constexpr std::uint8_t DescriptorTopLeft = 0x20;
constexpr int MaxPacketPixels = 128;

void put16(std::vector<std::uint8_t>& out, std::size_t at, unsigned value)
{
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

unsigned get16(const std::uint8_t* p)
{
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

bool samePixel(const std::uint8_t* a, const std::uint8_t* b)
{
    return std::memcmp(a, b, 4) == 0;
}

void encodeRow(const std::uint8_t* row, int width, std::vector<std::uint8_t>& out)
{
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < MaxPacketPixels && samePixel(row + (x + run) * 4, row + x * 4))
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), row + x * 4, row + x * 4 + 4);
            x += run;
            continue;
        }
        // Raw pixels up to the start of the next run, the row's end or 128.
        const int start = x;
        int count = 0;
        while (x < width && count < MaxPacketPixels) {
            if (x + 1 < width && samePixel(row + (x + 1) * 4, row + x * 4))
                break;
            ++x;
            ++count;
        }
        out.push_back(static_cast<std::uint8_t>(count - 1));
        out.insert(out.end(), row + start * 4, row + (start + count) * 4);
    }
}

} // namespace

std::vector<std::uint8_t> EncodeTGA(const TPicture& picture)
{
    if (picture.Width < 0 || picture.Height < 0 || picture.Width > MaxTGASide || picture.Height > MaxTGASide)
        throw std::invalid_argument("A TGA picture is at most 65535 pixels wide and high");
    std::vector<std::uint8_t> out(TGAHeaderSize, 0);
    out[2] = TypeTrueColourRLE;
    put16(out, 5, 256);
    out[7] = 24;
    put16(out, 12, static_cast<unsigned>(picture.Width));
    put16(out, 14, static_cast<unsigned>(picture.Height));
    out[16] = 32;
    out[17] = DescriptorTopLeft;
    out.reserve(TGAHeaderSize + picture.Pixels.size() / 2);
    for (int y = 0; y < picture.Height; ++y)
        encodeRow(picture.Row(y), picture.Width, out);
    return out;
}

TGAStatus DecodeTGA(const std::uint8_t* data, std::size_t size, TPicture& picture)
{
    if (size < TGAHeaderSize)
        return TGAStatus::Truncated;
    const std::uint8_t idLength = data[0];
    const std::uint8_t colourMapType = data[1];
    const std::uint8_t imageType = data[2];
    const unsigned colourMapLength = get16(data + 5);
    const unsigned colourMapEntryBits = data[7];
    const int width = static_cast<int>(get16(data + 12));
    const int height = static_cast<int>(get16(data + 14));
    const std::uint8_t depth = data[16];
    const bool topFirst = (data[17] & DescriptorTopLeft) != 0;

    if ((imageType != TypeTrueColour && imageType != TypeTrueColourRLE) || depth != 32)
        return TGAStatus::NotTrueColour32;
    if (width % 4 != 0 || height % 4 != 0)
        return TGAStatus::SizeNotMultipleOf4;
    if (width == 0 || height == 0 || width > MaxTextureSide || height > MaxTextureSide)
        return TGAStatus::SizeOutOfRange;

    std::size_t pos = TGAHeaderSize + idLength;
    if (colourMapType == 1)
        pos += static_cast<std::size_t>(colourMapLength) * ((colourMapEntryBits + 7) / 8);
    if (pos > size)
        return TGAStatus::Truncated;

    // A file too short for even the smallest coding of its pixels (raw data,
    // or one full run packet per 128 pixels) is refused before the picture
    // is allocated.
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t leastData =
        imageType == TypeTrueColour ? pixels * 4 : (pixels + MaxPacketPixels - 1) / MaxPacketPixels * 5;
    if (size - pos < leastData)
        return TGAStatus::Truncated;
    TPicture result(width, height);
    std::uint8_t* dest = result.Pixels.data();
    if (imageType == TypeTrueColour) {
        std::memcpy(dest, data + pos, pixels * 4);
    } else {
        std::size_t done = 0;
        while (done < pixels) {
            if (pos >= size)
                return TGAStatus::Truncated;
            const std::uint8_t header = data[pos++];
            const std::size_t count = static_cast<std::size_t>(header & 0x7F) + 1;
            if (count > pixels - done)
                return TGAStatus::RunPastPicture;
            if (header & 0x80) {
                if (size - pos < 4)
                    return TGAStatus::Truncated;
                for (std::size_t i = 0; i < count; ++i)
                    std::memcpy(dest + (done + i) * 4, data + pos, 4);
                pos += 4;
            } else {
                if (size - pos < count * 4)
                    return TGAStatus::Truncated;
                std::memcpy(dest + done * 4, data + pos, count * 4);
                pos += count * 4;
            }
            done += count;
        }
    }

    if (!topFirst) {
        std::vector<std::uint8_t> swap(result.RowBytes());
        for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            std::memcpy(swap.data(), result.Row(top), swap.size());
            std::memcpy(result.Row(top), result.Row(bottom), swap.size());
            std::memcpy(result.Row(bottom), swap.data(), swap.size());
        }
    }
    picture = std::move(result);
    return TGAStatus::Ok;
}

} // namespace paddock
