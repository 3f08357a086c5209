// The entry functions of the fuzz targets: each takes any bytes and hands
// them to one reader of untrusted files the way the program does. A refusal
// (the reader's message, or an EFileError) is an answer; every other
// exception leaves the entry. The libFuzzer programs and the replay of the
// kept cases in the core tests call the same functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace paddock::fuzz {

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

// A reader that took bytes and gave back something that breaks what it
// promises (a round trip that changes the textures, a picture of the wrong
// size).
class EBrokenPromise : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The TEX container read from a file; what it accepts is written again.
int FuzzTexFile(const std::uint8_t* data, std::size_t size);
// The TEX container read in place from memory, with and without decoding.
int FuzzTexBuffer(const std::uint8_t* data, std::size_t size);
// A container read, written and read again has the same textures.
int FuzzTexRoundTrip(const std::uint8_t* data, std::size_t size);
// The TGA reader; what it accepts is written and read back unchanged.
int FuzzTga(const std::uint8_t* data, std::size_t size);
// The PNG reader; what it accepts is written and read back unchanged.
int FuzzPng(const std::uint8_t* data, std::size_t size);
// The DXT decoder: a format byte, a width and a height (32-bit signed,
// little-endian), then the blocks.
int FuzzDxt(const std::uint8_t* data, std::size_t size);
// The WAD directory read from a file, listed and measured.
int FuzzWadDirectory(const std::uint8_t* data, std::size_t size);
// Every member of a WAD read, and read as a texture container.
int FuzzWadMember(const std::uint8_t* data, std::size_t size);
// Files made from the bytes, written as a WAD and read back: the same names
// and bytes.
int FuzzWadRoundTrip(const std::uint8_t* data, std::size_t size);
// The mesh reader, the shapes' walks and the 3DS export.
int FuzzGp4(const std::uint8_t* data, std::size_t size);
// The link map reader, with a source folder that holds src/main.cpp.
int FuzzLinkMap(const std::uint8_t* data, std::size_t size);
// The DebugInfo.EIF reader; what it accepts is written and read back equal.
int FuzzDebugInfo(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
    const char* Name; // the folder name of its corpus and kept cases
    FuzzEntry Entry;
};
// Every target, by name.
const std::vector<FuzzTarget>& FuzzTargets();

} // namespace paddock::fuzz
