#!/usr/bin/env python3
"""Writes engine/PortableMathTables.h: the tables of the engine's Log and Exp.

    python3 tools/mathtables/generate.py > engine/PortableMathTables.h

The values are computed with Python's decimal arithmetic at 60 digits and rounded
to doubles once (a double from a Decimal is the nearest one), so the tables need
no C library and come out the same on every machine.
"""
import decimal
import struct

decimal.getcontext().prec = 60
D = decimal.Decimal
LN2 = D(2).ln()

TABLE_BITS = 7
SIZE = 1 << TABLE_BITS
# Log: x = 2^k z with the bits of z in [LOG_OFFSET, LOG_OFFSET + 2^52): z in about
# [0.6855, 1.371), split by the top bits into SIZE intervals; 1.0 lies in the middle
# of one (that interval's bit span is 2^44 below 1.0 and 2^44 above it).
LOG_OFFSET = 0x3FE6000000000000 - (1 << 44)
LOG_INTERVAL = 1 << (52 - TABLE_BITS)
# ln 2 as the engine's kLn2Hi: its low 11 bits are zero, so k ln2Hi is a multiple of
# 2^-42 for every integer k; the logarithms of the Log table are held to that grid too.
LN2_HI = float.fromhex("0x1.62e42fefa3800p-1")
GRID = D(2) ** 42


def from_bits(b):
    return struct.unpack("<d", struct.pack("<Q", b))[0]


def hexd(x):
    return float(x).hex()


def round_to_bits(x, bits):
    """x rounded to `bits` significant bits (x a positive Decimal)."""
    scale = D(1)
    while x * scale < D(2) ** (bits - 1):
        scale *= 2
    while x * scale >= D(2) ** bits:
        scale /= 2
    return (x * scale).to_integral_value(rounding=decimal.ROUND_HALF_EVEN) / scale


def log_table():
    rows = []
    one = struct.unpack("<Q", struct.pack("<d", 1.0))[0]
    for j in range(SIZE):
        lo_bits = LOG_OFFSET + j * LOG_INTERVAL
        hi_bits = lo_bits + LOG_INTERVAL
        if lo_bits <= one < hi_bits:
            inv_c = D(1)  # z - 1 is then exact: Log near 1 keeps every bit
        else:
            centre = (D(from_bits(lo_bits)) + D(from_bits(hi_bits))) / 2
            # 1/c to 32 bits: z's top 21 bits times it is exact in a double
            inv_c = round_to_bits(1 / centre, 32)
        log_c = -inv_c.ln() if inv_c != 1 else D(0)
        log_c_hi = (log_c * GRID).to_integral_value(rounding=decimal.ROUND_HALF_EVEN) / GRID
        log_c_lo = log_c - log_c_hi
        rows.append((float(inv_c), float(log_c_hi), float(log_c_lo)))
        assert D(float(inv_c)) == inv_c and D(float(log_c_hi)) == log_c_hi
    return rows


def exp_table():
    rows = []
    for j in range(SIZE):
        t = (LN2 * j / SIZE).exp()
        t_hi = float(t)
        rows.append((t_hi, float(t - D(t_hi))))
    return rows


def exp_step():
    """ln2 / SIZE in two parts; the first has 35 significant bits, so k times it is
    exact for |k| < 2^18 (every k that Exp meets)."""
    step = LN2 / SIZE
    hi = round_to_bits(step, 35)
    return float(hi), float(step - hi)


def main():
    out = []
    out.append("#pragma once")
    out.append("// The tables of the engine's Log and Exp, written by tools/mathtables/generate.py")
    out.append("// (values computed at 60 digits, each rounded to a double once). Do not edit.")
    out.append("")
    out.append("#include <cstdint>")
    out.append("")
    out.append("namespace qz::math::tables {")
    out.append("")
    out.append(f"constexpr int kBits = {TABLE_BITS};")
    out.append(f"constexpr int kSize = {SIZE};")
    out.append("")
    out.append("// Log: x = 2^k z with the bits of z in [kLogOffset, kLogOffset + 2^52); interval j of z")
    out.append("// holds an approximate 1/c (32 significant bits, exactly 1 where z = 1 lies) and")
    out.append("// -ln(1/c) as a multiple of 2^-42 plus the rest.")
    out.append(f"constexpr uint64_t kLogOffset = 0x{LOG_OFFSET:016X}ull;")
    out.append("struct LogEntry {")
    out.append("    double invC, logCHi, logCLo;")
    out.append("};")
    out.append("constexpr LogEntry kLog[kSize] = {")
    for inv_c, hi, lo in log_table():
        out.append(f"    {{{hexd(inv_c)}, {hexd(hi)}, {hexd(lo)}}},")
    out.append("};")
    out.append("")
    hi, lo = exp_step()
    out.append("// Exp: e^x = 2^(k / kSize) e^r, x = k ln2 / kSize + r; 2^(j / kSize) as hi + lo.")
    out.append(f"constexpr double kExpStepHi = {hexd(hi)};")
    out.append(f"constexpr double kExpStepLo = {hexd(lo)};")
    out.append(f"constexpr double kExpStepsPerUnit = {hexd(float(SIZE / LN2))};")
    out.append("struct ExpEntry {")
    out.append("    double hi, lo;")
    out.append("};")
    out.append("constexpr ExpEntry kExp[kSize] = {")
    for t_hi, t_lo in exp_table():
        out.append(f"    {{{hexd(t_hi)}, {hexd(t_lo)}}},")
    out.append("};")
    out.append("")
    out.append("} // namespace qz::math::tables")
    print("\n".join(out))


if __name__ == "__main__":
    main()
