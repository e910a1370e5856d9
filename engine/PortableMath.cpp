#include "PortableMath.h"

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

// The series below are evaluated by loops that the compiler is asked to unroll
// (#pragma GCC unroll): the straight sequence of multiplications and additions leaves
// out the loop's own instructions, the same arithmetic in the same order.

// Constants, not computed at start-up: other files' static objects may call these
// functions before this file's initializers would have run.
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in two parts: the high part has 42 significant bits, so k ln2Hi is exact for
// every |k| < 2^11, which covers the exponents of all doubles.
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
// ln 10 in two parts (hi the double nearest, lo the rest).
constexpr double kLn10Hi = 0x1.26bb1bbb55516p+1;
constexpr double kLn10Lo = -0x1.f48ad494ea3e9p-53;
// pi/2 in three parts of which the first two have 33 significant bits: k p1 and k p2
// are exact for |k| < 2^20.
constexpr double kPiOver2A = 0x1.921fb54400000p+0;
constexpr double kPiOver2B = 0x1.0b4611a600000p-34;
constexpr double kPiOver2C = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;

// (e^r - 1 - r) / r^2 = sum of r^(n-2) / n! for n = 2 .. 13, highest power first.
constexpr int kExpTerms = 12;
constexpr double kExpSeries[kExpTerms] = {1.0 / 6227020800.0, 1.0 / 479001600.0, 1.0 / 39916800.0,
                                          1.0 / 3628800.0,    1.0 / 362880.0,    1.0 / 40320.0,
                                          1.0 / 5040.0,       1.0 / 720.0,       1.0 / 120.0,
                                          1.0 / 24.0,         1.0 / 6.0,         0.5};
// 2 atanh(s) = 2s + s R(s^2), R(z) = z sum of 2 z^(n-1) / (2n + 1) for n = 1 .. 10,
// highest power first.
constexpr int kAtanhTerms = 10;
constexpr double kAtanhSeries[kAtanhTerms] = {2.0 / 21.0, 2.0 / 19.0, 2.0 / 17.0, 2.0 / 15.0, 2.0 / 13.0,
                                              2.0 / 11.0, 2.0 / 9.0,  2.0 / 7.0,  2.0 / 5.0,  2.0 / 3.0};

// The integer nearest to x (ties to even), for |x| < 2^51: adding 1.5 * 2^52 leaves no
// fraction bits, and the double sum rounds to nearest.
double RoundToInteger(double x)
{
    const double shifter = 0x1.8p52;
    return (x + shifter) - shifter;
}

// e^(xh + xl) for |xl| much smaller than ulp(xh). Reduction: xh + xl = k ln2 + r with
// |r| <= ln2 / 2, r held as hi - lo (hi exact). e^r = 1 + r + r^2 q(r), q the Taylor
// series of (e^r - 1 - r) / r^2 to the r^13 term (the next is below 2^-57 of the
// result); adding the small terms to 1 last leaves one rounding that matters.
double ExpSplit(double xh, double xl)
{
    if (xh != xh)
        return xh;
    if (xh > 709.8)
        return kInf;
    if (xh < -745.2)
        return 0.0;

    const double k = RoundToInteger(xh * kInvLn2);
    const double hi = xh - k * kLn2Hi;
    const double lo = k * kLn2Lo - xl;
    const double r = hi - lo;

    double q = kExpSeries[0];
    #pragma GCC unroll 16
    for (int j = 1; j < kExpTerms; ++j)
        q = q * r + kExpSeries[j];
    const double y = 1.0 + (hi + (r * r * q - lo));

    // y 2^k, in two steps where either factor alone would leave the normal range; the
    // last multiplication is the only rounding of a subnormal result.
    const int n = static_cast<int>(k);
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
    int k = 0;
    if (b < (1ull << 52)) {  // subnormal: bring it into the normal range
        x *= 0x1p54;
        b = Bits(x);
        k = -54;
    }
    // x = 2^k m with m in [sqrt(1/2), sqrt(2)), so f = m - 1 is exact and small.
    k += static_cast<int>(b >> 52) - 1023;
    double m = FromBits((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > kSqrt2) {
        m *= 0.5;
        ++k;
    }
    const double f = m - 1.0;

    // ln(1 + f) = 2 atanh(s) with s = f / (2 + f), = 2s + s R(s^2), R = sum 2 s^2n / (2n + 1).
    // Since 2s = f - s f and s f = f^2/2 - s f^2/2: ln(1 + f) = f - f^2/2 + s (f^2/2 + R),
    // where everything after f is a small correction. |s| <= 0.172, and the series is
    // cut after s^20 (the rest is below 2^-60 of the result).
    const double s = f / (2.0 + f);
    const double z = s * s;
    double R = kAtanhSeries[0];
    #pragma GCC unroll 16
    for (int j = 1; j < kAtanhTerms; ++j)
        R = R * z + kAtanhSeries[j];
    R *= z;
    const double halfSquare = 0.5 * f * f;
    const double dk = k;
    return dk * kLn2Hi + (f - (halfSquare - (s * (halfSquare + R) + dk * kLn2Lo)));
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

constexpr uint64_t kSmallestNormalBits = 0x0010000000000000ull;
constexpr uint64_t kNormalBitsSpan = 0x7FE0000000000000ull;

// a where mask is set, b elsewhere.
__m128d Select(__m128d mask, __m128d a, __m128d b) { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }

// Log of two positive normal doubles: the operations of Log, lane by lane.
__m128d LogPair(__m128d x)
{
    const __m128i b = _mm_castpd_si128(x);
    // The biased exponent as a double: 2^52 + e has e in its low mantissa bits.
    const __m128i two52 = _mm_set1_epi64x(0x4330000000000000ll);
    const __m128d e = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(b, 52), two52)), Splat(0x1p52));
    __m128d dk = _mm_sub_pd(e, Splat(1023.0));
    __m128d m = _mm_castsi128_pd(_mm_or_si128(_mm_and_si128(b, _mm_set1_epi64x(0x000FFFFFFFFFFFFFll)),
                                              _mm_set1_epi64x(0x3FF0000000000000ll)));
    const __m128d above = _mm_cmpgt_pd(m, Splat(kSqrt2));
    m = Select(above, _mm_mul_pd(m, Splat(0.5)), m);
    dk = _mm_add_pd(dk, _mm_and_pd(above, Splat(1.0)));
    const __m128d f = _mm_sub_pd(m, Splat(1.0));

    const __m128d s = _mm_div_pd(f, _mm_add_pd(Splat(2.0), f));
    const __m128d z = _mm_mul_pd(s, s);
    __m128d R = Splat(kAtanhSeries[0]);
    #pragma GCC unroll 16
    for (int j = 1; j < kAtanhTerms; ++j)
        R = _mm_add_pd(_mm_mul_pd(R, z), Splat(kAtanhSeries[j]));
    R = _mm_mul_pd(R, z);
    const __m128d halfSquare = _mm_mul_pd(_mm_mul_pd(Splat(0.5), f), f);
    const __m128d inner = _mm_add_pd(_mm_mul_pd(s, _mm_add_pd(halfSquare, R)), _mm_mul_pd(dk, Splat(kLn2Lo)));
    return _mm_add_pd(_mm_mul_pd(dk, Splat(kLn2Hi)), _mm_sub_pd(f, _mm_sub_pd(halfSquare, inner)));
}

// Exp of two doubles with |x| <= 708 (normal results): the operations of ExpSplit.
__m128d ExpPair(__m128d x)
{
    const __m128d shifter = Splat(0x1.8p52);
    const __m128d shifted = _mm_add_pd(_mm_mul_pd(x, Splat(kInvLn2)), shifter);
    const __m128d k = _mm_sub_pd(shifted, shifter);
    const __m128d hi = _mm_sub_pd(x, _mm_mul_pd(k, Splat(kLn2Hi)));
    const __m128d lo = _mm_sub_pd(_mm_mul_pd(k, Splat(kLn2Lo)), _mm_setzero_pd());
    const __m128d r = _mm_sub_pd(hi, lo);
    __m128d q = Splat(kExpSeries[0]);
    #pragma GCC unroll 16
    for (int j = 1; j < kExpTerms; ++j)
        q = _mm_add_pd(_mm_mul_pd(q, r), Splat(kExpSeries[j]));
    const __m128d y =
        _mm_add_pd(Splat(1.0), _mm_add_pd(hi, _mm_sub_pd(_mm_mul_pd(_mm_mul_pd(r, r), q), lo)));
    // 2^k: k sits in the low bits of the shifted sum (1.5 * 2^52 + k).
    const __m128i n = _mm_sub_epi64(_mm_castpd_si128(shifted), _mm_castpd_si128(shifter));
    const __m128i scale = _mm_slli_epi64(_mm_add_epi64(n, _mm_set1_epi64x(1023)), 52);
    return _mm_mul_pd(y, _mm_castsi128_pd(scale));
}

} // namespace

void LogLanes(const double* x, double* y, int n)
{
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        // Positive normal numbers only: their bits lie in [2^52, 0x7FF << 52).
        if (Bits(x[i]) - kSmallestNormalBits < kNormalBitsSpan && Bits(x[i + 1]) - kSmallestNormalBits < kNormalBitsSpan) {
            _mm_storeu_pd(y + i, LogPair(_mm_loadu_pd(x + i)));
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
