#include "DemoCars.h"

#include "DemoGame.h"
#include "DemoTextures.h"
#include "game/CarTextureNames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace paddock::demo {

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

struct TeamColours {
    Rgb primary, secondary, accent;
};

const std::array<TeamColours, 11> colours{{
    {{200, 16, 24}, {250, 250, 250}, {20, 20, 20}},   // Rossa Corse
    {{170, 174, 182}, {20, 20, 24}, {230, 40, 30}},   // Silverline
    {{245, 245, 250}, {20, 50, 150}, {200, 30, 40}},  // Lancaster GP
    {{10, 120, 60}, {240, 240, 240}, {250, 200, 20}}, // Emerald Team
    {{90, 170, 230}, {250, 220, 20}, {20, 40, 90}},   // Benedetti
    {{250, 250, 250}, {210, 30, 30}, {30, 30, 30}},   // Harrier
    {{20, 30, 90}, {120, 180, 240}, {250, 250, 250}}, // Sauterne
    {{250, 120, 10}, {25, 25, 25}, {250, 250, 250}},  // Arrowfield
    {{15, 70, 40}, {200, 170, 90}, {250, 250, 250}},  // Jaguaro Works
    {{25, 25, 25}, {250, 210, 0}, {250, 250, 250}},   // Minardo
    {{20, 60, 180}, {250, 250, 250}, {230, 30, 40}},  // Prost-Lyon
}};

// A 5 x 7 font: one byte per row, the five low bits from left to right.
const std::array<std::array<std::uint8_t, 7>, 38>& font()
{
    static const std::array<std::array<std::uint8_t, 7>, 38> glyphs{{
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // 0
        {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, // 1
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 2
        {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, // 3
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 4
        {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, // 5
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 6
        {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, // 7
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 8
        {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, // 9
        {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, // A
        {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, // B
        {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, // C
        {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}, // D
        {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, // E
        {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, // F
        {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, // G
        {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, // H
        {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, // I
        {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, // J
        {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, // K
        {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, // L
        {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, // M
        {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, // N
        {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, // O
        {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, // P
        {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, // Q
        {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, // R
        {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, // S
        {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, // T
        {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, // U
        {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, // V
        {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, // W
        {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, // X
        {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}, // Y
        {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, // Z
        {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}, // -
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // space
    }};
    return glyphs;
}

const std::array<std::uint8_t, 7>* glyph(char c)
{
    if (c >= '0' && c <= '9')
        return &font()[static_cast<std::size_t>(c - '0')];
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return &font()[static_cast<std::size_t>(10 + c - 'A')];
    if (c == '-')
        return &font()[36];
    return &font()[37];
}

class Canvas {
public:
    explicit Canvas(int size) : pic(size, size) {}

    void put(int x, int y, Rgb c, std::uint8_t a = 255)
    {
        if (x < 0 || y < 0 || x >= pic.Width || y >= pic.Height)
            return;
        std::uint8_t* p = pic.Pixel(x, y);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p[3] = a;
    }
    void rect(int x0, int y0, int x1, int y1, Rgb c, std::uint8_t a = 255)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                put(x, y, c, a);
    }
    // Text in the 5 x 7 font, each font pixel a scale x scale square.
    void text(int x, int y, const std::string& s, int scale, Rgb c, std::uint8_t a = 255)
    {
        for (char ch : s) {
            const auto& g = *glyph(ch);
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g[static_cast<std::size_t>(row)] & (0x10 >> col))
                        rect(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, c, a);
            x += 6 * scale;
        }
    }
    static int textWidth(const std::string& s, int scale) { return static_cast<int>(s.size()) * 6 * scale - scale; }

    TPicture pic;
};

Rgb shade(Rgb c, double f)
{
    auto ch = [f](std::uint8_t v) { return static_cast<std::uint8_t>(std::clamp(v * f, 0.0, 255.0)); };
    return {ch(c.r), ch(c.g), ch(c.b)};
}

std::string upper(const char* s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

TPicture drawBody(int team, int kind, int size)
{
    const TeamColours& tc = colours[static_cast<std::size_t>(team)];
    const DemoTeam& info = DemoTeams()[static_cast<std::size_t>(team)];
    Canvas cv(size);
    const double u = size / 512.0;
    // Body colour with a soft vertical gradient.
    for (int y = 0; y < size; ++y)
        cv.rect(0, y, size, y + 1, shade(tc.primary, 1.15 - 0.3 * y / size));
    // A diagonal band in the second colour, with accent pinstripes at its edges.
    const int band = static_cast<int>(70 * u);
    for (int y = 0; y < size; ++y) {
        const int start = (kind == 0 ? y : size - y) / 2 + static_cast<int>(110 * u);
        cv.rect(start, y, start + band, y + 1, tc.secondary);
        cv.rect(start - static_cast<int>(6 * u), y, start - static_cast<int>(2 * u), y + 1, tc.accent);
        cv.rect(start + band + static_cast<int>(2 * u), y, start + band + static_cast<int>(6 * u), y + 1, tc.accent);
    }
    // Sponsor lettering on a plate.
    const std::string name = upper(info.Name);
    int scale = std::max(1, static_cast<int>(8 * u));
    while (scale > 1 && Canvas::textWidth(name, scale) > size - static_cast<int>(40 * u))
        --scale;
    const int plateY = kind == 0 ? static_cast<int>(40 * u) : size - static_cast<int>(140 * u);
    cv.rect(static_cast<int>(12 * u), plateY, size - static_cast<int>(12 * u), plateY + 9 * scale, tc.accent);
    cv.text(static_cast<int>(20 * u), plateY + scale, name, scale, tc.secondary);
    const std::string engine = upper(info.Engine);
    const int small = std::max(1, scale / 2);
    cv.text(static_cast<int>(20 * u), plateY + 10 * scale, engine, small, tc.accent);
    // Hard-edged cut-outs (unused parts of the sheet) and a soft alpha edge
    // where the cockpit opening is.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            std::uint8_t* p = cv.pic.Pixel(x, y);
            if (x + y < static_cast<int>(48 * u))
                p[3] = 0;
            const double dx = x - size * 0.75, dy = y - size * 0.5, r = 60 * u;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < r)
                p[3] = static_cast<std::uint8_t>(std::clamp(255.0 * (d / r), 0.0, 255.0));
        }
    }
    return cv.pic;
}

TPicture drawNumbers(int team, int size)
{
    const TeamColours& tc = colours[static_cast<std::size_t>(team)];
    const DemoTeam& info = DemoTeams()[static_cast<std::size_t>(team)];
    Canvas cv(size);
    // Transparent sheet; the numbers on it are opaque.
    for (std::uint8_t& b : cv.pic.Pixels)
        b = 0;
    const double u = size / 512.0;
    const int big = std::max(2, static_cast<int>(26 * u));
    for (int d = 0; d < 2; ++d) {
        const std::string number = std::to_string(info.Drivers[d].CarNumber);
        const int x = static_cast<int>((20 + d * 250) * u), y = static_cast<int>(30 * u);
        cv.rect(x - big, y - big, x + Canvas::textWidth(number, big) + big, y + 8 * big, {250, 250, 250});
        cv.text(x, y, number, big, tc.primary);
    }
    const int mid = std::max(1, static_cast<int>(9 * u));
    for (int digit = 0; digit < 10; ++digit) {
        const int x = static_cast<int>((12 + digit * 49) * u), y = static_cast<int>(330 * u);
        cv.text(x, y, std::to_string(digit), mid, tc.secondary);
    }
    return cv.pic;
}

// Half the size by averaging 2 x 2 pixels.
TPicture halve(const TPicture& p)
{
    TPicture out(std::max(1, p.Width / 2), std::max(1, p.Height / 2));
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += p.Pixel(std::min(p.Width - 1, 2 * x + (k & 1)), std::min(p.Height - 1, 2 * y + (k >> 1)))[c];
                out.Pixel(x, y)[c] = static_cast<std::uint8_t>((sum + 2) / 4);
            }
    return out;
}

// A container of a picture and its smaller copies down to 64 pixels (or the
// given number of textures).
std::string containerOf(const TPicture& picture, DXTFormat format, int count)
{
    std::vector<DemoTexture> textures;
    TPicture p = picture;
    for (int i = 0; i < count; ++i) {
        textures.push_back({p, format, 1});
        p = halve(p);
    }
    return BuildTEX(textures);
}

} // namespace

int LowResNumbersWidth(int team)
{
    return team % 2 == 0 ? 128 : 256;
}

TPicture DrawLivery(int team, int kind, int size)
{
    return kind == 2 ? drawNumbers(team, size) : drawBody(team, kind, size);
}

std::vector<std::pair<std::string, std::string>> MakeDemoCarMembers()
{
    std::vector<std::pair<std::string, std::string>> members;
    members.emplace_back("cars\\readme.txt", "Demo archive written for Paddock's own tests.\r\n");
    for (int team = 0; team < 11; ++team) {
        for (int kind = 0; kind < 3; ++kind) {
            const DXTFormat format = kind == 2 ? DXTFormat::DXT1 : DXTFormat::DXT5;
            const TPicture high = DrawLivery(team, kind, 512);
            members.emplace_back(CarTextureName(team, kind, true), containerOf(high, format, 4));
            const int lowSize = kind == 2 ? LowResNumbersWidth(team) : 256;
            members.emplace_back(CarTextureName(team, kind, false),
                                 containerOf(DrawLivery(team, kind, lowSize), format, 3));
        }
    }
    members.emplace_back("cars\\shadow.TEX",
                         BuildTEX({{MakeTestPicture(64, 64, 7, true), DXTFormat::DXT5, 1}}, 1));
    std::string noise(3000, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    members.emplace_back("sounds\\engine\\v10_idle.bin", noise);
    members.emplace_back("empty.dat", "");
    return members;
}

std::string BuildWAD(const std::vector<std::pair<std::string, std::string>>& members)
{
    auto put32 = [](std::string& s, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            s.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    std::string out;
    put32(out, static_cast<std::uint32_t>(members.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(4 + members.size() * 136);
    for (const auto& [name, bytes] : members) {
        std::string field = name.substr(0, 128);
        field.resize(128, '\0');
        out += field;
        put32(out, offset);
        put32(out, static_cast<std::uint32_t>(bytes.size()));
        offset += static_cast<std::uint32_t>(bytes.size()) + 1;
    }
    for (const auto& member : members) {
        out += member.second;
        out.push_back('\0');
    }
    return out;
}

} // namespace paddock::demo
