#pragma once
// The engine's own elementary functions. They are written from + - * / and bit
// operations on IEEE doubles only, so every build that rounds each operation to double
// (SSE2, no fused multiply-add) computes the same bits from the same arguments: the
// native engine, the 32-bit and the 64-bit DLL give identical output by construction,
// whatever C library they link.
//
// Log and Exp reduce their argument with tables of 128 entries (PortableMathTables.h,
// written by tools/mathtables/generate.py), which leave short series to evaluate.
//
// Error bounds, in units in the last place of the exact result (measured against long
// double on dense tables in the tests):
//   Log, Exp       at most 1 ulp over the whole double range (subnormal results of Exp
//                  included, counted in the subnormal spacing); 3 million points each
//                  measured 0.52 ulp at the most, Exp's subnormal results 0.75.
//   Sin, Cos       at most 1 ulp for |x| <= 2^20 (the engine uses 0 .. pi).
//   Tan            at most 2.5 ulp for |x| <= 2^20, away from the poles.
//   Pow(x, y)      Exp(y Log(x)) for x > 0: the relative error of y Log(x) grows into
//                  the result, at most 1 + |y ln x| / 2 ulp.
//   Pow10(y)       10^y, at most 1 ulp (y ln 10 is formed nearly exactly).

namespace qz::math {

// Natural logarithm. Log(1) = 0 exactly, Log(0) = -inf, negative x and NaN give NaN,
// Log(inf) = inf.
double Log(double x);

// e^x. Exp(0) = 1 exactly; beyond 709.78 it is inf, below -745.14 it is 0; NaN stays NaN.
double Exp(double x);

// x^y for x > 0 (and 1 for y = 0); NaN for x < 0, 0 for x = 0 and y > 0.
double Pow(double x, double y);

// 10^y.
double Pow10(double y);

// Accurate for |x| <= 2^20; NaN for infinite x and for |x| >= 2^62.
double Sin(double x);
double Cos(double x);
double Tan(double x);

// Log and Exp of n values at once: y[i] = Log(x[i]) (Exp(x[i])), bit for bit, two
// values per SSE2 operation where the build has SSE2 (the same operations per lane as
// the scalar functions). x and y may be the same array.
void LogLanes(const double* x, double* y, int n);
void ExpLanes(const double* x, double* y, int n);

} // namespace qz::math
