#include "PortableMath.h"
#include "PortableMathTables.h"

#include "Lanes.h"

#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qz::math {

namespace {

uint64_t Bits(double x)
{
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double FromBits(uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// 2^k for -1022 <= k <= 1023.
double TwoTo(int k) { return FromBits(static_cast<uint64_t>(k + 1023) << 52); }

// Constants, not computed at start-up: other files' static objects may call these
// functions before this file's initializers would have run.
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in two parts: the high part has 42 significant bits, so k ln2Hi is exact for
// every |k| < 2^11, which covers the exponents of all doubles.
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
// ln 10 in two parts (hi the double nearest, lo the rest).
constexpr double kLn10Hi = 0x1.26bb1bbb55516p+1;
constexpr double kLn10Lo = -0x1.f48ad494ea3e9p-53;
// pi/2 in three parts of which the first two have 33 significant bits: k p1 and k p2
// are exact for |k| < 2^20.
constexpr double kPiOver2A = 0x1.921fb54400000p+0;
constexpr double kPiOver2B = 0x1.0b4611a600000p-34;
constexpr double kPiOver2C = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// The integer nearest to x (ties to even), for |x| < 2^51: adding 1.5 * 2^52 leaves no
// fraction bits, and the double sum rounds to nearest.
double RoundToInteger(double x)
{
    const double shifter = 0x1.8p52;
    return (x + shifter) - shifter;
}

// The arithmetic of Exp and Log after their reductions, written once for one value
// (V = double) and for two values in the lanes of an SSE2 register (V = Pair).

// e^(hi - lo) 2^(j / 128) for |hi - lo| <= ln2 / 256, with t = 2^(j / 128) as tHi + tLo:
// e^r = 1 + p, p = r + r^2 q(r), q the Taylor series of (e^r - 1 - r) / r^2 to the r^5
// term (the next is below 2^-60 of the result), so the result t + t p is rounded once
// where it matters.
template <typename V>
V ExpOfReduced(V hi, V lo, V tHi, V tLo)
{
    const V r = hi - lo;
    V q = V(1.0 / 120.0);
    q = q * r + V(1.0 / 24.0);
    q = q * r + V(1.0 / 6.0);
    q = q * r + V(0.5);
    const V p = hi + (r * r * q - lo);
    return tHi + (tLo + tHi * p);
}

// ln(2^k z) for z in interval j of the Log table, given k as a double, z, and zHi (z
// with its low 32 bits cleared). With 1/c of the interval, z/c = 1 + r: zHi/c - 1 is
// exact (zHi has 21 significant bits and 1/c 32, and the product lies near 1), and
// zLo/c adds the rest; the rounding error of that sum is recovered exactly (Fast2Sum),
// as is that of k ln2Hi + ln c (exact itself: a multiple of 2^-42) plus r, so only the
// small terms round: ln(1 + r) = r + r^2 p(r), the series to the r^7 term (the
// next is below 2^-58 of r, |r| <= 2^-8). Where z = 1 lies, 1/c = 1 and ln c = 0, so
// near x = 1 the result is r + r^2 p(r) with r = x - 1 exact.
template <typename V>
V LogOfReduced(V dk, V z, V zHi, V invC, V logCHi, V logCLo)
{
    const V rHi = zHi * invC - V(1.0);
    const V rLo = (z - zHi) * invC;
    const V r = rHi + rLo;
    const V rError = (rHi - r) + rLo;
    const V w = dk * V(kLn2Hi) + logCHi;
    const V hi = w + r;
    const V lo = (w - hi) + r;
    V p = V(1.0 / 7.0);
    p = p * r - V(1.0 / 6.0);
    p = p * r + V(1.0 / 5.0);
    p = p * r - V(0.25);
    p = p * r + V(1.0 / 3.0);
    p = p * r - V(0.5);
    return hi + (lo + ((rError + (dk * V(kLn2Lo) + logCLo)) + r * r * p));
}

// The interval of the Log table that the mantissa of the positive normal x with the
// bits b falls in.
int LogIndex(uint64_t b)
{
    return static_cast<int>(((b - tables::kLogOffset) >> (52 - tables::kBits)) & (tables::kSize - 1));
}

// The reduction of a positive normal x for Log: x = 2^e z with z's bits in
// [kLogOffset, kLogOffset + 2^52), and the interval of z.
struct LogReduction {
    double e, z, zHi;
    const tables::LogEntry* entry;

    explicit LogReduction(uint64_t b)
    {
        const uint64_t offset = b - tables::kLogOffset;
        const uint64_t exponentBits = offset & 0xFFF0000000000000ull;
        // The top 12 bits of the offset are e in two's complement.
        e = static_cast<double>(static_cast<int>(((offset >> 52) ^ 0x800) & 0xFFF) - 0x800);
        const uint64_t zBits = b - exponentBits;
        z = FromBits(zBits);
        zHi = FromBits(zBits & 0xFFFFFFFF00000000ull);
        entry = &tables::kLog[LogIndex(b)];
    }
};

// e^(xh + xl) for |xl| much smaller than ulp(xh). Reduction: xh + xl = k ln2 / 128 + r
// with |r| <= ln2 / 256, r held as hi - lo (hi exact: k times the step's high part is
// exact, and xh lies within half a step of it); 2^(k / 128) = 2^n 2^(j / 128).
double ExpSplit(double xh, double xl)
{
    if (xh != xh)
        return xh;
    if (xh > 709.8)
        return kInf;
    if (xh < -745.2)
        return 0.0;

    const double kd = RoundToInteger(xh * tables::kExpStepsPerUnit);
    const double hi = xh - kd * tables::kExpStepHi;
    const double lo = kd * tables::kExpStepLo - xl;
    const int64_t k = static_cast<int64_t>(kd);
    const int j = static_cast<int>(k & (tables::kSize - 1));
    const double y = ExpOfReduced(hi, lo, tables::kExp[j].hi, tables::kExp[j].lo);

    // y 2^n, in two steps where either factor alone would leave the normal range; the
    // last multiplication is the only rounding of a subnormal result.
    const int n = static_cast<int>((k - j) / tables::kSize);
    if (n > 1023)
        return y * TwoTo(1023) * TwoTo(n - 1023);
    if (n < -1022)
        return y * TwoTo(n + 64) * TwoTo(-64);
    return y * TwoTo(n);
}

// a b = p + e exactly (Dekker's product: both factors split into 26-bit halves, whose
// products are exact), for |a|, |b| well inside the double range.
void ExactProduct(double a, double b, double& p, double& e)
{
    const double splitter = 134217729.0;  // 2^27 + 1
    const double ca = splitter * a, cb = splitter * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    p = a * b;
    e = (((ah * bh - p) + ah * bl) + al * bh) + al * bl;
}

// sin and cos of r + d for |r| <= pi/4 (a little beyond is harmless) and d the small
// remainder of the argument reduction: Taylor series to the r^17 and r^18 terms (the
// next are below 2^-60 of the result), d through sin(r + d) = sin r + d cos r and
// cos(r + d) = cos r - d sin r to first order.
double SinKernel(double r, double d)
{
    const double z = r * r;
    double p = -1.0 / 355687428096000.0;  // -1/17!
    p = p * z + 1.0 / 1307674368000.0;
    p = p * z - 1.0 / 6227020800.0;
    p = p * z + 1.0 / 39916800.0;
    p = p * z - 1.0 / 362880.0;
    p = p * z + 1.0 / 5040.0;
    p = p * z - 1.0 / 120.0;
    p = p * z + 1.0 / 6.0;
    return r + (d * (1.0 - 0.5 * z) - r * z * p);
}

double CosKernel(double r, double d)
{
    const double z = r * r;
    double p = 1.0 / 6402373705728000.0;  // 1/18!
    p = p * z - 1.0 / 20922789888000.0;
    p = p * z + 1.0 / 87178291200.0;
    p = p * z - 1.0 / 479001600.0;
    p = p * z + 1.0 / 3628800.0;
    p = p * z - 1.0 / 40320.0;
    p = p * z + 1.0 / 720.0;
    p = p * z - 1.0 / 24.0;
    // 1 - z/2 rounds; its rounding error is added back with the small terms.
    const double half = 0.5 * z;
    const double w = 1.0 - half;
    return w + ((((1.0 - w) - half) - z * z * p) - r * d);
}

// x = k pi/2 + r + d with |d| below ulp(r); returns the quadrant k mod 4 (and NaN in r
// for |x| >= 2^62). x - k p1 and k p2 are exact; the rounding error of their
// difference is recovered exactly (Knuth's two-sum) and carried in d with k p3.
int ReduceQuarterTurns(double x, double& r, double& d)
{
    if (!(x > -0x1p62 && x < 0x1p62)) {  // infinite, NaN or far out of range
        r = d = kNaN;
        return 0;
    }
    const double k = RoundToInteger(x * kTwoOverPi);
    const double a = x - k * kPiOver2A;
    const double b = -(k * kPiOver2B);
    const double t = a + b;
    const double bv = t - a;
    const double err = (a - (t - bv)) + (b - bv);
    const double lo = err - k * kPiOver2C;
    r = t + lo;
    d = lo - (r - t);
    return static_cast<int>(static_cast<int64_t>(k) & 3);
}

} // namespace

double Log(double x)
{
    uint64_t b = Bits(x);
    if (x != x || x == kInf)
        return x;
    if (x < 0.0)
        return kNaN;
    if (x == 0.0)
        return -kInf;
    double scaleExponent = 0.0;
    if (b < (1ull << 52)) {  // subnormal: bring it into the normal range
        b = Bits(x * 0x1p54);
        scaleExponent = -54.0;
    }
    const LogReduction t(b);
    return LogOfReduced(t.e + scaleExponent, t.z, t.zHi, t.entry->invC, t.entry->logCHi, t.entry->logCLo);
}

double Exp(double x) { return ExpSplit(x, 0.0); }

double Pow(double x, double y)
{
    if (y == 0.0 || x == 1.0)
        return 1.0;
    if (x == 0.0 && y > 0.0)
        return 0.0;
    return Exp(y * Log(x));
}

double Pow10(double y)
{
    if (y != y)
        return y;
    if (y > 310.0)
        return kInf;
    if (y < -330.0)
        return 0.0;
    // y ln10 as p + e, nearly exact, so the result keeps the accuracy of Exp.
    double p, e;
    ExactProduct(y, kLn10Hi, p, e);
    return ExpSplit(p, e + y * kLn10Lo);
}

double Sin(double x)
{
    double r, d;
    switch (ReduceQuarterTurns(x, r, d)) {
    case 0: return SinKernel(r, d);
    case 1: return CosKernel(r, d);
    case 2: return -SinKernel(r, d);
    default: return -CosKernel(r, d);
    }
}

double Cos(double x)
{
    double r, d;
    switch (ReduceQuarterTurns(x, r, d)) {
    case 0: return CosKernel(r, d);
    case 1: return -SinKernel(r, d);
    case 2: return -CosKernel(r, d);
    default: return SinKernel(r, d);
    }
}

double Tan(double x)
{
    double r, d;
    const int quadrant = ReduceQuarterTurns(x, r, d);
    const double s = SinKernel(r, d), c = CosKernel(r, d);
    return (quadrant & 1) ? -c / s : s / c;
}

#if defined(__SSE2__)

namespace {

__m128d Splat(double v) { return _mm_set1_pd(v); }

using lanes::Pair;

constexpr uint64_t kSmallestNormalBits = 0x0010000000000000ull;
constexpr uint64_t kNormalBitsSpan = 0x7FE0000000000000ull;

// Log of two positive normal doubles: the operations of Log, lane by lane.
__m128d LogPair(const double* x)
{
    // LogReduction's steps for both lanes in SSE2 registers, but for the table
    // index, which is taken from the bits in memory on the scalar units.
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
    const __m128i offset = _mm_sub_epi64(b, _mm_set1_epi64x(static_cast<long long>(tables::kLogOffset)));
    const __m128i exponentBits = _mm_and_si128(offset, _mm_set1_epi64x(static_cast<long long>(0xFFF0000000000000ull)));
    // e as a double: 2^52 + (u ^ 0x800), u the top 12 bits of the offset, less 2^52 + 2^11.
    const __m128i biased = _mm_xor_si128(_mm_srli_epi64(offset, 52), _mm_set1_epi64x(0x800));
    const __m128d e = _mm_sub_pd(_mm_or_pd(_mm_castsi128_pd(biased), Splat(0x1p52)), Splat(0x1p52 + 0x1p11));
    const __m128i zBits = _mm_sub_epi64(b, exponentBits);
    const __m128d z = _mm_castsi128_pd(zBits);
    const __m128d zHi = _mm_castsi128_pd(_mm_and_si128(zBits, _mm_set1_epi64x(static_cast<long long>(0xFFFFFFFF00000000ull))));
    const tables::LogEntry& t0 = tables::kLog[LogIndex(Bits(x[0]))];
    const tables::LogEntry& t1 = tables::kLog[LogIndex(Bits(x[1]))];
    return LogOfReduced(Pair(e), Pair(z), Pair(zHi), Pair(t0.invC, t1.invC), Pair(t0.logCHi, t1.logCHi),
                        Pair(t0.logCLo, t1.logCLo))
        .v;
}

// Exp of two doubles with |x| <= 708 (normal results): the operations of ExpSplit.
__m128d ExpPair(__m128d x)
{
    const __m128d shifter = Splat(0x1.8p52);
    const __m128d shifted = _mm_add_pd(_mm_mul_pd(x, Splat(tables::kExpStepsPerUnit)), shifter);
    const Pair kd(_mm_sub_pd(shifted, shifter));
    const Pair hi = Pair(x) - kd * Pair(tables::kExpStepHi);
    const Pair lo = kd * Pair(tables::kExpStepLo) - Pair(0.0);
    // k sits in the low bits of the shifted sum (1.5 * 2^52 + k).
    const __m128i k = _mm_sub_epi64(_mm_castpd_si128(shifted), _mm_castpd_si128(shifter));
    const __m128i j = _mm_and_si128(k, _mm_set1_epi64x(tables::kSize - 1));
    const tables::ExpEntry& t0 = tables::kExp[_mm_cvtsi128_si32(j)];
    const tables::ExpEntry& t1 = tables::kExp[_mm_cvtsi128_si32(_mm_unpackhi_epi64(j, j))];
    const Pair y = ExpOfReduced(hi, lo, Pair(t0.hi, t1.hi), Pair(t0.lo, t1.lo));
    // 2^n with n = (k - j) / 128: (k - j) 2^45 is n in the exponent field.
    const __m128i scale = _mm_add_epi64(_mm_slli_epi64(_mm_sub_epi64(k, j), 52 - tables::kBits),
                                        _mm_set1_epi64x(1023ll << 52));
    return _mm_mul_pd(y.v, _mm_castsi128_pd(scale));
}

} // namespace

void LogLanes(const double* x, double* y, int n)
{
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        // Positive normal numbers only: their bits lie in [2^52, 0x7FF << 52).
        if (Bits(x[i]) - kSmallestNormalBits < kNormalBitsSpan && Bits(x[i + 1]) - kSmallestNormalBits < kNormalBitsSpan) {
            _mm_storeu_pd(y + i, LogPair(x + i));
        } else {
            y[i] = Log(x[i]);
            y[i + 1] = Log(x[i + 1]);
        }
    }
    for (; i < n; ++i)
        y[i] = Log(x[i]);
}

void ExpLanes(const double* x, double* y, int n)
{
    int i = 0;
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    for (; i + 2 <= n; i += 2) {
        const __m128d v = _mm_loadu_pd(x + i);
        if (_mm_movemask_pd(_mm_cmple_pd(_mm_and_pd(v, absMask), Splat(708.0))) == 3) {
            _mm_storeu_pd(y + i, ExpPair(v));
        } else {
            y[i] = Exp(x[i]);
            y[i + 1] = Exp(x[i + 1]);
        }
    }
    for (; i < n; ++i)
        y[i] = Exp(x[i]);
}

#else

void LogLanes(const double* x, double* y, int n)
{
    for (int i = 0; i < n; ++i)
        y[i] = Log(x[i]);
}

void ExpLanes(const double* x, double* y, int n)
{
    for (int i = 0; i < n; ++i)
        y[i] = Exp(x[i]);
}

#endif

} // namespace qz::math
