#include "formats/GP4TEX.h"

#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/PNG.h"
#include "formats/TGA.h"
#include "formats/TextureCodec.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace paddock {

namespace {

const char* const ErrNoHeader = "GP4TEX Error 001: Invalid TEX. No header found";
const char* const ErrNoMagic = "GP4TEX Error 002: Invalid TEX. Magic ID not found";
const char* const ErrFourCC = "GP4TEX Error 004: Invalid texture. Unsupported FourCC";
const char* const ErrTGASize = "GP4TEX Error 013: Invalid TGA. Width and height must be multiples of 4";
const char* const ErrTGADepth = "GP4TEX Error 014: Invalid TGA. Needs to be 32 Bit (24 Bit Colors + Alpha Channel)";
const char* const ErrTableRoom = "GP4TEX Error 015: Invalid TEX. More textures than the offset table holds";
const char* const ErrPastEnd = "GP4TEX Error 016: Invalid TEX. Table or texture runs past the end of the data";
const char* const ErrTooLarge = "GP4TEX Error 017: Invalid TEX. Texture width or height above 16384";
const char* const ErrTGARange = "GP4TEX Error 018: Invalid TGA. Width and height must be from 4 to 16384";
const char* const ErrTGATruncated = "GP4TEX Error 019: Invalid TGA. The file ends before the picture does";
const char* const ErrTGARunPast = "GP4TEX Error 020: Invalid TGA. A run-length packet runs past the end of the picture";
const char* const ErrSharedBlock = "GP4TEX Error 021: Invalid TEX. Two textures share the same bytes";
const char* const ErrPNGNotPNG = "GP4TEX Error 022: Invalid PNG. No PNG signature and header found";
const char* const ErrPNGDepth =
    "GP4TEX Error 023: Invalid PNG. Needs to be 32 Bit (24 Bit Colors + Alpha Channel, 8 Bit each)";
const char* const ErrPNGSize = "GP4TEX Error 024: Invalid PNG. Width and height must be multiples of 4";
const char* const ErrPNGRange = "GP4TEX Error 025: Invalid PNG. Width and height must be from 4 to 16384";
const char* const ErrPNGDamaged = "GP4TEX Error 026: Invalid PNG. The picture data is damaged or ends early";

constexpr std::uint32_t TableAt0 = 212;
constexpr std::uint32_t TableAtOther = 276;

// Opens a codec for one read or write and closes it however the call ends.
class CodecSession {
public:
    bool Open() { return open_ = codec_.Open(); }
    ~CodecSession()
    {
        if (open_)
            codec_.Close();
    }
    TextureCodec* operator->() { return &codec_; }

private:
    TextureCodec codec_;
    bool open_ = false;
};

std::uint32_t readU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void writeU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void writeValue(TStream& stream, std::uint32_t v)
{
    std::uint8_t bytes[4];
    writeU32(bytes, v);
    stream.WriteBuffer(bytes, sizeof bytes);
}

TTextureParams paramsOf(const TTEXTextureHeader& header)
{
    // Only called for records whose sizes passed the limit check or that
    // were set from a picture; the codec refuses anything out of range.
    auto side = [](std::uint32_t v) { return v > static_cast<std::uint32_t>(MaxTextureSide) ? -1 : static_cast<int>(v); };
    return {side(header.Width()), side(header.Height()), header.MipMapCount(), header.FourCC()};
}

bool consistentPicture(const TPicture& picture)
{
    return picture.Width >= 0 && picture.Height >= 0 &&
           picture.Pixels.size() == static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height) * 4u;
}

std::string numbered(const std::string& mask, std::uint32_t i)
{
    return ReplaceAll(mask, "*", std::to_string(i));
}

// A 64-bit fingerprint of a picture's size and pixels: four independent
// multiply-and-fold lanes over 8-byte words, mixed at the end. Equal
// fingerprints stand for equal pictures; two different pictures share one
// with a chance of about one in 2^64.
std::uint64_t fingerprint(const TPicture& picture)
{
    constexpr std::uint64_t prime = 0x9E3779B97F4A7C15ull;
    auto mix = [](std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    };
    std::uint64_t lanes[4] = {prime, prime * 3, prime * 5, prime * 7};
    const std::uint8_t* bytes = picture.Pixels.data();
    const std::size_t size = picture.Pixels.size();
    std::size_t at = 0;
    for (; at + 32 <= size; at += 32) {
        for (int k = 0; k < 4; ++k) {
            std::uint64_t word;
            std::memcpy(&word, bytes + at + 8 * static_cast<std::size_t>(k), 8);
            lanes[k] = (lanes[k] ^ word) * prime;
            lanes[k] ^= lanes[k] >> 29;
        }
    }
    std::uint64_t h = mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(picture.Width)) << 32 |
                          static_cast<std::uint32_t>(picture.Height));
    for (; at < size; ++at)
        h = (h ^ bytes[at]) * prime;
    for (std::uint64_t lane : lanes)
        h = mix(h ^ mix(lane));
    return mix(h ^ size);
}

} // namespace

// ---------------------------------------------------------------------------

std::uint32_t TTEXTextureHeader::Field(std::size_t offset) const
{
    return readU32(Bytes.data() + offset);
}

void TTEXTextureHeader::SetField(std::size_t offset, std::uint32_t value)
{
    writeU32(Bytes.data() + offset, value);
}

// ---------------------------------------------------------------------------

TTEXFile::TTEXFile(const std::string& fileName)
{
    if (!fileName.empty())
        LoadFromFile(fileName);
}

std::uint32_t TTEXFile::TableStart(std::uint32_t layoutFlag)
{
    return layoutFlag == 0 ? TableAt0 : TableAtOther;
}

std::uint32_t TTEXFile::TableRoom(std::uint32_t layoutFlag)
{
    return (TEXHeaderAreaSize - TableStart(layoutFlag)) / 8;
}

bool TTEXFile::validIndex(int index) const
{
    return index >= 0 && static_cast<std::uint32_t>(index) < Count && static_cast<std::size_t>(index) < Headers.size() &&
           static_cast<std::size_t>(index) < Pictures.size();
}

// ---- Reading --------------------------------------------------------------

bool TTEXFile::LoadFromFile(const std::string& fileName)
{
    FileName = fileName;
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    return LoadFromStream(stream);
}

bool TTEXFile::LoadFromBuffer(const void* bytes, std::size_t length, bool decode)
{
    FileName.clear();
    TMemoryStreamEx stream;
    stream.SetPointer(bytes, length);
    return LoadFromStream(stream, decode);
}

bool TTEXFile::LoadFromStream(TStream& stream, bool decode)
{
    CodecSession codec;
    if (!codec.Open())
        return false;

    const std::int64_t size = stream.Size();
    if (size <= TEXMinimumRejectedSize) {
        ShowErrorMessage(ErrNoHeader);
        return false;
    }
    std::uint8_t fixed[20];
    stream.SetPosition(0);
    stream.ReadBuffer(fixed, sizeof fixed);
    if (readU32(fixed) != TEXMagic) {
        ShowErrorMessage(ErrNoMagic);
        return false;
    }
    const std::uint32_t header1 = readU32(fixed + 4);
    const std::uint32_t header2 = readU32(fixed + 8);
    const std::uint32_t layoutFlag = readU32(fixed + 12);
    const std::uint32_t count = readU32(fixed + 16);

    // Everything the container claims is checked against the table's room,
    // the size limit and the data present before anything is allocated for it.
    if (count > TableRoom(layoutFlag)) {
        ShowErrorMessage(ErrTableRoom);
        return false;
    }
    const std::int64_t tableStart = TableStart(layoutFlag);
    if (tableStart + static_cast<std::int64_t>(count) * 8 > size) {
        ShowErrorMessage(ErrPastEnd);
        return false;
    }
    std::vector<TTEXTableEntry> table(count);
    stream.SetPosition(tableStart);
    for (auto& entry : table) {
        std::uint8_t bytes[8];
        stream.ReadBuffer(bytes, sizeof bytes);
        entry.Offset = readU32(bytes);
        entry.Size = readU32(bytes + 4);
    }
    std::vector<TTEXTextureHeader> headers(count);
    std::vector<std::size_t> dataSizes(count, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::int64_t offset = table[i].Offset;
        if (offset + static_cast<std::int64_t>(TTEXTextureHeader::Size) > size) {
            ShowErrorMessage(ErrPastEnd);
            return false;
        }
        stream.SetPosition(offset);
        stream.ReadBuffer(headers[i].Bytes.data(), TTEXTextureHeader::Size);
        const auto format = FormatFromFourCC(headers[i].FourCC());
        if (!format)
            continue;
        const std::uint32_t width = headers[i].Width();
        const std::uint32_t height = headers[i].Height();
        if (width > static_cast<std::uint32_t>(MaxTextureSide) || height > static_cast<std::uint32_t>(MaxTextureSide)) {
            ShowErrorMessage(ErrTooLarge);
            return false;
        }
        dataSizes[i] = DXTDataSize(*format, static_cast<int>(width), static_cast<int>(height));
        if (offset + static_cast<std::int64_t>(TTEXTextureHeader::Size + dataSizes[i]) > size) {
            ShowErrorMessage(ErrPastEnd);
            return false;
        }
    }

    // Every texture has bytes of its own: a table that points several entries
    // at one block would have the same data decoded again and again, so that
    // a small file could cost any amount of memory.
    std::vector<std::pair<std::int64_t, std::int64_t>> blocks; // start, end
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::int64_t start = table[i].Offset;
        blocks.emplace_back(start, start + static_cast<std::int64_t>(TTEXTextureHeader::Size + dataSizes[i]));
    }
    std::sort(blocks.begin(), blocks.end());
    for (std::size_t k = 1; k < blocks.size(); ++k) {
        if (blocks[k].first < blocks[k - 1].second) {
            ShowErrorMessage(ErrSharedBlock);
            return false;
        }
    }

    std::vector<std::optional<TPicture>> pictures(count);
    std::vector<std::optional<TStoredData>> stored(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const TTEXTextureHeader& header = headers[i];
        if (!FormatFromFourCC(header.FourCC())) {
            ShowErrorMessage(ErrFourCC);
            continue;
        }
        if (!decode)
            continue;
        TStoredData data{header.FourCC(), header.Width(), header.Height(), std::vector<std::uint8_t>(dataSizes[i])};
        stream.SetPosition(static_cast<std::int64_t>(table[i].Offset) + static_cast<std::int64_t>(TTEXTextureHeader::Size));
        stream.ReadBuffer(data.Bytes.data(), data.Bytes.size());
        TMemoryStreamEx view;
        view.SetPointer(data.Bytes.data(), data.Bytes.size());
        pictures[i] = codec->Decode(paramsOf(header), view);
        if (pictures[i]) {
            data.PictureFingerprint = fingerprint(*pictures[i]);
            stored[i] = std::move(data);
        }
    }

    Header1 = header1;
    Header2 = header2;
    LayoutFlag = layoutFlag;
    Count = count;
    Table = std::move(table);
    Headers = std::move(headers);
    Pictures = std::move(pictures);
    stored_ = std::move(stored);
    return true;
}

// ---- Writing --------------------------------------------------------------

bool TTEXFile::SaveToFile(const std::string& fileName)
{
    const std::string folder = ExtractFilePath(fileName);
    if (!folder.empty() && !DirectoryExists(folder))
        ForceDirectories(folder);
    // Made in memory and written in one piece.
    TMemoryStream bytes;
    if (!SaveToStream(bytes))
        return false;
    TSafeFileStream file(fileName);
    file.WriteBuffer(bytes.Memory(), static_cast<std::size_t>(bytes.Size()));
    file.Commit();
    return true;
}

bool TTEXFile::SaveToStream(TStream& stream)
{
    if (Headers.size() != Count || Pictures.size() != Count)
        throw std::logic_error("TTEXFile: Count does not match the number of records and pictures");
    CodecSession codec;
    if (!codec.Open())
        return false;
    if (Count > TableRoom(LayoutFlag)) {
        ShowErrorMessage(ErrTableRoom);
        return false;
    }

    const std::int64_t start = stream.Position();
    writeValue(stream, TEXMagic);
    writeValue(stream, Header1);
    writeValue(stream, Header2);
    writeValue(stream, LayoutFlag);
    writeValue(stream, Count);
    const std::vector<std::uint8_t> filler(TEXHeaderAreaSize - 20, 0xFF);
    stream.WriteBuffer(filler.data(), filler.size());

    Table.assign(Count, TTEXTableEntry{});
    for (std::uint32_t i = 0; i < Count; ++i) {
        const TTEXTextureHeader& header = Headers[i];
        const std::int64_t blockStart = stream.Position();
        Table[i].Offset = static_cast<std::uint32_t>(blockStart - start);
        stream.WriteBuffer(header.Bytes.data(), header.Bytes.size());
        if (!FormatFromFourCC(header.FourCC())) {
            ShowErrorMessage(ErrFourCC);
        } else if (const std::optional<TPicture>& picture = Pictures[i]; picture && consistentPicture(*picture)) {
            const TTextureParams params = paramsOf(header);
            // The data read at load is written again while the picture is
            // still the one it decoded to: re-encoding would only lose quality.
            const std::optional<TStoredData>* kept = i < stored_.size() ? &stored_[i] : nullptr;
            if (kept && *kept && (*kept)->FourCC == header.FourCC() && (*kept)->Width == header.Width() &&
                (*kept)->Height == header.Height() && static_cast<std::uint32_t>(picture->Width) == header.Width() &&
                static_cast<std::uint32_t>(picture->Height) == header.Height() &&
                (*kept)->PictureFingerprint == fingerprint(*picture))
                stream.WriteBuffer((*kept)->Bytes.data(), (*kept)->Bytes.size());
            else
                codec->Encode(params, *picture, stream);
        }
        Table[i].Size = static_cast<std::uint32_t>(stream.Position() - blockStart);
    }

    const std::int64_t end = stream.Position();
    stream.SetPosition(start + TableStart(LayoutFlag));
    for (const TTEXTableEntry& entry : Table) {
        writeValue(stream, entry.Offset);
        writeValue(stream, entry.Size);
    }
    stream.SetPosition(end);
    return true;
}

// ---- Pictures -------------------------------------------------------------

const TPicture* TTEXFile::GetBitmap(int index) const
{
    if (!validIndex(index) || !Pictures[static_cast<std::size_t>(index)])
        return nullptr;
    return &*Pictures[static_cast<std::size_t>(index)];
}

std::optional<TPicture> TTEXFile::GetAlphaBitmap(int index) const
{
    const TPicture* picture = GetBitmap(index);
    if (!picture)
        return std::nullopt;
    return MakeAlphaView(*picture);
}

TTEXTextureHeader TTEXFile::GetHeader(int index) const
{
    if (!validIndex(index))
        return TTEXTextureHeader{};
    return Headers[static_cast<std::size_t>(index)];
}

void TTEXFile::SetBitmap(int index, const TPicture& picture)
{
    if (!consistentPicture(picture))
        throw std::invalid_argument("TTEXFile::SetBitmap: the picture's pixels do not match its size");
    if (!validIndex(index))
        return;
    const auto i = static_cast<std::size_t>(index);
    Pictures[i] = picture;
    const auto width = static_cast<std::uint32_t>(picture.Width);
    const auto height = static_cast<std::uint32_t>(picture.Height);
    Headers[i].SetField(TTEXTextureHeader::WidthOffset, width);
    Headers[i].SetField(TTEXTextureHeader::HeightOffset, height);
    Headers[i].SetField(TTEXTextureHeader::LinearSizeOffset, width * height);
}

bool TTEXFile::CopyTexture(int index, const TTEXFile& source, int sourceIndex)
{
    const TPicture* picture = source.GetBitmap(sourceIndex);
    if (!picture || !validIndex(index) || !consistentPicture(*picture))
        return false;
    SetBitmap(index, *picture);
    const auto i = static_cast<std::size_t>(index);
    const auto from = static_cast<std::size_t>(sourceIndex);
    if (stored_.size() < Count)
        stored_.resize(Count);
    stored_[i] = from < source.stored_.size() ? source.stored_[from] : std::nullopt;
    return true;
}

bool TTEXFile::Downsample(std::uint8_t factor)
{
    if (Count <= 1)
        return true;
    const TPicture* source = GetBitmap(0);
    if (factor == 0 || !source || source->Empty())
        return false;
    const TPicture& first = *source; // only textures 1 and up change

    // The sizes start from texture 0's, which its record and picture share.
    auto roundUp4 = [](std::uint32_t v) { return v % 4 == 0 ? v : v + 4 - v % 4; };
    auto w = static_cast<std::uint32_t>(first.Width);
    auto h = static_cast<std::uint32_t>(first.Height);
    for (std::uint32_t i = 1; i < Count; ++i) {
        w = roundUp4(w / factor);
        h = roundUp4(h / factor);
        TPicture scaled(static_cast<int>(w), static_cast<int>(h));
        for (std::uint32_t y = 0; y < h; ++y) {
            const auto sy = static_cast<int>(static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(first.Height) / h);
            for (std::uint32_t x = 0; x < w; ++x) {
                const auto sx = static_cast<int>(static_cast<std::uint64_t>(x) * static_cast<std::uint64_t>(first.Width) / w);
                const std::uint8_t* from = first.Pixel(sx, sy);
                std::uint8_t* to = scaled.Pixel(static_cast<int>(x), static_cast<int>(y));
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = from[3];
            }
        }
        SetBitmap(static_cast<int>(i), scaled);
    }
    return true;
}

// ---- TGA exchange ---------------------------------------------------------

bool TTEXFile::ExportTGA(int index, const std::string& fileName) const
{
    const TPicture* picture = GetBitmap(index);
    if (!picture || !consistentPicture(*picture) || picture->Width > MaxTGASide || picture->Height > MaxTGASide)
        return false;
    const std::vector<std::uint8_t> bytes = EncodeTGA(*picture);
    TSafeFileStream file(fileName);
    file.WriteBuffer(bytes.data(), bytes.size());
    file.Commit();
    return true;
}

bool TTEXFile::ExportAllTGA(const std::string& mask) const
{
    bool all = true;
    for (std::uint32_t i = 0; i < Count; ++i)
        all = ExportPicture(static_cast<int>(i), numbered(mask, i)) && all;
    return all;
}

bool TTEXFile::ImportTGA(int index, const std::string& fileName)
{
    if (!validIndex(index))
        return false;
    TMemoryStream file;
    file.LoadFromFile(fileName);
    TPicture picture;
    switch (DecodeTGA(file.Memory(), static_cast<std::size_t>(file.Size()), picture)) {
    case TGAStatus::Ok:
        SetBitmap(index, picture);
        return true;
    case TGAStatus::NotTrueColour32:
        ShowErrorMessage(ErrTGADepth);
        break;
    case TGAStatus::SizeNotMultipleOf4:
        ShowErrorMessage(ErrTGASize);
        break;
    case TGAStatus::SizeOutOfRange:
        ShowErrorMessage(ErrTGARange);
        break;
    case TGAStatus::Truncated:
        ShowErrorMessage(ErrTGATruncated);
        break;
    case TGAStatus::RunPastPicture:
        ShowErrorMessage(ErrTGARunPast);
        break;
    }
    return false;
}

bool TTEXFile::ImportAllTGA(const std::string& mask)
{
    bool all = true;
    for (std::uint32_t i = 0; i < Count; ++i)
        all = ImportPicture(static_cast<int>(i), numbered(mask, i)) && all;
    return all;
}

// ---- PNG exchange ---------------------------------------------------------

namespace {
bool namesPNG(const std::string& fileName)
{
    return SameText(ExtractFileExt(fileName), ".png");
}
} // namespace

bool TTEXFile::ExportPicture(int index, const std::string& fileName) const
{
    return namesPNG(fileName) ? ExportPNG(index, fileName) : ExportTGA(index, fileName);
}

bool TTEXFile::ImportPicture(int index, const std::string& fileName)
{
    return namesPNG(fileName) ? ImportPNG(index, fileName) : ImportTGA(index, fileName);
}

bool TTEXFile::ExportPNG(int index, const std::string& fileName) const
{
    const TPicture* picture = GetBitmap(index);
    if (!picture || !consistentPicture(*picture) || picture->Empty())
        return false;
    const std::vector<std::uint8_t> bytes = EncodePNG(*picture);
    TSafeFileStream file(fileName);
    file.WriteBuffer(bytes.data(), bytes.size());
    file.Commit();
    return true;
}

bool TTEXFile::ImportPNG(int index, const std::string& fileName)
{
    if (!validIndex(index))
        return false;
    TMemoryStream file;
    file.LoadFromFile(fileName);
    TPicture picture;
    switch (DecodePNG(file.Memory(), static_cast<std::size_t>(file.Size()), picture)) {
    case PNGStatus::Ok:
        SetBitmap(index, picture);
        return true;
    case PNGStatus::NotPNG:
        ShowErrorMessage(ErrPNGNotPNG);
        break;
    case PNGStatus::NotTrueColour32:
        ShowErrorMessage(ErrPNGDepth);
        break;
    case PNGStatus::SizeNotMultipleOf4:
        ShowErrorMessage(ErrPNGSize);
        break;
    case PNGStatus::SizeOutOfRange:
        ShowErrorMessage(ErrPNGRange);
        break;
    case PNGStatus::Damaged:
        ShowErrorMessage(ErrPNGDamaged);
        break;
    }
    return false;
}

} // namespace paddock
