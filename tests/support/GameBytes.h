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

} // namespace paddock::testing
