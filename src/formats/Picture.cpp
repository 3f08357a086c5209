#include "formats/Picture.h"

#include <algorithm>

namespace paddock {

namespace {

// The source pixels that a pixel of a row (or column) of to pixels covers
// when from pixels are scaled to it: the first, and how much of each lies
// under it, in units of 1 / to of a source pixel (they add up to from).
struct Span {
    int first = 0;
    std::vector<std::uint64_t> weights;
};

std::vector<Span> spans(std::uint64_t from, std::uint64_t to)
{
    std::vector<Span> result(static_cast<std::size_t>(to));
    for (std::uint64_t x = 0; x < to; ++x) {
        // In these units source pixel p covers [p * to, (p + 1) * to) and
        // the new pixel x covers [x * from, (x + 1) * from).
        const std::uint64_t begin = x * from;
        const std::uint64_t end = begin + from;
        Span& span = result[static_cast<std::size_t>(x)];
        span.first = static_cast<int>(begin / to);
        for (std::uint64_t p = begin / to; p * to < end; ++p)
            span.weights.push_back(std::min(end, (p + 1) * to) - std::max(begin, p * to));
    }
    return result;
}

} // namespace

TPicture ScalePicture(const TPicture& source, int width, int height)
{
    if (source.Empty() || width <= 0 || height <= 0)
        return {};
    TPicture scaled(width, height);
    const std::vector<Span> columns = spans(static_cast<std::uint64_t>(source.Width), static_cast<std::uint64_t>(width));
    const std::vector<Span> rows = spans(static_cast<std::uint64_t>(source.Height), static_cast<std::uint64_t>(height));
    const std::uint64_t total = static_cast<std::uint64_t>(source.Width) * static_cast<std::uint64_t>(source.Height);
    for (int y = 0; y < height; ++y) {
        const Span& row = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const Span& column = columns[static_cast<std::size_t>(x)];
            std::uint64_t alpha = 0;
            std::uint64_t weighted[3] = {0, 0, 0}; // by area and alpha
            std::uint64_t plain[3] = {0, 0, 0};    // by area alone
            for (std::size_t j = 0; j < row.weights.size(); ++j) {
                const std::uint8_t* from = source.Pixel(column.first, row.first + static_cast<int>(j));
                for (std::size_t i = 0; i < column.weights.size(); ++i, from += 4) {
                    const std::uint64_t area = row.weights[j] * column.weights[i];
                    const std::uint64_t covered = area * from[3];
                    alpha += covered;
                    for (int c = 0; c < 3; ++c) {
                        weighted[c] += covered * from[c];
                        plain[c] += area * from[c];
                    }
                }
            }
            std::uint8_t* to = scaled.Pixel(x, y);
            for (int c = 0; c < 3; ++c)
                to[c] = static_cast<std::uint8_t>(alpha > 0 ? (weighted[c] + alpha / 2) / alpha
                                                            : (plain[c] + total / 2) / total);
            to[3] = static_cast<std::uint8_t>((alpha + total / 2) / total);
        }
    }
    return scaled;
}

} // namespace paddock
