// The engine's own elementary functions against the C library's long double ones, on
// dense tables over the ranges the engine uses and over the whole double range, and at
// the edges.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "ParamUnits.h"
#include "PortableMath.h"
#include "PortableMathTables.h"

namespace {

using qz::math::Cos;
using qz::math::Exp;
using qz::math::Log;
using qz::math::Pow;
using qz::math::Pow10;
using qz::math::Sin;
using qz::math::Tan;

// |got - want| in units of the last place of want rounded to double (the subnormal
// spacing below the normal range).
double UlpError(double got, long double want)
{
    const long double magnitude = std::fabs(want);
    int exponent;
    std::frexp(static_cast<double>(magnitude), &exponent);
    const long double ulp = std::ldexp(1.0L, std::max(exponent - 53, -1074));
    return static_cast<double>(std::fabs(static_cast<long double>(got) - want) / ulp);
}

// Deterministic points spread over [lo, hi]: a fixed-seed generator, so every build
// checks the same table.
struct Points {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    double next(double lo, double hi)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double u = static_cast<double>(state >> 11) * 0x1p-53;
        return lo + (hi - lo) * u;
    }
};

struct AccuracyCase {
    const char* name;
    std::function<double(double)> ours;
    std::function<long double(long double)> reference;
    double lo, hi;
    bool logSpaced;  // points spread evenly over ln(lo) .. ln(hi)
    double bound;    // ulp
};

void PrintTo(const AccuracyCase& c, std::ostream* os) { *os << c.name; }

class Accuracy : public testing::TestWithParam<AccuracyCase> {};

TEST_P(Accuracy, StaysWithinItsBoundOnADenseTable)
{
    const AccuracyCase& c = GetParam();
    const int count = 40000;
    Points points;
    double worst = 0.0, worstAt = 0.0;
    for (int i = 0; i < count; ++i) {
        double x = c.logSpaced ? std::exp(points.next(std::log(c.lo), std::log(c.hi))) : points.next(c.lo, c.hi);
        const double err = UlpError(c.ours(x), c.reference(x));
        if (!(err <= worst)) {
            worst = err;
            worstAt = x;
        }
    }
    EXPECT_LE(worst, c.bound) << c.name << " is " << worst << " ulp off at x = " << std::hexfloat << worstAt;
}

// Sine and cosine in long double for any double: the argument is reduced by pi/2 held
// in four 40-bit parts (each product with the quotient exact), and the library's long
// double functions are asked only within +-pi/4. Some libraries' long double sine is
// the x87 instruction, whose own reduction is off near multiples of pi and for large
// arguments; on |r| <= pi/4 it needs none.
long double QuarterTurnReference(long double x, bool cosine)
{
    static const long double kHalfPi[] = {0xc90fdaa221p-39L, 0x68c234c4c6p-79L, 0x628b80dc1cp-119L,
                                          0xd129024e08p-159L};
    const long double turns = std::nearbyint(x / (kHalfPi[0] + kHalfPi[1]));
    long double r = x;
    for (long double part : kHalfPi)
        r -= turns * part;
    const int quadrant = (static_cast<long long>(turns) % 4 + 4 + (cosine ? 1 : 0)) % 4;
    switch (quadrant) {
    case 0: return std::sin(r);
    case 1: return std::cos(r);
    case 2: return -std::sin(r);
    default: return -std::cos(r);
    }
}
long double SinReference(long double x) { return QuarterTurnReference(x, false); }
long double CosReference(long double x) { return QuarterTurnReference(x, true); }

long double Log10Reference(long double y) { return std::pow(10.0L, y); }

INSTANTIATE_TEST_SUITE_P(
    PortableMath, Accuracy,
    testing::Values(
        AccuracyCase{"Log, detector levels", Log, [](long double x) { return std::log(x); }, 1e-30, 1e18, true, 1.0},
        AccuracyCase{"Log, near 1", Log, [](long double x) { return std::log(x); }, 0.7, 1.42, false, 1.0},
        AccuracyCase{"Log, just around 1", Log, [](long double x) { return std::log(x); }, 1 - 1e-9, 1 + 1e-9, false, 1.0},
        AccuracyCase{"Log, subnormals", Log, [](long double x) { return std::log(x); }, 0x1p-1074, 0x1p-1022, true, 1.0},
        AccuracyCase{"Log, whole range", Log, [](long double x) { return std::log(x); }, 0x1p-1022, 1e300, true, 1.0},
        AccuracyCase{"Exp, gain computer", Exp, [](long double x) { return std::exp(x); }, -150.0, 70.0, false, 1.0},
        AccuracyCase{"Exp, small arguments", Exp, [](long double x) { return std::exp(x); }, -0.4, 0.4, false, 1.0},
        AccuracyCase{"Exp, tiny arguments", Exp, [](long double x) { return std::exp(x); }, -1e-9, 1e-9, false, 1.0},
        AccuracyCase{"Exp, subnormal results", Exp, [](long double x) { return std::exp(x); }, -745.1, -708.4, false, 1.0},
        AccuracyCase{"Exp, up to overflow", Exp, [](long double x) { return std::exp(x); }, 700.0, 709.78, false, 1.0},
        AccuracyCase{"Pow10, parameter units", Pow10, Log10Reference, -3.0, 3.0, false, 1.0},
        AccuracyCase{"Pow10, time coefficients", Pow10, Log10Reference, -13.0, 0.0, false, 1.0},
        AccuracyCase{"Pow, fourth root of the ratio", [](double r) { return Pow(r, 0.25); },
                     [](long double r) { return std::pow(r, 0.25L); }, 0.4, 30.0, false, 1.5},
        AccuracyCase{"Sin, crossover angles", Sin, SinReference, 1e-4, 3.14159265, false, 1.0},
        AccuracyCase{"Sin, wide range", Sin, SinReference, -0x1p20, 0x1p20, false, 1.0},
        AccuracyCase{"Cos, crossover angles", Cos, CosReference, 1e-4, 3.14159265, false, 1.0},
        AccuracyCase{"Cos, wide range", Cos, CosReference, -0x1p20, 0x1p20, false, 1.0},
        AccuracyCase{"Tan, crossover angles", Tan, [](long double x) { return std::tan(x); }, 1e-4, 1.5705, false, 2.5}),
    [](const testing::TestParamInfo<AccuracyCase>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name;
    });

struct EdgeCase {
    const char* name;
    double got;
    double want;  // NaN: a NaN is wanted
};

void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.name; }

class Edges : public testing::TestWithParam<EdgeCase> {};

TEST_P(Edges, GiveTheDocumentedValue)
{
    const EdgeCase& c = GetParam();
    if (std::isnan(c.want)) {
        EXPECT_TRUE(std::isnan(c.got)) << c.name << " gives " << c.got;
        return;
    }
    uint64_t got, want;
    std::memcpy(&got, &c.got, sizeof got);
    std::memcpy(&want, &c.want, sizeof want);
    EXPECT_EQ(got, want) << c.name << " gives " << std::hexfloat << c.got << ", not " << c.want;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    PortableMath, Edges,
    testing::Values(
        EdgeCase{"Log(1)", Log(1.0), 0.0},
        EdgeCase{"Log(0)", Log(0.0), -kInf},
        EdgeCase{"Log(-0)", Log(-0.0), -kInf},
        EdgeCase{"Log(-1)", Log(-1.0), kNaN},
        EdgeCase{"Log(inf)", Log(kInf), kInf},
        EdgeCase{"Log(NaN)", Log(kNaN), kNaN},
        EdgeCase{"Log(smallest subnormal)", Log(0x1p-1074), -0x1.74385446d71c3p+9},
        EdgeCase{"Exp(0)", Exp(0.0), 1.0},
        EdgeCase{"Exp(-0)", Exp(-0.0), 1.0},
        EdgeCase{"Exp(smallest subnormal)", Exp(0x1p-1074), 1.0},
        EdgeCase{"Exp(710)", Exp(710.0), kInf},
        EdgeCase{"Exp(inf)", Exp(kInf), kInf},
        EdgeCase{"Exp(-746)", Exp(-746.0), 0.0},
        EdgeCase{"Exp(-inf)", Exp(-kInf), 0.0},
        EdgeCase{"Exp(NaN)", Exp(kNaN), kNaN},
        EdgeCase{"Exp(-745), the smallest subnormal", Exp(-745.0), 0x1p-1074},
        EdgeCase{"Pow10(0)", Pow10(0.0), 1.0},
        EdgeCase{"Pow10(1)", Pow10(1.0), 10.0},
        EdgeCase{"Pow10(2)", Pow10(2.0), 100.0},
        EdgeCase{"Pow10(-1)", Pow10(-1.0), 0.1},
        EdgeCase{"Pow(x, 0)", Pow(7.0, 0.0), 1.0},
        EdgeCase{"Pow(1, y)", Pow(1.0, 123.0), 1.0},
        EdgeCase{"Pow(0, y)", Pow(0.0, 0.25), 0.0},
        EdgeCase{"Pow(16, 0.25)", Pow(16.0, 0.25), 2.0},
        EdgeCase{"Pow(-1, 0.5)", Pow(-1.0, 0.5), kNaN},
        EdgeCase{"Sin(0)", Sin(0.0), 0.0},
        EdgeCase{"Cos(0)", Cos(0.0), 1.0},
        EdgeCase{"Tan(0)", Tan(0.0), 0.0},
        EdgeCase{"Sin(inf)", Sin(kInf), kNaN},
        EdgeCase{"Cos(NaN)", Cos(kNaN), kNaN}),
    [](const testing::TestParamInfo<EdgeCase>& info) { return "Case" + std::to_string(info.index); });

} // namespace

namespace {

// Log takes 1/c and ln c from the interval of the mantissa that x falls in: the first
// and the last value of every interval, and their neighbours across the edge, in
// binades from the subnormal to the huge, stay within the bound.
TEST(PortableMathTables, LogStaysWithinItsBoundAtEveryIntervalsEdges)
{
    double worst = 0.0, worstAt = 0.0;
    for (int binade : {-1060, -1000, -70, -1, 0, 1, 70, 1000}) {
        for (int j = 0; j < qz::math::tables::kSize; ++j) {
            uint64_t edgeBits = qz::math::tables::kLogOffset + (static_cast<uint64_t>(j) << (52 - qz::math::tables::kBits));
            double edge;
            std::memcpy(&edge, &edgeBits, sizeof edge);
            edge = std::ldexp(edge, binade);
            for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, HUGE_VAL)}) {
                const double err = UlpError(Log(x), std::log(static_cast<long double>(x)));
                if (!(err <= worst)) {
                    worst = err;
                    worstAt = x;
                }
            }
        }
    }
    EXPECT_LE(worst, 1.0) << "Log is " << worst << " ulp off at x = " << std::hexfloat << worstAt;
}

// The crossover frequencies round 20 x 10^(n/100) to whole hertz: an error in the power
// could move a value across a half and change the frequency of a step.
TEST(PortableMathUnits, EveryFrequencyStepRoundsAsTheExactPowerDoes)
{
    for (int n = 0; n <= 300; ++n) {
        const long double exact = 20.0L * std::pow(10.0L, n / 100.0L);
        EXPECT_EQ(qz::units::FrequencyHz(n), static_cast<int>(std::floor(exact + 0.5L))) << "step " << n;
    }
}

} // namespace

namespace {

// The lanes must give the scalar functions' bits, on ordinary values and on every kind
// of special value (which take the scalar path), in pairs and in odd counts.
TEST(PortableMathLanes, GiveTheScalarFunctionsBitsForEveryValue)
{
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-1023, DBL_MAX,
                               std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(), 708.0, 708.1, -708.0, -708.1, 709.9, -745.0};
    Points points;
    std::vector<double> x;
    for (int i = 0; i < 20000; ++i) {
        x.push_back(std::exp(points.next(-80.0, 50.0)));  // detector levels
        x.push_back(points.next(-160.0, 80.0));           // gain-computer exponents
        x.push_back(points.next(-720.0, 720.0));
        if (i % 50 == 0)
            x.push_back(specials[(i / 50) % (sizeof specials / sizeof specials[0])]);
    }
    x.push_back(0.5);  // an odd count: the last value has no partner
    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    std::vector<double> y(x.size());
    qz::math::LogLanes(x.data(), y.data(), static_cast<int>(x.size()));
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_TRUE(same(y[i], Log(x[i]))) << "Log at " << std::hexfloat << x[i] << ": " << y[i];
    qz::math::ExpLanes(x.data(), y.data(), static_cast<int>(x.size()));
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_TRUE(same(y[i], Exp(x[i]))) << "Exp at " << std::hexfloat << x[i] << ": " << y[i];
}

} // namespace
