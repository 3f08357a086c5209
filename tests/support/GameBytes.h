// Reading the game files' bytes in tests, independently of the program's own
// readers: little-endian numbers and the saved configuration's seal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace paddock::testing {

inline std::uint32_t ByteAt(const std::string& bytes, std::size_t offset)
{
    return static_cast<std::uint8_t>(bytes.at(offset));
}

inline std::uint32_t Le16(const std::string& bytes, std::size_t offset)
{
    return ByteAt(bytes, offset) | ByteAt(bytes, offset + 1) << 8;
}

inline std::uint32_t Le32(const std::string& bytes, std::size_t offset)
{
    return Le16(bytes, offset) | Le16(bytes, offset + 2) << 16;
}

// The saved configuration's seal, computed here on its own: a sum and a sum
// rotated left by 3 bits before each byte, both 16 bits, over every byte but
// the last four; 0x8065 and 0x8465 added; the sum stored first.
inline std::uint32_t SaveFileSeal(const std::string& file)
{
    std::uint32_t sum = 0, rot = 0;
    for (std::size_t i = 0; i + 4 < file.size(); ++i) {
        const std::uint32_t b = ByteAt(file, i);
        sum = (sum + b) & 0xFFFF;
        rot = (((rot << 3) | (rot >> 13)) + b) & 0xFFFF;
    }
    return ((rot + 0x8465) & 0xFFFF) << 16 | ((sum + 0x8065) & 0xFFFF);
}

// Puts the seal into the file's last four bytes.
inline void Reseal(std::string& file)
{
    const std::uint32_t seal = SaveFileSeal(file);
    for (std::size_t k = 0; k < 4; ++k)
        file[file.size() - 4 + k] = static_cast<char>(seal >> (8 * k));
}

// The members of an archive read straight from its bytes: the count, then
// 136-byte entries of a 128-byte name, the offset and the size.
using TArchiveMembers = std::vector<std::pair<std::string, std::string>>;
inline TArchiveMembers ArchiveMembers(const std::string& wad)
{
    TArchiveMembers members;
    const std::uint32_t count = Le32(wad, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 4 + 136 * static_cast<std::size_t>(i);
        std::string name = wad.substr(entry, 128);
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        members.emplace_back(name, wad.substr(Le32(wad, entry + 128), Le32(wad, entry + 132)));
    }
    return members;
}

// The bytes of the member of that name; empty when there is none.
inline std::string MemberBytes(const TArchiveMembers& members, const std::string& name)
{
    for (const auto& [n, bytes] : members)
        if (n == name)
            return bytes;
    return {};
}

// A PNG file of our own making, independent of the program's writer: the
// header (8 bits a channel, the colour type given), then the rows, each
// after a filter byte of 0, in one stored deflate block (so at most 65535
// bytes of rows), and the end. The
// chunks' CRCs are left zero (the reader does not check them).
inline std::string StoredPNG(std::uint32_t width, std::uint32_t height, std::uint8_t colourType,
                             const std::string& pixels, std::uint8_t depth = 8)
{
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    auto le16 = [](std::uint32_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    std::string rows;
    const std::size_t rowBytes = height ? pixels.size() / height : 0;
    for (std::uint32_t y = 0; y < height; ++y)
        rows += '\0' + pixels.substr(y * rowBytes, rowBytes);
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : rows) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const auto n = static_cast<std::uint32_t>(rows.size());
    const std::string zlib = std::string("\x78\x01\x01", 3) + le16(n) + le16(~n & 0xFFFF) + rows + be32((b << 16) | a);
    auto chunk = [&](const std::string& type, const std::string& data) {
        return be32(static_cast<std::uint32_t>(data.size())) + type + data + std::string(4, '\0');
    };
    const std::string header =
        be32(width) + be32(height) + std::string{static_cast<char>(depth), static_cast<char>(colourType), 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", "");
}

} // namespace paddock::testing
