// The 3D Studio chunk format (3DS): a tree of chunks, each a u16 id, a u32
// length that counts the whole chunk with its 6-byte header, and its content.
// T3DSWriter writes such a tree to a stream: containers get their length
// patched in once their content is written, leaf chunks are given theirs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace paddock {

class TStream;

// A chunk's length is a u32: no chunk, the main chunk that holds all others
// included, may be longer than this.
inline constexpr std::uint64_t Max3DSChunkLength = 0xFFFFFFFF;

// The name of material `index`: "mate" and the index in decimal, zero-padded
// to five digits ("mate00001", "mate00010"); an index above 99999 has its
// own digits. No two materials share a name, and every name stays within the
// 16 characters a 3DS material name may have.
std::string Material3DSName(std::size_t index);

// What one object of the export holds.
struct T3DSObjectCounts {
    std::size_t NameLength = 0; // without the terminating zero
    std::int64_t Points = 0;
    std::int64_t Faces = 0;
};

// The lengths of the chunks that the mesh export writes, worked out before
// anything is written: of one object (its named-object chunk) and of the
// whole file (its main chunk, which holds every other chunk).
std::uint64_t Object3DSLength(const T3DSObjectCounts& object);
std::uint64_t Main3DSLength(std::size_t materials, const std::vector<T3DSObjectCounts>& objects);

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
