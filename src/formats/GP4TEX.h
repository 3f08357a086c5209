// The game's texture containers (.TEX). A container is a 340-byte header area
// (magic 00 58 45 54, two values kept as read, the layout flag, the texture
// count, 0xFF filler and the offset table at 212 or 276) followed by one block
// per texture: a 128-byte record laid out as a DDS header, then the texture's
// level-0 data in DXT1 or DXT5. TTEXFile reads a container whole, turns every
// texture into a 32-bit picture, lets its users read, replace and rescale the
// pictures, exchanges them with TGA files and writes the container back.
#pragma once

#include "formats/Picture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paddock {

class TStream;

inline constexpr std::uint32_t TEXMagic = 0x54455800; // the bytes 00 58 45 54
// The header area ends here; a saved container's first block starts here.
inline constexpr std::uint32_t TEXHeaderAreaSize = 340;
// A stream of this many bytes or fewer holds no container.
inline constexpr std::int64_t TEXMinimumRejectedSize = 276;

// A texture's 128-byte record: a DDS file's magic and surface description.
// The program reads the fields named here and keeps every other byte.
struct TTEXTextureHeader {
    static constexpr std::size_t Size = 128;
    static constexpr std::size_t HeightOffset = 12;
    static constexpr std::size_t WidthOffset = 16;
    static constexpr std::size_t LinearSizeOffset = 20;
    static constexpr std::size_t MipMapCountOffset = 28;
    static constexpr std::size_t FourCCOffset = 84;

    std::array<std::uint8_t, Size> Bytes{};

    // The little-endian 32-bit value at a byte offset of the record.
    std::uint32_t Field(std::size_t offset) const;
    void SetField(std::size_t offset, std::uint32_t value);

    std::uint32_t Width() const { return Field(WidthOffset); }
    std::uint32_t Height() const { return Field(HeightOffset); }
    std::uint32_t LinearSize() const { return Field(LinearSizeOffset); }
    std::uint32_t MipMapCount() const { return Field(MipMapCountOffset); }
    std::uint32_t FourCC() const { return Field(FourCCOffset); }

    bool operator==(const TTEXTextureHeader&) const = default;
};

// One entry of the offset table.
struct TTEXTableEntry {
    std::uint32_t Offset = 0; // of the texture's block, from the container's first byte
    std::uint32_t Size = 0;   // of the whole block, record plus data

    bool operator==(const TTEXTableEntry&) const = default;
};

class TTEXFile {
public:
    // An empty container.
    TTEXFile() = default;
    // An empty container, then LoadFromFile(fileName) unless the name is
    // empty; the load's result is not reported (its messages are shown).
    explicit TTEXFile(const std::string& fileName);

    // Where the offset table starts and how many entries fit before the
    // first block: 212 and 16 for layout flag 0, 276 and 8 otherwise.
    static std::uint32_t TableStart(std::uint32_t layoutFlag);
    static std::uint32_t TableRoom(std::uint32_t layoutFlag);

    // The path of the last LoadFromFile; empty after LoadFromBuffer.
    std::string FileName;
    std::uint32_t Header1 = 0;
    std::uint32_t Header2 = 0;
    std::uint32_t LayoutFlag = 0;
    // Changed only by loading; Headers, Table and Pictures always hold Count
    // entries.
    std::uint32_t Count = 0;
    std::vector<TTEXTextureHeader> Headers;
    // As read; recomputed by every save.
    std::vector<TTEXTableEntry> Table;
    // Empty for a texture whose format is not DXT1 or DXT5 or that could not
    // be decoded. The record's Width and Height always equal the picture's.
    std::vector<std::optional<TPicture>> Pictures;

    // Each load shows its messages and returns false when the container is
    // refused; the object is then unchanged (apart from FileName). A
    // container whose textures' blocks (record and data) overlap is refused:
    // each texture's bytes are its own, so that what a load decodes is
    // bounded by the container's size. A texture that cannot be decoded is
    // left empty and does not fail the load.
    // File errors (EFileError) are not caught.
    bool LoadFromFile(const std::string& fileName);
    // Reads the caller's block in place; it must stay valid during the call.
    // Without decode the container's layout and records are read and checked
    // as always, but no texture gets a picture or keeps its data: for a
    // caller that gives every texture a new picture before it saves.
    bool LoadFromBuffer(const void* bytes, std::size_t length, bool decode = true);
    // The stream holds the container from position 0.
    bool LoadFromStream(TStream& stream, bool decode = true);

    // Writes the container beside the target (creating missing folders) and
    // replaces the target only when it is complete. FileName is unchanged.
    bool SaveToFile(const std::string& fileName);
    // Writes the container from the stream's position and leaves the stream
    // at its end: the header area, then every texture's block in order, each
    // directly after the previous. A texture whose picture is still the one
    // decoded at load is written with the data it was read with; every other
    // picture is encoded in the record's format. False, with nothing
    // written, when Count does not fit the layout's offset table.
    bool SaveToStream(TStream& stream);

    // The container's own picture of a texture; nullptr for an invalid index
    // or an empty texture. Pictures change only through the operations below.
    const TPicture* GetBitmap(int index) const;
    // A new grey picture of a texture's alpha channel, or none.
    std::optional<TPicture> GetAlphaBitmap(int index) const;
    // A copy of the texture's record; 128 zero bytes for an invalid index.
    TTEXTextureHeader GetHeader(int index) const;

    // Replaces the texture's picture with a copy of the given one and sets
    // the record's Width, Height and linear size (Width * Height). Nothing
    // happens for an invalid index. A picture whose pixel block does not
    // match its size is a programming error (std::invalid_argument).
    void SetBitmap(int index, const TPicture& picture);
    // As SetBitmap with texture sourceIndex of source, taking that texture's
    // compressed data along: while the source texture's picture is still the
    // one its data decodes to and the formats and sizes agree, a save writes
    // those blocks as they are instead of encoding the picture again. False,
    // with nothing changed, for an invalid index or a source texture without
    // a picture.
    bool CopyTexture(int index, const TTEXFile& source, int sourceIndex);
    // Rebuilds textures 1 to Count - 1 as ever smaller copies of texture 0:
    // each step divides the previous size by factor and rounds it up to a
    // multiple of 4; every destination pixel is one whole source pixel.
    // True also when there is nothing to rebuild; false, with nothing changed,
    // for factor 0 or when texture 0 has no picture.
    bool Downsample(std::uint8_t factor);

    // Writes the texture's picture as a TGA file (run-length encoded, top row
    // first). False, with nothing written, for an invalid index or an empty
    // texture.
    bool ExportTGA(int index, const std::string& fileName) const;
    // ExportPicture of every texture to the mask with each "*" replaced by
    // its number (0, 1, ...): TGA files, or PNG files for a mask ending in
    // ".png". True when every export was.
    bool ExportAllTGA(const std::string& mask) const;
    // Replaces the texture's picture from a 32-bit TGA file whose width and
    // height are multiples of 4 from 4 to 16384. Anything else is refused
    // with a message and the texture keeps its picture. False also for an
    // invalid index (the file is not read).
    bool ImportTGA(int index, const std::string& fileName);
    // ImportPicture of every texture from the mask as in ExportAllTGA; all
    // are tried. True when every import was.
    bool ImportAllTGA(const std::string& mask);
    // The same exchange through PNG files: written as 8-bit colour with
    // alpha; read only as such (32 bits a pixel), with the same sizes as TGA.
    bool ExportPNG(int index, const std::string& fileName) const;
    bool ImportPNG(int index, const std::string& fileName);
    // The exchange the file's extension names: PNG for ".png" in any letter
    // case, TGA for any other.
    bool ExportPicture(int index, const std::string& fileName) const;
    bool ImportPicture(int index, const std::string& fileName);

private:
    // The level-0 data a texture was read with, kept so that a save writes a
    // texture whose picture was not changed exactly as it was read.
    struct TStoredData {
        std::uint32_t FourCC = 0;
        std::uint32_t Width = 0;
        std::uint32_t Height = 0;
        std::vector<std::uint8_t> Bytes;
        // Of the picture the bytes decode to.
        std::uint64_t PictureFingerprint = 0;
    };

    bool validIndex(int index) const;
    std::vector<std::optional<TStoredData>> stored_;
};

} // namespace paddock
