// Texture codec benchmark: encodes and decodes a fixed set of generated
// livery-like pictures with our codec and with libsquish called directly on
// one thread (range fit and cluster fit), and prints quality and speed side
// by side.
//
//   bench_codec [--table] [seconds [name]]
//
// seconds: the least time spent on each measurement (default 0.5); every
// measurement runs at least three times and the fastest run counts.
// name: only the pictures whose name contains it. --table: instead of the
// tables, one line per measure for scripts/bench.sh (row, name, figure,
// anchor, ratio, target, held or missed, separated by tabs); range fit and
// the decoders are not timed then.

#include "formats/Picture.h"
#include "formats/TextureCodec.h"

#include <squish.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace paddock;

namespace {

// ---- Pictures ------------------------------------------------------------------

std::uint32_t hash(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Smooth value noise in 0..1 with the given cell size.
float valueNoise(float x, float y, float cell, std::uint32_t seed)
{
    const float fx = x / cell, fy = y / cell;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const float tx = fx - static_cast<float>(ix), ty = fy - static_cast<float>(iy);
    auto at = [seed](int a, int b) {
        const std::uint32_t h =
            hash(static_cast<std::uint32_t>(a) * 73856093u ^ static_cast<std::uint32_t>(b) * 19349663u ^ seed);
        return static_cast<float>(h & 0xFFFF) / 65535.0f;
    };
    const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const float top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * sx;
    const float bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * sx;
    return top + (bottom - top) * sy;
}

struct Colour {
    float r, g, b, a = 255;
};

Colour mix(const Colour& p, const Colour& q, float t)
{
    return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

std::uint8_t clampByte(float v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

void put(TPicture& pic, int x, int y, const Colour& c)
{
    std::uint8_t* p = pic.Pixel(x, y);
    p[0] = clampByte(c.b);
    p[1] = clampByte(c.g);
    p[2] = clampByte(c.r);
    p[3] = clampByte(c.a);
}

// A 5 x 7 font for the lettering.
const char* glyph(char c)
{
    switch (c) {
    case 'P': return "11110100011000111110100001000010000";
    case 'A': return "01110100011000111111100011000110001";
    case 'D': return "11110100011000110001100011000111110";
    case 'O': return "01110100011000110001100011000101110";
    case 'C': return "01110100011000010000100001000101110";
    case 'K': return "10001100101010011000101001001010001";
    case 'R': return "11110100011000111110101001001010001";
    case 'I': return "01110001000010000100001000010001110";
    case 'N': return "10001110011010110011100011000110001";
    case 'G': return "01110100011000010111100011000101111";
    case '4': return "00010001100101010010111110001000010";
    case '1': return "00100011000010000100001000010001110";
    case '7': return "11111000010001000100010000100001000";
    default: return "00000000000000000000000000000000000";
    }
}

// Draws text with letters of cell x cell pixels per font dot.
void text(TPicture& pic, const char* s, int x0, int y0, int cell, const Colour& c)
{
    for (int i = 0; s[i]; ++i) {
        const char* g = glyph(s[i]);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (g[gy * 5 + gx] == '1')
                    for (int y = 0; y < cell; ++y)
                        for (int x = 0; x < cell; ++x) {
                            const int px = x0 + i * 6 * cell + gx * cell + x, py = y0 + gy * cell + y;
                            if (px >= 0 && py >= 0 && px < pic.Width && py < pic.Height)
                                put(pic, px, py, c);
                        }
    }
}

// A car livery: flat paint, sharp diagonal stripes, a number disc, a
// gradient band, sponsor lettering and a little paint grain.
TPicture livery(int size, bool withAlpha)
{
    TPicture pic(size, size);
    const float s = static_cast<float>(size);
    const Colour base{200, 16, 32}, white{245, 245, 240}, dark{20, 24, 40}, yellow{250, 200, 20};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            Colour c = base;
            const float d = (fx + fy) / s; // diagonal coordinate 0..2
            if (d > 0.55f && d < 0.62f)
                c = white;
            else if (d > 0.62f && d < 0.70f)
                c = dark;
            else if (d > 0.70f && d < 0.73f)
                c = yellow;
            if (fy > 0.78f * s && fy < 0.9f * s) // gradient band
                c = mix(Colour{10, 60, 160}, Colour{120, 220, 255}, fx / s);
            const float cx = fx - 0.75f * s, cy = fy - 0.3f * s, r = std::sqrt(cx * cx + cy * cy);
            if (r < 0.12f * s)
                c = r < 0.105f * s ? white : dark;
            const float grain = (static_cast<float>(hash(static_cast<std::uint32_t>(y * size + x)) & 7) - 3.5f);
            c.r += grain;
            c.g += grain;
            c.b += grain;
            if (withAlpha) {
                // A hard cut-out (a window) and a soft fade at the bottom.
                if (fx > 0.1f * s && fx < 0.35f * s && fy > 0.1f * s && fy < 0.25f * s)
                    c.a = 0;
                if (fy > 0.92f * s)
                    c.a = 255.0f * (1.0f - (fy - 0.92f * s) / (0.08f * s));
            }
            put(pic, x, y, c);
        }
    }
    const int cell = std::max(1, size / 96);
    text(pic, "PADDOCK", size / 16, size / 2, cell, white);
    text(pic, "GP4 RACING", size / 16, size / 2 + 9 * cell, cell / 2 + 1, yellow);
    text(pic, "17", static_cast<int>(0.75f * s) - 6 * cell, static_cast<int>(0.3f * s) - 3 * cell, cell, dark);
    return pic;
}

// Smooth gradients in several hues, linear and radial.
TPicture gradients(int size)
{
    TPicture pic(size, size);
    const float s = static_cast<float>(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float fx = static_cast<float>(x) / s, fy = static_cast<float>(y) / s;
            Colour c;
            if (fy < 0.5f) {
                c = mix(mix(Colour{255, 0, 0}, Colour{0, 255, 0}, fx), mix(Colour{0, 0, 255}, Colour{255, 255, 0}, fx),
                        fy * 2);
            } else {
                const float r = std::sqrt((fx - 0.5f) * (fx - 0.5f) + (fy - 0.75f) * (fy - 0.75f)) * 4;
                c = mix(Colour{255, 240, 200}, Colour{40, 0, 80}, std::min(r, 1.0f));
            }
            put(pic, x, y, c);
        }
    }
    return pic;
}

// Noise-like texture: a carbon-fibre weave with fine grain.
TPicture carbon(int size)
{
    TPicture pic(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int tx = x / 8, ty = y / 8;
            const bool across = ((tx + ty) & 1) != 0;
            const float t = across ? static_cast<float>(x % 8) : static_cast<float>(y % 8);
            const float weave = 40.0f + 50.0f * std::sin(t / 8.0f * 3.14159f);
            const float grain = static_cast<float>(hash(static_cast<std::uint32_t>(y * size + x) ^ 0x5bd1e995u) % 24);
            const float v = weave + grain + 30.0f * valueNoise(static_cast<float>(x), static_cast<float>(y), 32, 7);
            put(pic, x, y, Colour{v, v * 1.02f, v * 1.1f});
        }
    }
    return pic;
}

// Coloured noise of several scales (dirt, wear, natural detail).
TPicture noise(int size)
{
    TPicture pic(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float n1 = valueNoise(fx, fy, 3, 1), n2 = valueNoise(fx, fy, 11, 2), n3 = valueNoise(fx, fy, 40, 3);
            put(pic, x, y,
                Colour{255 * (0.5f * n1 + 0.5f * n3), 255 * (0.3f * n1 + 0.7f * n2), 255 * (0.6f * n2 + 0.4f * n3)});
        }
    }
    return pic;
}

// A decal: coloured shapes with hard alpha edges and a soft glow.
TPicture decal(int size)
{
    TPicture pic(size, size);
    const float s = static_cast<float>(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float fx = static_cast<float>(x) / s - 0.5f, fy = static_cast<float>(y) / s - 0.5f;
            const float r = std::sqrt(fx * fx + fy * fy);
            Colour c{255, 200, 0, 0};
            if (r < 0.3f) {
                c = std::abs(fx) < 0.05f || std::abs(fy) < 0.05f ? Colour{20, 20, 160} : Colour{230, 30, 30};
            } else if (r < 0.45f) {
                c = Colour{255, 200, 0, 255.0f * (0.45f - r) / 0.15f}; // soft edge
            }
            if (fx > 0.3f && fy > 0.3f)
                c = Colour{0, 160, 60, 255}; // hard-edged corner tab
            put(pic, x, y, c);
        }
    }
    text(pic, "GP4", size / 3, size / 2 - size / 12, std::max(1, size / 48), Colour{255, 255, 255});
    return pic;
}

// Lettering on flat panels.
TPicture lettering(int size)
{
    TPicture pic(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            put(pic, x, y, y < size / 2 ? Colour{250, 250, 250} : Colour{0, 40, 120});
    const int cell = std::max(1, size / 64);
    text(pic, "RACING", 4, size / 8, cell, Colour{200, 0, 0});
    text(pic, "PADDOCK", 4, size / 2 + size / 8, cell, Colour{255, 220, 0});
    text(pic, "GP4 PAINT", 4, size / 3, cell / 2 + 1, Colour{0, 0, 0});
    text(pic, "DARK", 4, size - size / 6, cell, Colour{0, 20, 60});
    return pic;
}

struct Sample {
    std::string name;
    TPicture picture;
};

std::vector<Sample> samples()
{
    std::vector<Sample> list;
    list.push_back({"livery", livery(1024, false)});
    list.push_back({"livery", livery(512, false)});
    list.push_back({"livery+alpha", livery(512, true)});
    list.push_back({"gradients", gradients(512)});
    list.push_back({"carbon", carbon(1024)});
    list.push_back({"noise", noise(256)});
    list.push_back({"decal", decal(256)});
    list.push_back({"lettering", lettering(256)});
    return list;
}

// ---- libsquish, one block at a time on this thread ----------------------------------

int squishFormat(DXTFormat format)
{
    return format == DXTFormat::DXT1 ? squish::kDxt1 : squish::kDxt5;
}

// pic: red, green, blue, alpha (libsquish's per-block calls take no other order).
std::vector<std::uint8_t> squishEncode(DXTFormat format, const TPicture& pic, int fit)
{
    std::vector<std::uint8_t> out(DXTDataSize(format, pic.Width, pic.Height));
    const int flags = squishFormat(format) | fit;
    const std::size_t bytes = format == DXTFormat::DXT1 ? 8 : 16;
    std::uint8_t* dst = out.data();
    std::uint8_t texels[64];
    for (int by = 0; by < pic.Height; by += 4) {
        for (int bx = 0; bx < pic.Width; bx += 4, dst += bytes) {
            int mask = 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    if (bx + x < pic.Width && by + y < pic.Height) {
                        std::memcpy(texels + 16 * y + 4 * x, pic.Pixel(bx + x, by + y), 4);
                        mask |= 1 << (4 * y + x);
                    }
            squish::CompressMasked(texels, mask, dst, flags);
        }
    }
    return out;
}

// libsquish's decoder gives red, green, blue, alpha.
TPicture squishDecode(DXTFormat format, const std::vector<std::uint8_t>& data, int width, int height)
{
    TPicture pic(width, height);
    const int flags = squishFormat(format);
    const std::size_t bytes = format == DXTFormat::DXT1 ? 8 : 16;
    const std::uint8_t* src = data.data();
    std::uint8_t texels[64];
    for (int by = 0; by < height; by += 4) {
        for (int bx = 0; bx < width; bx += 4, src += bytes) {
            squish::Decompress(texels, src, flags);
            const int cols = std::min(4, width - bx);
            for (int y = 0; y < 4 && by + y < height; ++y)
                std::memcpy(pic.Pixel(bx, by + y), texels + 16 * y, static_cast<std::size_t>(cols) * 4);
        }
    }
    return pic;
}

TPicture swapRedBlue(TPicture pic)
{
    for (std::size_t i = 0; i < pic.Pixels.size(); i += 4)
        std::swap(pic.Pixels[i], pic.Pixels[i + 2]);
    return pic;
}

// ---- Measuring -------------------------------------------------------------------------

double minSeconds = 0.5;
bool tableMode = false;

// Text for people, left out in table mode.
__attribute__((format(printf, 1, 2))) void say(const char* format, ...)
{
    if (tableMode)
        return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

// The fastest of at least three runs that together take minSeconds.
double timeIt(const std::function<void()>& run)
{
    double best = 1e30, total = 0;
    for (int reps = 0; reps < 3 || total < minSeconds; ++reps) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, t);
        total += t;
    }
    return best;
}

struct Quality {
    double rgb = 0;   // PSNR in dB
    double alpha = 0; // PSNR in dB (DXT5)
    long alphaMismatches = 0; // DXT1: texels whose transparency differs
};

// 99.99 stands for no error at all.
double psnr(double squaredError, double count)
{
    if (count <= 0 || squaredError <= 0)
        return 99.99;
    return 10.0 * std::log10(255.0 * 255.0 * count / squaredError);
}

// DXT1: RGB over the texels that stay opaque (alpha >= 128); the others are
// transparent black by the format's definition in every codec.
Quality measure(DXTFormat format, const TPicture& source, const TPicture& decoded)
{
    double rgb = 0, alpha = 0, rgbCount = 0, alphaCount = 0;
    Quality q;
    for (std::size_t i = 0; i < source.Pixels.size(); i += 4) {
        const std::uint8_t* s = &source.Pixels[i];
        const std::uint8_t* d = &decoded.Pixels[i];
        if (format == DXTFormat::DXT1) {
            if ((s[3] >= 128) != (d[3] == 255))
                ++q.alphaMismatches;
            if (s[3] < 128)
                continue;
        } else {
            alpha += (s[3] - d[3]) * (s[3] - d[3]);
            alphaCount += 1;
        }
        for (int c = 0; c < 3; ++c)
            rgb += (s[c] - d[c]) * (s[c] - d[c]);
        rgbCount += 3;
    }
    q.rgb = psnr(rgb, rgbCount);
    q.alpha = psnr(alpha, alphaCount);
    return q;
}

double mpix(const TPicture& pic, double seconds)
{
    return static_cast<double>(pic.Width) * pic.Height / seconds / 1e6;
}

// Our encoder with every thread against cluster fit on one, on every picture.
constexpr double SpeedTarget = 1.8;

struct Totals {
    double pixels = 0, range = 0, cluster = 0, ours1 = 0, oursN = 0, decSquish = 0, decOurs = 0;
};

bool runFormat(DXTFormat format, const std::vector<Sample>& list, unsigned cores)
{
    const bool dxt5 = format == DXTFormat::DXT5;
    say("\n%s%s\n", dxt5 ? "DXT5" : "DXT1",
                dxt5 ? " (PSNR: RGB / alpha, dB)" : " (PSNR: RGB of the opaque texels, dB)");
    say("%-13s %-9s | %-14s %6s | %-14s %6s | %-14s %6s %6s %6s | %7s %7s\n", "picture", "size",
                "squish range", "MPix/s", "squish cluster", "MPix/s", "ours", "1 thr", "all", "xclus", "dec sq",
                "dec our");
    Totals tot;
    bool qualityHolds = true, identical = true, decodersAgree = true;
    double worstRatio = 1e30;
    struct {
        std::string name;
        double ours = 0, cluster = 0;
    } slowest;
    struct {
        std::string name;
        double ours = 0, cluster = 0, margin = 1e30;
    } closest;
    for (const Sample& s : list) {
        const TPicture& pic = s.picture;
        const TPicture rgba = swapRedBlue(pic);
        std::vector<std::uint8_t> range, cluster, ours1, oursN;
        double tRange = 1;
        if (tableMode)
            range = squishEncode(format, rgba, squish::kColourRangeFit);
        else
            tRange = timeIt([&] { range = squishEncode(format, rgba, squish::kColourRangeFit); });
        const double tCluster = timeIt([&] { cluster = squishEncode(format, rgba, squish::kColourClusterFit); });
        const double tOurs1 = timeIt([&] { ours1 = EncodeDXT(format, pic, 1); });
        const double tOursN = timeIt([&] { oursN = EncodeDXT(format, pic, 0); });
        identical = identical && ours1 == oursN;

        TPicture decSquish, decOurs;
        double tDecSquish = 1, tDecOurs = 1;
        const auto decodeSquish = [&] { decSquish = squishDecode(format, cluster, pic.Width, pic.Height); };
        const auto decodeOurs = [&] { decOurs = DecodeDXT(format, cluster.data(), pic.Width, pic.Height); };
        if (tableMode) {
            decodeSquish();
            decodeOurs();
        } else {
            tDecSquish = timeIt(decodeSquish);
            tDecOurs = timeIt(decodeOurs);
        }
        decodersAgree = decodersAgree && swapRedBlue(decSquish) == decOurs;

        const Quality qRange = measure(format, pic, DecodeDXT(format, range.data(), pic.Width, pic.Height));
        const Quality qCluster = measure(format, pic, decOurs);
        const Quality qOurs = measure(format, pic, DecodeDXT(format, ours1.data(), pic.Width, pic.Height));
        const bool better = qOurs.rgb >= qCluster.rgb && (!dxt5 || qOurs.alpha >= qCluster.alpha) &&
                            qOurs.alphaMismatches == 0;
        qualityHolds = qualityHolds && better;
        if (tCluster / tOursN < worstRatio) {
            worstRatio = tCluster / tOursN;
            slowest = {s.name, mpix(pic, tOursN), mpix(pic, tCluster)};
        }
        // The picture where our quality comes closest to cluster fit's (or
        // falls furthest below it), RGB or alpha.
        const double rgbMargin = qOurs.rgb - qCluster.rgb;
        const double alphaMargin = dxt5 ? qOurs.alpha - qCluster.alpha : 1e30;
        const double margin = std::min(rgbMargin, alphaMargin);
        if (margin < closest.margin) {
            const bool alpha = alphaMargin < rgbMargin;
            closest = {s.name + (alpha ? " alpha" : ""), alpha ? qOurs.alpha : qOurs.rgb,
                       alpha ? qCluster.alpha : qCluster.rgb, margin};
        }

        auto db = [](double v) {
            char buf[16];
            if (v >= 99.99)
                std::snprintf(buf, sizeof buf, "  inf");
            else
                std::snprintf(buf, sizeof buf, "%5.2f", v);
            return std::string(buf);
        };
        auto quality = [&](const Quality& q) { return dxt5 ? db(q.rgb) + " / " + db(q.alpha) : db(q.rgb); };
        char size[16];
        std::snprintf(size, sizeof size, "%dx%d", pic.Width, pic.Height);
        say("%-13s %-9s | %-14s %6.1f | %-14s %6.1f | %-14s %6.1f %6.1f %6.2f | %7.0f %7.0f%s\n",
                    s.name.c_str(), size, quality(qRange).c_str(), mpix(pic, tRange), quality(qCluster).c_str(),
                    mpix(pic, tCluster), quality(qOurs).c_str(), mpix(pic, tOurs1), mpix(pic, tOursN),
                    tCluster / tOursN, mpix(pic, tDecSquish), mpix(pic, tDecOurs),
                    better ? "" : "  <- below cluster fit");
        std::fflush(stdout);
        tot.pixels += static_cast<double>(pic.Width) * pic.Height;
        tot.range += tRange;
        tot.cluster += tCluster;
        tot.ours1 += tOurs1;
        tot.oursN += tOursN;
        tot.decSquish += tDecSquish;
        tot.decOurs += tDecOurs;
    }
    const double mp = tot.pixels / 1e6;
    say("%-13s %-9s | %-14s %6.1f | %-14s %6.1f | %-14s %6.1f %6.1f %6.2f | %7.0f %7.0f\n", "all", "",
                "", mp / tot.range, "", mp / tot.cluster, "", mp / tot.ours1, mp / tot.oursN, tot.cluster / tot.oursN,
                mp / tot.decSquish, mp / tot.decOurs);
    say("quality at least cluster fit's on every picture: %s\n", qualityHolds ? "yes" : "NO");
    say("encoding with %u threads vs cluster fit on one: %.2f x overall, %.2f x on the slowest picture\n",
                cores, tot.cluster / tot.oursN, worstRatio);
    say("decoding vs libsquish: %.2f x; both decoders give the same pixels: %s\n",
                tot.decSquish / tot.decOurs, decodersAgree ? "yes" : "NO");
    say("same output with 1 and %u threads: %s\n", cores, identical ? "yes" : "NO");
    if (tableMode) {
        const char* f = dxt5 ? "DXT5" : "DXT1";
        const double mp = tot.pixels / 1e6;
        const double overall = tot.cluster / tot.oursN;
        std::printf("row\t%s encode speed, %u threads vs cluster fit on one, all pictures\t%.1f MPix/s\t%.1f MPix/s\t"
                    "%.2f x\tat least %.1f x\t%s\n",
                    f, cores, mp / tot.oursN, mp / tot.cluster, overall, SpeedTarget,
                    overall >= SpeedTarget ? "held" : "missed");
        std::printf("row\t%s encode speed, slowest picture (%s)\t%.1f MPix/s\t%.1f MPix/s\t%.2f x\t"
                    "at least %.1f x\t%s\n",
                    f, slowest.name.c_str(), slowest.ours, slowest.cluster, worstRatio, SpeedTarget,
                    worstRatio >= SpeedTarget ? "held" : "missed");
        // 99.99 dB stands for no error.
        const auto db = [](double v) {
            char text[24];
            std::snprintf(text, sizeof text, "%.2f dB", v);
            return v >= 99.99 ? std::string("exact") : std::string(text);
        };
        std::printf("row\t%s quality vs cluster fit, closest picture (%s)\t%s\t%s\t%+.2f dB\t"
                    "at least +0.00 dB on every picture\t%s\n",
                    f, closest.name.c_str(), db(closest.ours).c_str(), db(closest.cluster).c_str(), closest.margin,
                    qualityHolds ? "held" : "missed");
    }
    return qualityHolds && identical && decodersAgree;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--table") {
        tableMode = true;
        args.erase(args.begin());
    }
    if (!args.empty())
        minSeconds = std::atof(args[0].c_str());
    const std::string only = args.size() > 1 ? args[1] : "";
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    say("Texture codec benchmark: %u hardware threads; libsquish one block at a time on one thread;\n"
        "encode and decode in MPix/s (fastest of at least 3 runs); xclus = cluster fit time / our time with "
        "all threads\n",
        cores);
    std::vector<Sample> list = samples();
    std::erase_if(list, [&](const Sample& s) { return s.name.find(only) == std::string::npos; });
    bool ok = runFormat(DXTFormat::DXT1, list, cores);
    ok = runFormat(DXTFormat::DXT5, list, cores) && ok;
    return ok ? 0 : 1;
}
