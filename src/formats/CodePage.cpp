#include "formats/CodePage.h"

#include <array>

namespace paddock {

namespace {

// The characters of the bytes 0x80 to 0x9F; every other byte stands for the
// character of its own number. The five bytes the code page leaves undefined
// stand for the control characters of their numbers, so that every byte
// makes a round trip.
constexpr std::array<char32_t, 32> HighCharacters = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t characterOf(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighCharacters[byte - 0x80u] : byte;
}

// The byte of a character, or -1 when the code page has none.
int byteOf(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (std::size_t i = 0; i < HighCharacters.size(); ++i)
        if (HighCharacters[i] == c)
            return static_cast<int>(0x80 + i);
    return -1;
}

// The code page's letters that Unicode also writes as a letter followed by
// a combining mark: grave, acute, circumflex, tilde, diaeresis, ring above,
// caron and cedilla.
struct Composition {
    char32_t base;
    char32_t mark;
    char32_t letter;
};
constexpr Composition Compositions[] = {
    {'A', 0x300, 0xC0},  {'E', 0x300, 0xC8},  {'I', 0x300, 0xCC},  {'O', 0x300, 0xD2},  {'U', 0x300, 0xD9},
    {'a', 0x300, 0xE0},  {'e', 0x300, 0xE8},  {'i', 0x300, 0xEC},  {'o', 0x300, 0xF2},  {'u', 0x300, 0xF9},
    {'A', 0x301, 0xC1},  {'E', 0x301, 0xC9},  {'I', 0x301, 0xCD},  {'O', 0x301, 0xD3},  {'U', 0x301, 0xDA},
    {'Y', 0x301, 0xDD},  {'a', 0x301, 0xE1},  {'e', 0x301, 0xE9},  {'i', 0x301, 0xED},  {'o', 0x301, 0xF3},
    {'u', 0x301, 0xFA},  {'y', 0x301, 0xFD},  {'A', 0x302, 0xC2},  {'E', 0x302, 0xCA},  {'I', 0x302, 0xCE},
    {'O', 0x302, 0xD4},  {'U', 0x302, 0xDB},  {'a', 0x302, 0xE2},  {'e', 0x302, 0xEA},  {'i', 0x302, 0xEE},
    {'o', 0x302, 0xF4},  {'u', 0x302, 0xFB},  {'A', 0x303, 0xC3},  {'N', 0x303, 0xD1},  {'O', 0x303, 0xD5},
    {'a', 0x303, 0xE3},  {'n', 0x303, 0xF1},  {'o', 0x303, 0xF5},  {'A', 0x308, 0xC4},  {'E', 0x308, 0xCB},
    {'I', 0x308, 0xCF},  {'O', 0x308, 0xD6},  {'U', 0x308, 0xDC},  {'Y', 0x308, 0x178}, {'a', 0x308, 0xE4},
    {'e', 0x308, 0xEB},  {'i', 0x308, 0xEF},  {'o', 0x308, 0xF6},  {'u', 0x308, 0xFC},  {'y', 0x308, 0xFF},
    {'A', 0x30A, 0xC5},  {'a', 0x30A, 0xE5},  {'S', 0x30C, 0x160}, {'s', 0x30C, 0x161}, {'Z', 0x30C, 0x17D},
    {'z', 0x30C, 0x17E}, {'C', 0x327, 0xC7},  {'c', 0x327, 0xE7},
};

// Characters that Unicode counts as the same as another one (before letters
// and marks are composed).
struct Equivalent {
    char32_t from;
    char32_t to;
};
constexpr Equivalent Equivalents[] = {
    {0x0340, 0x0300}, // combining grave tone mark: the grave accent
    {0x0341, 0x0301}, // combining acute tone mark: the acute accent
    {0x037E, 0x003B}, // Greek question mark: the semicolon
    {0x0387, 0x00B7}, // Greek ano teleia: the middle dot
    {0x1FEF, 0x0060}, // Greek varia: the grave accent
    {0x1FFD, 0x00B4}, // Greek oxia: the acute accent
    {0x212A, 0x004B}, // Kelvin sign: K
    {0x212B, 0x00C5}, // Angstrom sign: A with ring above
};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        // The code page's characters all lie below U+10000.
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The characters of a UTF-8 text; false for bytes that are not UTF-8
// (stray or missing continuation bytes, overlong forms, surrogates, values
// beyond U+10FFFF).
bool decodeUtf8(const std::string& text, std::u32string& characters)
{
    characters.clear();
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        char32_t c = 0;
        // The allowed range of the second byte keeps out overlong forms,
        // surrogates and values beyond U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            characters.push_back(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = byte(i + k);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        characters.push_back(c);
        i += length;
    }
    return true;
}

} // namespace

std::string GameTextToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char b : bytes)
        appendUtf8(out, characterOf(static_cast<unsigned char>(b)));
    return out;
}

std::optional<std::string> Utf8ToGameText(const std::string& text)
{
    std::u32string characters;
    if (!decodeUtf8(text, characters))
        return std::nullopt;
    std::u32string composed;
    composed.reserve(characters.size());
    for (char32_t c : characters) {
        for (const Equivalent& e : Equivalents)
            if (e.from == c)
                c = e.to;
        bool merged = false;
        if (!composed.empty())
            for (const Composition& k : Compositions)
                if (k.mark == c && k.base == composed.back()) {
                    composed.back() = k.letter;
                    merged = true;
                    break;
                }
        if (!merged)
            composed.push_back(c);
    }
    std::string bytes;
    bytes.reserve(composed.size());
    for (const char32_t c : composed) {
        const int b = byteOf(c);
        if (b < 0)
            return std::nullopt;
        bytes.push_back(static_cast<char>(b));
    }
    return bytes;
}

} // namespace paddock
