#!/usr/bin/env python3
"""Writes the constants of sim/trig.cpp: pi/2 in four parts, sin and cos of j/64 and atan
of j/64 as double-double pairs, and the series' coefficients. Every value comes from
exact integer arithmetic with 400 fraction bits and is rounded to the nearest double,
its remainder again to the nearest double. Usage: tests/sim/trig_tables.py > table.inc,
then paste between the markers in sim/trig.cpp (tests/sim/trig_test.cpp checks the
values against quadruple precision)."""
from fractions import Fraction
from math import factorial, isqrt

BITS = 400
ONE = 1 << BITS


def atan_inv(n):
    """atan(1/n) in fixed point."""
    total, term, k, sign = 0, ONE // n, 1, 1
    while term:
        total += sign * (term // k)
        term //= n * n
        k += 2
        sign = -sign
    return total


PI = 4 * (4 * atan_inv(5) - atan_inv(239))


def mul(a, b):
    return a * b >> BITS


def sin_cos(x):
    """sin and cos of x (fixed point, |x| < 1) by their series."""
    s = c = 0
    term, n = ONE, 0
    while term:
        if n % 4 == 0: c += term
        elif n % 4 == 1: s += term
        elif n % 4 == 2: c -= term
        else: s -= term
        n += 1
        term = mul(term, x) // n
    return s, c


def atan(x):
    """atan(x) for 0 <= x <= 1: halved twice, then the series."""
    halvings = 0
    while x > ONE // 5:
        x = (x * ONE) // (ONE + isqrt(ONE * ONE + x * x))
        halvings += 1
    total, term, k, sign = 0, x, 1, 1
    x2 = mul(x, x)
    while term:
        total += sign * (term // k)
        term = mul(term, x2)
        k += 2
        sign = -sign
    return total << halvings


def parts(value, count=2):
    """A fixed-point value (or a Fraction) as doubles, each the nearest to what is left."""
    rest = value if isinstance(value, Fraction) else Fraction(value, ONE)
    out = []
    for _ in range(count):
        d = float(rest)
        out.append(d)
        rest -= Fraction(d)
    return out


def dd(value):
    hi, lo = parts(value)
    return "{%s, %s}" % (hi.hex(), lo.hex())


def table(values):
    for i in range(0, len(values), 2):
        print("    " + " ".join(dd(v) + "," for v in values[i:i + 2]))


def main():
    half_pi = parts(PI // 2, 4)
    print("// pi/2 as four doubles, each the nearest to what the ones before leave.")
    print("constexpr double kHalfPi[4] = {%s,\n    %s};" % (", ".join(p.hex() for p in half_pi[:2]), ", ".join(p.hex() for p in half_pi[2:])))
    print("constexpr double kTwoOverPi = %s;" % float(Fraction(2 * ONE, PI)).hex())
    print("constexpr DD kPi = %s;" % dd(PI))
    print("constexpr DD kHalfPiDD = %s;" % dd(PI // 2))
    print("// sin(j/64) and cos(j/64), j = 0 ... 50 (the reduced angle is at most pi/4).")
    print("constexpr DD kSinTable[51] = {")
    rows = [sin_cos(ONE * j // 64) for j in range(51)]
    table([s for s, _ in rows])
    print("};")
    print("constexpr DD kCosTable[51] = {")
    table([c for _, c in rows])
    print("};")
    print("// atan(j/64), j = 0 ... 64.")
    print("constexpr DD kAtanTable[65] = {")
    table([atan(ONE * j // 64) for j in range(65)])
    print("};")
    print("// 1/n! for the sine's and cosine's series; 1/n, n odd, for the arctangent's.")
    print("constexpr DD kInvFactorial[14] = {")
    table([Fraction(1, factorial(n)) for n in range(14)])
    print("};")
    print("constexpr DD kInvOdd[16] = {")
    table([Fraction(1, n) if n % 2 else Fraction(0) for n in range(16)])
    print("};")


main()
