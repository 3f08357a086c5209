#include "formats/DXTBlock.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>

namespace paddock::dxt {

// ---- Decoding ---------------------------------------------------------------

namespace {

inline unsigned load16(const std::uint8_t* p)
{
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

inline int expand5(int q)
{
    return (q << 3) | (q >> 2);
}

inline int expand6(int q)
{
    return (q << 2) | (q >> 4);
}

inline Texel makeTexel(int r, int g, int b, unsigned a)
{
    return static_cast<Texel>(b) | (static_cast<Texel>(g) << 8) | (static_cast<Texel>(r) << 16) |
           (static_cast<Texel>(a) << 24);
}

// The four palette entries of a colour block. dxt1 selects the DXT1 rule
// for c0 <= c1 (three colours and transparent black).
inline void colourPalette(const std::uint8_t* block, bool dxt1, Texel palette[4])
{
    const unsigned c0 = load16(block);
    const unsigned c1 = load16(block + 2);
    const int r0 = expand5(static_cast<int>(c0 >> 11)), g0 = expand6(static_cast<int>((c0 >> 5) & 63)),
              b0 = expand5(static_cast<int>(c0 & 31));
    const int r1 = expand5(static_cast<int>(c1 >> 11)), g1 = expand6(static_cast<int>((c1 >> 5) & 63)),
              b1 = expand5(static_cast<int>(c1 & 31));
    palette[0] = makeTexel(r0, g0, b0, 255);
    palette[1] = makeTexel(r1, g1, b1, 255);
    if (dxt1 && c0 <= c1) {
        palette[2] = makeTexel((r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2, 255);
        palette[3] = 0;
    } else {
        palette[2] = makeTexel((2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3, 255);
        palette[3] = makeTexel((r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3, 255);
    }
}

// The eight values of an alpha block with endpoints a0 and a1.
inline void alphaValues(int a0, int a1, int values[8])
{
    values[0] = a0;
    values[1] = a1;
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            values[1 + i] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i < 5; ++i)
            values[1 + i] = ((5 - i) * a0 + i * a1) / 5;
        values[6] = 0;
        values[7] = 255;
    }
}

inline std::uint32_t load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

void DecodeBlock(const std::uint8_t* block, bool dxt5, Texel texels[16])
{
    Texel colours[4];
    if (!dxt5) {
        colourPalette(block, true, colours);
        const std::uint32_t bits = load32(block + 4);
        for (int t = 0; t < 16; ++t)
            texels[t] = colours[(bits >> (2 * t)) & 3];
        return;
    }
    int values[8];
    alphaValues(block[0], block[1], values);
    Texel alphas[8];
    for (int i = 0; i < 8; ++i)
        alphas[i] = static_cast<Texel>(values[i]) << 24;
    colourPalette(block + 8, false, colours);
    for (Texel& c : colours)
        c &= 0x00FFFFFFu;
    std::uint64_t alphaBits = 0;
    for (int i = 0; i < 6; ++i)
        alphaBits |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    const std::uint32_t bits = load32(block + 12);
    for (int t = 0; t < 16; ++t)
        texels[t] = colours[(bits >> (2 * t)) & 3] | alphas[(alphaBits >> (3 * t)) & 7];
}

// ---- Vectors -------------------------------------------------------------------
//
// The encoder works on W floats at a time with GCC's vector extensions. Its
// code is compiled twice: four lanes for any processor (SSE on x86-64, plain
// code elsewhere) and eight lanes for processors with AVX2. Both do the same
// arithmetic lane by lane (no fused multiply-adds) and give the same blocks.
// Everything the encoder calls is forced inline into the two entry points,
// so that it is compiled for their instruction set (calls from AVX2 code
// into code built for plain SSE cost more than the work they do). Vectors are
// passed by reference: wide vectors passed by value between functions of
// different instruction sets would change the calling convention.

namespace {

template <int W>
struct Lanes {
    typedef float F __attribute__((vector_size(W * 4)));
    typedef int I __attribute__((vector_size(W * 4)));
};

#define PADDOCK_ENCODER_INLINE [[gnu::always_inline]] inline

template <typename F>
PADDOCK_ENCODER_INLINE void loadLanes(F& v, const float* p)
{
    std::memcpy(&v, p, sizeof v);
}

template <typename F>
PADDOCK_ENCODER_INLINE float laneSum(const F& v)
{
    float total = 0.0f;
    for (int l = 0; l < static_cast<int>(sizeof v / sizeof(float)); ++l)
        total += v[l];
    return total;
}

} // namespace

// ---- Colour encoding ----------------------------------------------------------
//
// The encoder gathers the distinct colours of the block (with the number of
// texels that share each), orders them along their principal axis and tries
// every split of that order into the palette's clusters (a cluster fit): for
// each split the least-squares endpoints are snapped to the 5:6:5 grid and the
// split's squared error is computed from prefix sums. The endpoints of the
// best splits are then improved against the true error of the decoded
// palette (integer interpolation, nearest palette entry for every colour):
// with the entries held, each channel's endpoint pair is chosen exactly among
// the codes near the least-squares solution; the entries are chosen again and
// so on; a last pass tries single steps of each endpoint channel. The best
// result by true error wins. For DXT1 blocks without transparent texels both
// the four- and the three-colour palette are fitted. A block of one colour
// takes the best endpoints from tables.

namespace {

constexpr int kMaxPoints = 16;
// How many of the best splits of each search are refined; a split whose
// estimated error exceeds the best refined error so far by more than a tenth
// is not.
constexpr int kSplitsRefined = 2;
constexpr float kRefineMargin = 1.1f;
// Refinement: rounds of exact per-channel refits, how far (in codes) they
// look around the least-squares endpoints, and passes of single steps.
constexpr int kRefitRounds = 4;
constexpr int kRefitReach = 2;
constexpr int kStepPasses = 2;

// 5:6:5 endpoint codes: red 0..31, green 0..63, blue 0..31.
struct Endpoints {
    int c0[3];
    int c1[3];
    bool operator==(const Endpoints&) const = default;
};

inline unsigned pack565(const int c[3])
{
    return static_cast<unsigned>((c[0] << 11) | (c[1] << 5) | c[2]);
}

inline int expandChannel(int ch, int q)
{
    return ch == 1 ? expand6(q) : expand5(q);
}

constexpr int kChannelMax[3] = {31, 63, 31};

// For every 8-bit value and channel width: the nearest code (by the
// decoder's expansion), and the endpoint pairs whose interpolated entry lies
// nearest to the value, for the four-colour entry (2 c0 + c1) / 3 and the
// three-colour entry (c0 + c1) / 2, each with its squared error.
struct Tables {
    std::uint8_t nearest[2][256]; // [0]: 5 bits, [1]: 6 bits
    std::uint16_t nearestError[2][256];
    std::uint8_t third[2][256][2];
    std::uint16_t thirdError[2][256];
    std::uint8_t half[2][256][2];
    std::uint16_t halfError[2][256];

    Tables()
    {
        for (int wide = 0; wide < 2; ++wide) {
            const int codes = wide ? 64 : 32;
            auto expand = [wide](int q) { return wide ? expand6(q) : expand5(q); };
            for (int v = 0; v < 256; ++v) {
                int best = INT_MAX;
                for (int q = 0; q < codes; ++q) {
                    const int d = std::abs(expand(q) - v);
                    if (d < best) {
                        best = d;
                        nearest[wide][v] = static_cast<std::uint8_t>(q);
                    }
                }
                nearestError[wide][v] = static_cast<std::uint16_t>(best * best);
                int bestThird = INT_MAX, bestHalf = INT_MAX;
                for (int q0 = 0; q0 < codes; ++q0) {
                    for (int q1 = 0; q1 < codes; ++q1) {
                        const int e0 = expand(q0), e1 = expand(q1);
                        const int dThird = std::abs((2 * e0 + e1) / 3 - v);
                        if (dThird < bestThird) {
                            bestThird = dThird;
                            third[wide][v][0] = static_cast<std::uint8_t>(q0);
                            third[wide][v][1] = static_cast<std::uint8_t>(q1);
                        }
                        const int dHalf = std::abs((e0 + e1) / 2 - v);
                        if (dHalf < bestHalf) {
                            bestHalf = dHalf;
                            half[wide][v][0] = static_cast<std::uint8_t>(q0);
                            half[wide][v][1] = static_cast<std::uint8_t>(q1);
                        }
                    }
                }
                thirdError[wide][v] = static_cast<std::uint16_t>(bestThird * bestThird);
                halfError[wide][v] = static_cast<std::uint16_t>(bestHalf * bestHalf);
            }
        }
    }
};

PADDOCK_ENCODER_INLINE const Tables& tables()
{
    static const Tables t;
    return t;
}

PADDOCK_ENCODER_INLINE int nearestCode(int ch, float value)
{
    const int v = !(value > 0.0f) ? 0 : value >= 255.0f ? 255 : static_cast<int>(value + 0.5f);
    return tables().nearest[ch == 1][v];
}

// The colours to fit: rgb and weight as integers, and as float arrays padded
// with weight 0 for the vector code.
struct PointSet {
    int count = 0;
    int rgb[kMaxPoints][3];
    int weight[kMaxPoints];
    alignas(32) float r[kMaxPoints], g[kMaxPoints], b[kMaxPoints], w[kMaxPoints];
    signed char pointOf[16];  // the point of each texel; -1 when the texel is not fitted
    unsigned transparent = 0; // texels that must decode transparent (DXT1)
};

PADDOCK_ENCODER_INLINE void gatherPoints(const BlockTexels& texels, bool dxt1, PointSet& set)
{
    std::uint32_t key[kMaxPoints];
    for (int t = 0; t < 16; ++t) {
        set.pointOf[t] = -1;
        if (!(texels.mask & (1u << t)))
            continue;
        const std::uint8_t* px = texels.bgra + 4 * t;
        if (dxt1 && px[3] < 128) {
            set.transparent |= 1u << t;
            continue;
        }
        const std::uint32_t k = px[0] | (px[1] << 8) | (px[2] << 16);
        int p = 0;
        while (p < set.count && key[p] != k)
            ++p;
        if (p == set.count) {
            key[p] = k;
            set.rgb[p][0] = px[2];
            set.rgb[p][1] = px[1];
            set.rgb[p][2] = px[0];
            set.weight[p] = 0;
            ++set.count;
        }
        ++set.weight[p];
        set.pointOf[t] = static_cast<signed char>(p);
    }
    for (int p = 0; p < kMaxPoints; ++p) {
        const bool used = p < set.count;
        set.r[p] = used ? static_cast<float>(set.rgb[p][0]) : 0.0f;
        set.g[p] = used ? static_cast<float>(set.rgb[p][1]) : 0.0f;
        set.b[p] = used ? static_cast<float>(set.rgb[p][2]) : 0.0f;
        set.w[p] = used ? static_cast<float>(set.weight[p]) : 0.0f;
    }
}

// The decoded palette of the endpoints, channel by channel: four entries, or
// three with the three-colour rule.
PADDOCK_ENCODER_INLINE int channelPalette(int ch, int c0, int c1, bool three, int pal[4])
{
    const int v0 = expandChannel(ch, c0), v1 = expandChannel(ch, c1);
    pal[0] = v0;
    pal[1] = v1;
    if (three) {
        pal[2] = (v0 + v1) / 2;
        return 3;
    }
    pal[2] = (2 * v0 + v1) / 3;
    pal[3] = (v0 + 2 * v1) / 3;
    return 4;
}

PADDOCK_ENCODER_INLINE int makePalette(const Endpoints& e, bool three, int pal[4][3])
{
    int entries = 0;
    for (int ch = 0; ch < 3; ++ch) {
        int channel[4];
        entries = channelPalette(ch, e.c0[ch], e.c1[ch], three, channel);
        for (int q = 0; q < entries; ++q)
            pal[q][ch] = channel[q];
    }
    return entries;
}

// The true squared error of the points with these endpoints, each point
// taking its nearest palette entry. The sums are of integers below 2^24, so
// they are exact in floats, in any order.
template <int W>
PADDOCK_ENCODER_INLINE int trueError(const PointSet& set, const Endpoints& e, bool three)
{
    using F = typename Lanes<W>::F;
    int pal[4][3];
    const int entries = makePalette(e, three, pal);
    F total{};
    for (int p = 0; p < set.count; p += W) {
        F r, g, b, w;
        loadLanes(r, set.r + p);
        loadLanes(g, set.g + p);
        loadLanes(b, set.b + p);
        loadLanes(w, set.w + p);
        F best = F{} + 3.0e38f;
        for (int q = 0; q < entries; ++q) {
            const F dr = r - static_cast<float>(pal[q][0]);
            const F dg = g - static_cast<float>(pal[q][1]);
            const F db = b - static_cast<float>(pal[q][2]);
            const F d = dr * dr + dg * dg + db * db;
            best = d < best ? d : best;
        }
        total += best * w;
    }
    return static_cast<int>(laneSum(total));
}

// The nearest palette entry of every point (the first of equals).
PADDOCK_ENCODER_INLINE void nearestEntries(const PointSet& set, const Endpoints& e, bool three, std::uint8_t* index)
{
    int pal[4][3];
    const int entries = makePalette(e, three, pal);
    for (int p = 0; p < set.count; ++p) {
        int best = INT_MAX;
        for (int q = 0; q < entries; ++q) {
            const int dr = set.rgb[p][0] - pal[q][0];
            const int dg = set.rgb[p][1] - pal[q][1];
            const int db = set.rgb[p][2] - pal[q][2];
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                index[p] = static_cast<std::uint8_t>(q);
            }
        }
    }
}

// ---- Cluster fit

// The points in their order along the principal axis as prefix sums of
// weighted colour and weight: x[m] sums the first m points.
struct Prefix {
    int n = 0;
    float x[kMaxPoints + 1], y[kMaxPoints + 1], z[kMaxPoints + 1], w[kMaxPoints + 1];
};

PADDOCK_ENCODER_INLINE void orderPoints(const PointSet& set, Prefix& P)
{
    const int n = set.count;
    float mean[3] = {0, 0, 0};
    float total = 0;
    for (int p = 0; p < n; ++p) {
        total += static_cast<float>(set.weight[p]);
        for (int ch = 0; ch < 3; ++ch)
            mean[ch] += static_cast<float>(set.weight[p] * set.rgb[p][ch]);
    }
    for (float& m : mean)
        m /= total;
    float cov[3][3] = {};
    for (int p = 0; p < n; ++p) {
        float d[3];
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = static_cast<float>(set.rgb[p][ch]) - mean[ch];
        const float w = static_cast<float>(set.weight[p]);
        for (int i = 0; i < 3; ++i)
            for (int j = i; j < 3; ++j)
                cov[i][j] += w * d[i] * d[j];
    }
    cov[1][0] = cov[0][1];
    cov[2][0] = cov[0][2];
    cov[2][1] = cov[1][2];
    // Power iteration, starting from the row of the largest variance (a
    // fixed start vector fails for axes perpendicular to it).
    int row = 0;
    for (int i = 1; i < 3; ++i)
        if (cov[i][i] > cov[row][row])
            row = i;
    float axis[3] = {cov[row][0], cov[row][1], cov[row][2]};
    for (int it = 0; it < 8; ++it) {
        float next[3];
        for (int i = 0; i < 3; ++i)
            next[i] = cov[i][0] * axis[0] + cov[i][1] * axis[1] + cov[i][2] * axis[2];
        const float m = std::max({std::abs(next[0]), std::abs(next[1]), std::abs(next[2])});
        if (!(m > 0.0f))
            break;
        for (int i = 0; i < 3; ++i)
            axis[i] = next[i] / m;
    }
    float key[kMaxPoints];
    int order[kMaxPoints];
    for (int p = 0; p < n; ++p) {
        key[p] = axis[0] * static_cast<float>(set.rgb[p][0]) + axis[1] * static_cast<float>(set.rgb[p][1]) +
                 axis[2] * static_cast<float>(set.rgb[p][2]);
        order[p] = p;
    }
    for (int p = 1; p < n; ++p) { // insertion sort, stable
        const int o = order[p];
        int q = p;
        while (q > 0 && key[order[q - 1]] > key[o]) {
            order[q] = order[q - 1];
            --q;
        }
        order[q] = o;
    }
    P.n = n;
    P.x[0] = P.y[0] = P.z[0] = P.w[0] = 0.0f;
    for (int m = 0; m < n; ++m) {
        const int p = order[m];
        const float w = static_cast<float>(set.weight[p]);
        P.x[m + 1] = P.x[m] + w * static_cast<float>(set.rgb[p][0]);
        P.y[m + 1] = P.y[m] + w * static_cast<float>(set.rgb[p][1]);
        P.z[m + 1] = P.z[m] + w * static_cast<float>(set.rgb[p][2]);
        P.w[m + 1] = P.w[m] + w;
    }
}

// The splits of the ordered points into clusters, staged in arrays so that
// the search runs over long contiguous stretches. Every pair (lo, hi) of
// boundaries, lo <= hi, is stored with the sums the least-squares solution
// needs, so that for every split
//   alpha . x  = (p + s) * c     (beta . x = total - alpha . x)
//   alpha^2    = ca + a
//   beta^2     = cb + b
//   alpha.beta = cd + d
// with s, a, b, d from the pair and p, c, ca, cb, cd constant over a run.
// The four-cluster search (clusters at 1, 2/3, 1/3 and 0 of the way from c1
// to c0: points [0, i), [i, lo), [lo, hi), [hi, n)) runs over the pairs with
// lo >= i for every i; the three-cluster search (1, 1/2, 0: [0, lo),
// [lo, hi), [hi, n)) runs over all pairs once.
constexpr int kMaxPairs = (kMaxPoints + 1) * (kMaxPoints + 2) / 2;
constexpr int kPairRoom = kMaxPairs + 8; // vector reads run up to 7 entries past the end

struct Splits {
    int count = 0;
    int from[kMaxPoints + 2]; // the first pair whose lo is at least i
    alignas(32) float sx[kPairRoom], sy[kPairRoom], sz[kPairRoom];
    alignas(32) float a4[kPairRoom], b4[kPairRoom], d4[kPairRoom];
    alignas(32) float a3[kPairRoom], b3[kPairRoom], d3[kPairRoom];
    std::uint8_t lo[kPairRoom], hi[kPairRoom];
};

PADDOCK_ENCODER_INLINE void stageSplits(const Prefix& P, Splits& S)
{
    const int n = P.n;
    const float wt = P.w[n];
    int q = 0;
    for (int lo = 0; lo <= n; ++lo) {
        S.from[lo] = q;
        for (int hi = lo; hi <= n; ++hi, ++q) {
            const float wl = P.w[lo], wh = P.w[hi];
            S.sx[q] = P.x[lo] + P.x[hi];
            S.sy[q] = P.y[lo] + P.y[hi];
            S.sz[q] = P.z[lo] + P.z[hi];
            S.a4[q] = (3.0f * wl + wh) / 9.0f;
            S.b4[q] = wt - (3.0f * wl + 5.0f * wh) / 9.0f;
            S.d4[q] = 2.0f * wh / 9.0f;
            S.a3[q] = 0.75f * wl + 0.25f * wh;
            S.b3[q] = wt - 0.25f * wl - 0.75f * wh;
            S.d3[q] = 0.25f * (wh - wl);
            S.lo[q] = static_cast<std::uint8_t>(lo);
            S.hi[q] = static_cast<std::uint8_t>(hi);
        }
    }
    S.from[n + 1] = q;
    S.count = q;
    // Finite values past the end: those lanes are computed and then ignored.
    for (int pad = q; pad < q + 8; ++pad) {
        S.sx[pad] = S.sy[pad] = S.sz[pad] = S.d4[pad] = S.d3[pad] = 0.0f;
        S.a4[pad] = S.b4[pad] = S.a3[pad] = S.b3[pad] = 1.0f;
    }
}

struct RunConstants {
    float px, py, pz, c, ca, cb, cd;
};

// The two best splits so far (by error, then id), lane by lane.
template <int W>
struct Search {
    typename Lanes<W>::F error = typename Lanes<W>::F{} + 3.0e38f, error2 = typename Lanes<W>::F{} + 3.0e38f;
    typename Lanes<W>::I id = typename Lanes<W>::I{}, id2 = typename Lanes<W>::I{};
};

// Clamps to 0..255 and snaps to the grid of a channel.
template <typename F, typename I>
PADDOCK_ENCODER_INLINE void snapLanes(F& v, float scale, float inverse)
{
    v = v < 0.0f ? F{} : v;
    v = v > 255.0f ? F{} + 255.0f : v;
    const I q = __builtin_convertvector(v * scale + 0.5f, I);
    v = __builtin_convertvector(q, F) * inverse;
}

// Scans the pairs [begin, end): every split's error is that of its
// least-squares endpoints snapped to the grid, without the constant sum of
// squared colours. Ids grow along the scan, so each lane keeps the first of
// equal errors and the overall two best are the same whatever the width.
template <int W>
PADDOCK_ENCODER_INLINE void scanSplits(const Splits& S, const float* sa, const float* sb, const float* sd, int begin,
                                       int end, const RunConstants& r, const float total[3], int idBase, Search<W>& s)
{
    using F = typename Lanes<W>::F;
    using I = typename Lanes<W>::I;
    I lanes;
    for (int l = 0; l < W; ++l)
        lanes[l] = l;
    for (int q = begin; q < end; q += W) {
        F sx, sy, sz, a, b, d;
        loadLanes(sx, S.sx + q);
        loadLanes(sy, S.sy + q);
        loadLanes(sz, S.sz + q);
        loadLanes(a, sa + q);
        loadLanes(b, sb + q);
        loadLanes(d, sd + q);
        const F ax = (sx + r.px) * r.c, ay = (sy + r.py) * r.c, az = (sz + r.pz) * r.c;
        const F bx = total[0] - ax, by = total[1] - ay, bz = total[2] - az;
        const F a2 = a + r.ca, b2 = b + r.cb, ab = d + r.cd;
        const F det = a2 * b2 - ab * ab;
        const I lane = lanes + q;
        const I ok = (det > 0.01f) & (lane < end);
        const F f = 1.0f / (ok ? det : F{} + 1.0f);
        F ar = (ax * b2 - bx * ab) * f, ag = (ay * b2 - by * ab) * f, ab_ = (az * b2 - bz * ab) * f;
        F br = (bx * a2 - ax * ab) * f, bg = (by * a2 - ay * ab) * f, bb = (bz * a2 - az * ab) * f;
        snapLanes<F, I>(ar, 31.0f / 255.0f, 255.0f / 31.0f);
        snapLanes<F, I>(ag, 63.0f / 255.0f, 255.0f / 63.0f);
        snapLanes<F, I>(ab_, 31.0f / 255.0f, 255.0f / 31.0f);
        snapLanes<F, I>(br, 31.0f / 255.0f, 255.0f / 31.0f);
        snapLanes<F, I>(bg, 63.0f / 255.0f, 255.0f / 63.0f);
        snapLanes<F, I>(bb, 31.0f / 255.0f, 255.0f / 31.0f);
        const F e1 = a2 * (ar * ar + ag * ag + ab_ * ab_) + b2 * (br * br + bg * bg + bb * bb);
        const F e2 = ab * (ar * br + ag * bg + ab_ * bb) - (ar * ax + ag * ay + ab_ * az) -
                     (br * bx + bg * by + bb * bz);
        F e = e1 + 2.0f * e2;
        e = ok ? e : F{} + 3.0e38f;
        const I id = lane + idBase;
        const I better = e < s.error, better2 = e < s.error2;
        s.error2 = better ? s.error : better2 ? e : s.error2;
        s.id2 = better ? s.id : better2 ? id : s.id2;
        s.error = better ? e : s.error;
        s.id = better ? id : s.id;
    }
}

// The best splits of a search, best first; -1 where there is none.
template <int W>
PADDOCK_ENCODER_INLINE void bestSplits(const Search<W>& s, int best[2], float error[2])
{
    error[0] = error[1] = 1.0e38f;
    best[0] = best[1] = -1;
    auto offer = [&](float e, int id) {
        if (!(e < 1.0e38f))
            return;
        if (e < error[0] || (e == error[0] && id < best[0])) {
            error[1] = error[0];
            best[1] = best[0];
            error[0] = e;
            best[0] = id;
        } else if (e < error[1] || (e == error[1] && id < best[1])) {
            error[1] = e;
            best[1] = id;
        }
    };
    for (int l = 0; l < W; ++l) {
        offer(s.error[l], s.id[l]);
        offer(s.error2[l], s.id2[l]);
    }
}

// Least-squares endpoints of weighted sums, snapped to the nearest codes.
PADDOCK_ENCODER_INLINE Endpoints solveEndpoints(const float ax[3], const float tx[3], float a2, float b2, float ab)
{
    Endpoints e{};
    const float det = a2 * b2 - ab * ab;
    const float f = det > 0.01f ? 1.0f / det : 0.0f;
    for (int ch = 0; ch < 3; ++ch) {
        const float bx = tx[ch] - ax[ch];
        e.c0[ch] = nearestCode(ch, (ax[ch] * b2 - bx * ab) * f);
        e.c1[ch] = nearestCode(ch, (bx * a2 - ax[ch] * ab) * f);
    }
    return e;
}

// The endpoints of a four-cluster split with boundaries i <= j <= k.
PADDOCK_ENCODER_INLINE Endpoints splitEndpoints4(const Prefix& P, int i, int j, int k)
{
    const int n = P.n;
    const float tx[3] = {P.x[n], P.y[n], P.z[n]};
    const float ax[3] = {(P.x[i] + P.x[j] + P.x[k]) / 3.0f, (P.y[i] + P.y[j] + P.y[k]) / 3.0f,
                         (P.z[i] + P.z[j] + P.z[k]) / 3.0f};
    const float a2 = (5.0f * P.w[i] + 3.0f * P.w[j] + P.w[k]) / 9.0f;
    const float b2 = P.w[n] - (P.w[i] + 3.0f * P.w[j] + 5.0f * P.w[k]) / 9.0f;
    const float ab = 2.0f * (P.w[k] - P.w[i]) / 9.0f;
    return solveEndpoints(ax, tx, a2, b2, ab);
}

// The endpoints of a three-cluster split with boundaries i <= j.
PADDOCK_ENCODER_INLINE Endpoints splitEndpoints3(const Prefix& P, int i, int j)
{
    const int n = P.n;
    const float tx[3] = {P.x[n], P.y[n], P.z[n]};
    const float ax[3] = {(P.x[i] + P.x[j]) / 2.0f, (P.y[i] + P.y[j]) / 2.0f, (P.z[i] + P.z[j]) / 2.0f};
    const float a2 = 0.75f * P.w[i] + 0.25f * P.w[j];
    const float b2 = P.w[n] - 0.25f * P.w[i] - 0.75f * P.w[j];
    const float ab = 0.25f * (P.w[j] - P.w[i]);
    return solveEndpoints(ax, tx, a2, b2, ab);
}

// ---- Refinement against the true error

// Picks each channel's endpoint pair exactly for the given palette entries
// of the points, among the codes within two steps of the least-squares
// solution and the current pair. Returns false when nothing changes.
PADDOCK_ENCODER_INLINE bool refitChannels(const PointSet& set, const std::uint8_t* index, bool three, Endpoints& e)
{
    static constexpr float kAlpha4[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    static constexpr float kAlpha3[3] = {1.0f, 0.0f, 0.5f};
    const int entries = three ? 3 : 4;
    // Per entry: weight, and per channel the sums of values and squares.
    int count[4] = {0, 0, 0, 0};
    int sum[4][3] = {}, squares[4][3] = {};
    for (int p = 0; p < set.count; ++p) {
        const int q = index[p], w = set.weight[p];
        count[q] += w;
        for (int ch = 0; ch < 3; ++ch) {
            sum[q][ch] += w * set.rgb[p][ch];
            squares[q][ch] += w * set.rgb[p][ch] * set.rgb[p][ch];
        }
    }
    float a2 = 0, b2 = 0, ab = 0, ax[3] = {0, 0, 0}, tx[3] = {0, 0, 0};
    for (int q = 0; q < entries; ++q) {
        const float a = three ? kAlpha3[q] : kAlpha4[q], w = static_cast<float>(count[q]);
        a2 += w * a * a;
        b2 += w * (1 - a) * (1 - a);
        ab += w * a * (1 - a);
        for (int ch = 0; ch < 3; ++ch) {
            ax[ch] += a * static_cast<float>(sum[q][ch]);
            tx[ch] += static_cast<float>(sum[q][ch]);
        }
    }
    const bool solvable = a2 * b2 - ab * ab >= 0.01f;
    const Endpoints centre = solvable ? solveEndpoints(ax, tx, a2, b2, ab) : e;
    bool changed = false;
    for (int ch = 0; ch < 3; ++ch) {
        auto error = [&](int c0, int c1) {
            int pal[4];
            channelPalette(ch, c0, c1, three, pal);
            int total = 0;
            for (int q = 0; q < entries; ++q)
                total += squares[q][ch] - 2 * pal[q] * sum[q][ch] + count[q] * pal[q] * pal[q];
            return total;
        };
        int best0 = e.c0[ch], best1 = e.c1[ch];
        int bestError = error(best0, best1);
        const int top = kChannelMax[ch];
        const int lo0 = std::max(0, centre.c0[ch] - kRefitReach), hi0 = std::min(top, centre.c0[ch] + kRefitReach);
        const int lo1 = std::max(0, centre.c1[ch] - kRefitReach), hi1 = std::min(top, centre.c1[ch] + kRefitReach);
        for (int c0 = lo0; c0 <= hi0; ++c0) {
            for (int c1 = lo1; c1 <= hi1; ++c1) {
                const int err = error(c0, c1);
                if (err < bestError) {
                    bestError = err;
                    best0 = c0;
                    best1 = c1;
                }
            }
        }
        changed = changed || best0 != e.c0[ch] || best1 != e.c1[ch];
        e.c0[ch] = best0;
        e.c1[ch] = best1;
    }
    return changed;
}

// Improves the endpoints against the true error; returns that error. Every
// step keeps the error or lowers it.
template <int W>
PADDOCK_ENCODER_INLINE int refine(const PointSet& set, bool three, Endpoints& e)
{
    int error = trueError<W>(set, e, three);
    for (int it = 0; it < kRefitRounds && error > 0; ++it) {
        std::uint8_t index[kMaxPoints];
        nearestEntries(set, e, three, index);
        Endpoints f = e;
        if (!refitChannels(set, index, three, f))
            break;
        const int fError = trueError<W>(set, f, three);
        if (fError >= error)
            break;
        e = f;
        error = fError;
    }
    for (int pass = 0; pass < kStepPasses && error > 0; ++pass) {
        bool improved = false;
        for (int end = 0; end < 2; ++end) {
            for (int ch = 0; ch < 3; ++ch) {
                for (int step = -1; step <= 1; step += 2) {
                    Endpoints f = e;
                    int& v = end ? f.c1[ch] : f.c0[ch];
                    v += step;
                    if (v < 0 || v > kChannelMax[ch])
                        continue;
                    const int fError = trueError<W>(set, f, three);
                    if (fError < error) {
                        e = f;
                        error = fError;
                        improved = true;
                    }
                }
            }
        }
        if (!improved)
            break;
    }
    return error;
}

// A block of one colour: exact endpoints, the nearest two-thirds entry or
// (when allowed) the nearest midpoint, channel by channel from the tables.
PADDOCK_ENCODER_INLINE void fitSingle(const PointSet& set, bool allowFour, bool allowThree, Endpoints& best,
                                      bool& bestThree)
{
    const Tables& t = tables();
    const int* c = set.rgb[0];
    int exactError = 0, thirdError = 0, halfError = 0;
    for (int ch = 0; ch < 3; ++ch) {
        const int wide = ch == 1;
        exactError += t.nearestError[wide][c[ch]];
        thirdError += t.thirdError[wide][c[ch]];
        halfError += t.halfError[wide][c[ch]];
    }
    int bestError = exactError;
    bestThree = !allowFour;
    for (int ch = 0; ch < 3; ++ch)
        best.c0[ch] = best.c1[ch] = t.nearest[ch == 1][c[ch]];
    if (allowFour && thirdError < bestError) {
        bestError = thirdError;
        bestThree = false;
        for (int ch = 0; ch < 3; ++ch) {
            best.c0[ch] = t.third[ch == 1][c[ch]][0];
            best.c1[ch] = t.third[ch == 1][c[ch]][1];
        }
    }
    if (allowThree && halfError < bestError) {
        bestThree = true;
        for (int ch = 0; ch < 3; ++ch) {
            best.c0[ch] = t.half[ch == 1][c[ch]][0];
            best.c1[ch] = t.half[ch == 1][c[ch]][1];
        }
    }
}

PADDOCK_ENCODER_INLINE void writeColourBlock(const PointSet& set, const Endpoints& e, bool three, std::uint8_t* out)
{
    std::uint8_t index[kMaxPoints];
    nearestEntries(set, e, three, index);
    unsigned a = pack565(e.c0), b = pack565(e.c1);
    std::array<unsigned, 4> remap = {0, 1, 2, 3};
    if (three) {
        if (a > b) {
            std::swap(a, b);
            remap = {1, 0, 2, 3};
        }
    } else if (a < b) {
        std::swap(a, b);
        remap = {1, 0, 3, 2};
    } else if (a == b) {
        remap = {0, 0, 0, 0}; // one colour; in DXT1 this is a three-colour block
    }
    std::uint32_t bits = 0;
    for (int t = 0; t < 16; ++t) {
        unsigned v = 0;
        if (set.transparent & (1u << t))
            v = 3;
        else if (set.pointOf[t] >= 0)
            v = remap[index[set.pointOf[t]]];
        bits |= v << (2 * t);
    }
    out[0] = static_cast<std::uint8_t>(a);
    out[1] = static_cast<std::uint8_t>(a >> 8);
    out[2] = static_cast<std::uint8_t>(b);
    out[3] = static_cast<std::uint8_t>(b >> 8);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <int W>
PADDOCK_ENCODER_INLINE void encodeColour(const BlockTexels& texels, bool dxt1, std::uint8_t* out)
{
    PointSet set;
    gatherPoints(texels, dxt1, set);
    const bool allowFour = !set.transparent;
    const bool allowThree = dxt1;
    Endpoints best{};
    bool bestThree = !allowFour;
    if (set.count == 1) {
        fitSingle(set, allowFour, allowThree, best, bestThree);
    } else if (set.count > 1) {
        Prefix P;
        orderPoints(set, P);
        Splits S;
        stageSplits(P, S);
        const int n = P.n;
        const float total[3] = {P.x[n], P.y[n], P.z[n]};
        int bestError = INT_MAX;
        // The searches' errors leave out the sum of squared colours.
        float squares = 0;
        for (int p = 0; p < set.count; ++p)
            for (int ch = 0; ch < 3; ++ch)
                squares += static_cast<float>(set.weight[p] * set.rgb[p][ch] * set.rgb[p][ch]);
        auto worthRefining = [&](float estimate) {
            return bestError == INT_MAX || estimate + squares <= static_cast<float>(bestError) * kRefineMargin + 16.0f;
        };
        if (allowFour) {
            Search<W> s;
            for (int i = 0; i <= n; ++i) {
                const float wi = P.w[i];
                const RunConstants r{P.x[i], P.y[i], P.z[i], 1.0f / 3.0f, 5.0f * wi / 9.0f, -wi / 9.0f,
                                     -2.0f * wi / 9.0f};
                scanSplits<W>(S, S.a4, S.b4, S.d4, S.from[i], S.count, r, total, i * 256, s);
            }
            int ids[2];
            float est[2];
            bestSplits<W>(s, ids, est);
            for (int c = 0; c < kSplitsRefined && ids[c] >= 0 && worthRefining(est[c]); ++c) {
                const int pair = ids[c] & 255;
                Endpoints e = splitEndpoints4(P, ids[c] >> 8, S.lo[pair], S.hi[pair]);
                const int error = refine<W>(set, false, e);
                if (error < bestError) {
                    best = e;
                    bestThree = false;
                    bestError = error;
                }
            }
        }
        if (allowThree && bestError > 0) {
            Search<W> s;
            const RunConstants r{0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f};
            scanSplits<W>(S, S.a3, S.b3, S.d3, 0, S.count, r, total, 0, s);
            int ids[2];
            float est[2];
            bestSplits<W>(s, ids, est);
            for (int c = 0; c < kSplitsRefined && ids[c] >= 0 && worthRefining(est[c]); ++c) {
                Endpoints e = splitEndpoints3(P, S.lo[ids[c]], S.hi[ids[c]]);
                const int error = refine<W>(set, true, e);
                if (error < bestError) {
                    best = e;
                    bestThree = true;
                    bestError = error;
                }
            }
        }
    }
    writeColourBlock(set, best, bestThree, out);
}

} // namespace

// ---- Alpha encoding -------------------------------------------------------------
//
// Candidates for the endpoints: the range of all values (eight-value
// palette), the range of the values other than 0 and 255 (six-value palette,
// whose extra entries 0 and 255 are exact), and the same ranges widened to at
// least one step per palette interval. The best candidate is then moved one
// step at a time while that lowers the true error.

namespace {

// The alpha values as floats padded with weight 0 for the vector code.
struct AlphaSet {
    int count = 0;
    alignas(32) float value[16], weight[16];
};

template <int W>
PADDOCK_ENCODER_INLINE int alphaError(const AlphaSet& set, int a0, int a1)
{
    using F = typename Lanes<W>::F;
    int values[8];
    alphaValues(a0, a1, values);
    F total{};
    for (int p = 0; p < set.count; p += W) {
        F v, w;
        loadLanes(v, set.value + p);
        loadLanes(w, set.weight + p);
        F best = F{} + 3.0e38f;
        for (int q = 0; q < 8; ++q) {
            const F d = v - static_cast<float>(values[q]);
            const F d2 = d * d;
            best = d2 < best ? d2 : best;
        }
        total += best * w;
    }
    return static_cast<int>(laneSum(total));
}

PADDOCK_ENCODER_INLINE void widen(int& lo, int& hi, int steps)
{
    if (hi - lo < steps)
        hi = std::min(lo + steps, 255);
    if (hi - lo < steps)
        lo = std::max(0, hi - steps);
}

template <int W>
PADDOCK_ENCODER_INLINE void encodeAlpha(const BlockTexels& texels, std::uint8_t* out)
{
    AlphaSet set;
    int texelValue[16];
    int lo8 = 255, hi8 = 0, lo6 = 255, hi6 = 0;
    for (int t = 0; t < 16; ++t) {
        texelValue[t] = -1;
        if (!(texels.mask & (1u << t)))
            continue;
        const int v = texels.bgra[4 * t + 3];
        texelValue[t] = v;
        set.value[set.count++] = static_cast<float>(v);
        lo8 = std::min(lo8, v);
        hi8 = std::max(hi8, v);
        if (v != 0 && v != 255) {
            lo6 = std::min(lo6, v);
            hi6 = std::max(hi6, v);
        }
    }
    if (lo8 > hi8)
        lo8 = hi8 = 0;
    if (lo6 > hi6)
        lo6 = hi6 = lo8;

    // A candidate is (a0, a1): a0 > a1 selects the eight-value palette.
    struct Candidate {
        int a0, a1;
    };
    // Six values (a0 <= a1): exact when there is at most one value besides 0
    // and 255.
    Candidate best = {lo6, hi6};
    if (lo6 != hi6) {
        for (int p = 0; p < 16; ++p) {
            set.weight[p] = p < set.count ? 1.0f : 0.0f;
            if (p >= set.count)
                set.value[p] = 0.0f;
        }
        Candidate candidates[3];
        candidates[0] = {hi8, lo8};
        int wlo = lo6, whi = hi6;
        widen(wlo, whi, 5);
        candidates[1] = {wlo, whi};
        wlo = lo8;
        whi = hi8;
        widen(wlo, whi, 7);
        candidates[2] = {whi, wlo};

        int bestError = alphaError<W>(set, best.a0, best.a1);
        for (const Candidate& c : candidates) {
            if (bestError == 0)
                break;
            const int error = alphaError<W>(set, c.a0, c.a1);
            if (error < bestError) {
                bestError = error;
                best = c;
            }
        }
        // Single steps that keep the palette's kind.
        const bool eight = best.a0 > best.a1;
        for (int pass = 0; pass < 8 && bestError > 0; ++pass) {
            bool improved = false;
            for (int end = 0; end < 2; ++end) {
                for (int step = -1; step <= 1; step += 2) {
                    Candidate c = best;
                    int& v = end ? c.a1 : c.a0;
                    v += step;
                    if (v < 0 || v > 255 || (c.a0 > c.a1) != eight)
                        continue;
                    const int error = alphaError<W>(set, c.a0, c.a1);
                    if (error < bestError) {
                        bestError = error;
                        best = c;
                        improved = true;
                    }
                }
            }
            if (!improved)
                break;
        }
    }

    int values[8];
    alphaValues(best.a0, best.a1, values);
    std::uint64_t bits = 0;
    for (int t = 0; t < 16; ++t) {
        if (texelValue[t] < 0)
            continue;
        int bestIndex = 0, bestDistance = INT_MAX;
        for (int q = 0; q < 8; ++q) {
            const int d = std::abs(texelValue[t] - values[q]);
            if (d < bestDistance) {
                bestDistance = d;
                bestIndex = q;
            }
        }
        bits |= static_cast<std::uint64_t>(bestIndex) << (3 * t);
    }
    out[0] = static_cast<std::uint8_t>(best.a0);
    out[1] = static_cast<std::uint8_t>(best.a1);
    for (int i = 0; i < 6; ++i)
        out[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// ---- The two builds and the choice between them

void encodeColourPortable(const BlockTexels& texels, bool dxt1, std::uint8_t* out)
{
    encodeColour<4>(texels, dxt1, out);
}

void encodeAlphaPortable(const BlockTexels& texels, std::uint8_t* out)
{
    encodeAlpha<4>(texels, out);
}

#if defined(__x86_64__) || defined(__i386__)
#define PADDOCK_HAVE_AVX2_BUILD 1

__attribute__((target("avx2"))) void encodeColourAvx2(const BlockTexels& texels, bool dxt1, std::uint8_t* out)
{
    encodeColour<8>(texels, dxt1, out);
}

__attribute__((target("avx2"))) void encodeAlphaAvx2(const BlockTexels& texels, std::uint8_t* out)
{
    encodeAlpha<8>(texels, out);
}

bool processorHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
bool processorHasAvx2()
{
    return false;
}
#endif

std::atomic<bool> useWide{processorHasAvx2()};

} // namespace

void UsePortableCode(bool portable)
{
    useWide.store(!portable && processorHasAvx2(), std::memory_order_relaxed);
}

void EncodeColourBlock(const BlockTexels& texels, bool dxt1, std::uint8_t* out)
{
#ifdef PADDOCK_HAVE_AVX2_BUILD
    if (useWide.load(std::memory_order_relaxed))
        return encodeColourAvx2(texels, dxt1, out);
#endif
    encodeColourPortable(texels, dxt1, out);
}

void EncodeAlphaBlock(const BlockTexels& texels, std::uint8_t* out)
{
#ifdef PADDOCK_HAVE_AVX2_BUILD
    if (useWide.load(std::memory_order_relaxed))
        return encodeAlphaAvx2(texels, out);
#endif
    encodeAlphaPortable(texels, out);
}

} // namespace paddock::dxt
