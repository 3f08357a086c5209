// The 3D Studio chunk format (3DS): a tree of chunks, each a u16 id, a u32
// length that counts the whole chunk with its 6-byte header, and its content.
// T3DSWriter writes such a tree to a stream: containers get their length
// patched in once their content is written, leaf chunks are given theirs.
#pragma once

#include <cstdint>
#include <string>

namespace paddock {

class TStream;

class T3DSWriter {
public:
    explicit T3DSWriter(TStream& stream) : stream_(stream) {}

    // Writes the id and a placeholder length; returns where the length goes,
    // for Close. Containers are closed in the reverse order of opening.
    std::int64_t Open(std::uint16_t id);
    // Patches the container's length: from its id to the stream's position.
    void Close(std::int64_t lengthAt);
    // Writes the header of a chunk of dataSize bytes of content, which the
    // caller writes next.
    void Leaf(std::uint16_t id, std::uint32_t dataSize);

    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void Float(float v);
    void Bytes(const void* data, std::size_t count);
    // The text and a terminating zero byte.
    void Text(const std::string& text);

private:
    TStream& stream_;
};

} // namespace paddock
