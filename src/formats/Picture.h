// A 32-bit picture: Width x Height pixels, 4 bytes each in the order blue,
// green, red, alpha; row 0 is the top row; rows are Width * 4 bytes apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paddock {

struct TPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels; // Width * Height * 4 bytes

    TPicture() = default;
    TPicture(int width, int height)
        : Width(width), Height(height),
          Pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0)
    {
    }

    bool Empty() const { return Width <= 0 || Height <= 0; }
    std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * 4u; }
    std::uint8_t* Row(int y) { return Pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    const std::uint8_t* Row(int y) const { return Pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    std::uint8_t* Pixel(int x, int y) { return Row(y) + static_cast<std::size_t>(x) * 4u; }
    const std::uint8_t* Pixel(int x, int y) const { return Row(y) + static_cast<std::size_t>(x) * 4u; }

    bool operator==(const TPicture&) const = default;
};

// The picture scaled to width x height by the area each new pixel covers:
// every pixel is the average of the source pixels under it, each weighted by
// how much of it lies there; colours are weighted by their alpha as well, so
// that what is transparent lends no colour (where everything under a pixel
// is transparent, its colours are averaged plainly). A picture of the same
// size comes back unchanged. Empty for an empty source or size.
TPicture ScalePicture(const TPicture& source, int width, int height);

} // namespace paddock
