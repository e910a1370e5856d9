#pragma once
// Two doubles side by side, for the loops that take two values through the same
// operations: in the lanes of an SSE2 register where the build has SSE2, else as two
// doubles. Lane by lane the result is bit for bit what each double alone would give
// (every build rounds each operation to double and fuses none). A Pair is a value for
// registers; arrays keep plain doubles, loaded and stored without alignment.
//
// The functions below are written for double too, so that one template serves a single
// value and a pair: Min and Max return their first argument unless the comparison says
// otherwise (as the SSE2 instructions do, NaN included), masks come from < and <=.

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qz::lanes {

inline double Min(double a, double b) { return a < b ? a : b; }
inline double Max(double a, double b) { return a > b ? a : b; }
inline double Select(bool mask, double a, double b) { return mask ? a : b; }
inline double Abs(double a) { return std::fabs(a); }

#if defined(__SSE2__)

struct Mask {
    __m128d bits;  // all ones where true
};

struct Pair {
    __m128d v;

    Pair() = default;
    explicit Pair(__m128d lanes) : v(lanes) {}
    explicit Pair(double both) : v(_mm_set1_pd(both)) {}
    Pair(double first, double second) : v(_mm_set_pd(second, first)) {}

    static Pair Load(const double* p) { return Pair(_mm_loadu_pd(p)); }
    void store(double* p) const { _mm_storeu_pd(p, v); }
    double first() const { return _mm_cvtsd_f64(v); }
    double second() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

    friend Pair operator+(Pair a, Pair b) { return Pair(_mm_add_pd(a.v, b.v)); }
    friend Pair operator-(Pair a, Pair b) { return Pair(_mm_sub_pd(a.v, b.v)); }
    friend Pair operator*(Pair a, Pair b) { return Pair(_mm_mul_pd(a.v, b.v)); }
    friend Mask operator<(Pair a, Pair b) { return {_mm_cmplt_pd(a.v, b.v)}; }
    friend Mask operator<=(Pair a, Pair b) { return {_mm_cmple_pd(a.v, b.v)}; }
};

inline Pair Min(Pair a, Pair b) { return Pair(_mm_min_pd(a.v, b.v)); }
inline Pair Max(Pair a, Pair b) { return Pair(_mm_max_pd(a.v, b.v)); }
inline Pair Select(Mask m, Pair a, Pair b) { return Pair(_mm_or_pd(_mm_and_pd(m.bits, a.v), _mm_andnot_pd(m.bits, b.v))); }
inline Pair Abs(Pair a) { return Pair(_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)); }
// [a first, b first] and [a second, b first].
inline Pair Firsts(Pair a, Pair b) { return Pair(_mm_unpacklo_pd(a.v, b.v)); }
inline Pair SecondFirst(Pair a, Pair b) { return Pair(_mm_shuffle_pd(a.v, b.v, 1)); }
inline Mask MaskOf(bool first, bool second)
{
    return {_mm_castsi128_pd(_mm_set_epi64x(second ? -1 : 0, first ? -1 : 0))};
}

#else

struct Mask {
    bool lane[2];
};

struct Pair {
    double lane[2];

    Pair() = default;
    explicit Pair(double both) : lane{both, both} {}
    Pair(double first, double second) : lane{first, second} {}

    static Pair Load(const double* p) { return {p[0], p[1]}; }
    void store(double* p) const { p[0] = lane[0], p[1] = lane[1]; }
    double first() const { return lane[0]; }
    double second() const { return lane[1]; }

    friend Pair operator+(Pair a, Pair b) { return {a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}; }
    friend Pair operator-(Pair a, Pair b) { return {a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}; }
    friend Pair operator*(Pair a, Pair b) { return {a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}; }
    friend Mask operator<(Pair a, Pair b) { return {{a.lane[0] < b.lane[0], a.lane[1] < b.lane[1]}}; }
    friend Mask operator<=(Pair a, Pair b) { return {{a.lane[0] <= b.lane[0], a.lane[1] <= b.lane[1]}}; }
};

inline Pair Min(Pair a, Pair b) { return {Min(a.lane[0], b.lane[0]), Min(a.lane[1], b.lane[1])}; }
inline Pair Max(Pair a, Pair b) { return {Max(a.lane[0], b.lane[0]), Max(a.lane[1], b.lane[1])}; }
inline Pair Select(Mask m, Pair a, Pair b)
{
    return {m.lane[0] ? a.lane[0] : b.lane[0], m.lane[1] ? a.lane[1] : b.lane[1]};
}
inline Pair Abs(Pair a) { return {Abs(a.lane[0]), Abs(a.lane[1])}; }
inline Pair Firsts(Pair a, Pair b) { return {a.lane[0], b.lane[0]}; }
inline Pair SecondFirst(Pair a, Pair b) { return {a.lane[1], b.lane[0]}; }
inline Mask MaskOf(bool first, bool second) { return {{first, second}}; }

#endif

} // namespace qz::lanes
