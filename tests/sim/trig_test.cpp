// The rules' trigonometry against quadruple precision: Sin and Cos of every tenth of a
// degree, a million random float headings and the turns by 90 degrees the flight step
// takes of them, and the multiples of 15 degrees, each the double nearest the true
// value; atan2, hypot and the remainder likewise; and a digest of all the headings'
// results, the same on every machine.
//
// The reference is GCC's libquadmath where the compiler has it (x86-64), else long double
// where that is quadruple precision (arm64). Without either, the digest and the values
// written below still hold the results to those of a machine that had one.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/maths.h"
#include "sim/trig.h"

#if defined(WHIRLBAT_QUADMATH)
#include <quadmath.h>
#define WHIRLBAT_REFERENCE 1
using Quad = __float128;
Quad quad_sin(Quad x) { return sinq(x); }
Quad quad_cos(Quad x) { return cosq(x); }
Quad quad_atan2(Quad y, Quad x) { return atan2q(y, x); }
Quad quad_sqrt(Quad x) { return sqrtq(x); }
#elif LDBL_MANT_DIG == 113
#define WHIRLBAT_REFERENCE 1
using Quad = long double;
Quad quad_sin(Quad x) { return std::sin(x); }
Quad quad_cos(Quad x) { return std::cos(x); }
Quad quad_atan2(Quad y, Quad x) { return std::atan2(y, x); }
Quad quad_sqrt(Quad x) { return std::sqrt(x); }
#endif

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;  // as the rules multiply

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// SplitMix64: the same numbers on every machine.
struct Numbers {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1p-53; }  // [0, 1)
    float heading() { return float(unit() * 720 - 360); }
};

// Every tenth of a degree in +-360 (as doubles and as float headings), a million random
// float headings, and each of those turned by -90 and +90 degrees as the flight step does.
const std::vector<double>& heading_angles() {
    static const std::vector<double> angles = [] {
        std::vector<double> v;
        for (int i = -3600; i <= 3600; ++i) {
            v.push_back(i / 10.0);
            v.push_back(float(i / 10.0));
        }
        Numbers n{33};
        for (int i = 0; i < 1000000; ++i) v.push_back(n.heading());
        std::size_t plain = v.size();
        for (std::size_t i = 0; i < plain; ++i) {
            v.push_back(double(float(v[i])) - 90);
            v.push_back(double(float(v[i])) + 90);
        }
        return v;
    }();
    return angles;
}

std::string hex(double v) {
    char s[40];
    std::snprintf(s, sizeof s, "%a", v);
    return s;
}

#if WHIRLBAT_REFERENCE
// The double nearest each true value, against what the rules' functions gave; the first
// few misses described, all counted.
struct Misses {
    long count = 0;
    std::string first;
    void check(const char* what, std::initializer_list<double> args, double got, Quad truth) {
        double want = double(truth);
        if (bits(got) == bits(want)) return;
        if (++count > 5) return;
        first += what;
        for (double a : args) first += " " + hex(a);
        first += ": " + hex(got) + ", nearest " + hex(want) + "\n";
    }
};

TEST(Trig, SinAndCosOfHeadingsAreTheNearestDoubles) {
    Misses m;
    for (double deg : heading_angles()) {
        double x = deg * kRadiansPerDegree;
        m.check("Sin", {deg}, Sin(deg), quad_sin(x));
        m.check("Cos", {deg}, Cos(deg), quad_cos(x));
    }
    EXPECT_EQ(m.count, 0) << m.first;
    EXPECT_GT(heading_angles().size(), 3000000u);
}

TEST(Trig, FarAnglesAndAnglesCloseToQuarterTurnsKeepEveryBit) {
    // The doubles nearest k pi/2 leave the least after reduction; far angles take the
    // slower reduction past 2^20 radians.
    Misses m;
    Numbers n{7};
    for (int i = 0; i < 200000; ++i) {
        double k = double(n.next() % (i < 100000 ? (1u << 20) : (1ull << 50)));
        double x = double(Quad(k) * quad_atan2(1, 0));
        for (double v : {x, -x, x * (1 + 0x1p-40), double(n.next() >> 14)}) {
            if (std::fabs(v) >= 0x1p50) continue;
            m.check("sin_radians", {v}, sin_radians(v), quad_sin(v));
            m.check("cos_radians", {v}, cos_radians(v), quad_cos(v));
        }
    }
    EXPECT_EQ(m.count, 0) << m.first;
}

TEST(Trig, Atan2OfFloatPairsIsTheNearestDouble) {
    Misses m;
    Numbers n{11};
    for (int i = 0; i < 1000000; ++i) {
        // Points in and around the arena, from a pixel to across it, and near the axes
        // and diagonals where the arctangent's table changes.
        float x = float((n.unit() - 0.5) * 1300), y = float((n.unit() - 0.5) * 900);
        if (i % 4 == 1) y = float(x * (1 + (n.unit() - 0.5) * 0x1p-10));
        if (i % 4 == 2) y = float(x * (n.unit() - 0.5) * 0x1p-20);
        m.check("atan2", {y, x}, atan2_radians(y, x), quad_atan2(y, x));
        m.check("atan2", {x, y}, atan2_radians(x, y), quad_atan2(x, y));
    }
    EXPECT_EQ(m.count, 0) << m.first;
}

TEST(Trig, HypotIsTheNearestDouble) {
    Misses m;
    Numbers n{13};
    for (int i = 0; i < 1000000; ++i) {
        double x = (n.unit() - 0.5) * 1300, y = (n.unit() - 0.5) * 900;
        if (i % 3 == 1) y = x * n.unit() * 0x1p-25;
        m.check("hypot", {x, y}, hypot_of(x, y), quad_sqrt(Quad(x) * x + Quad(y) * y));
        float a = float(x), b = float(y);
        Quad truth = quad_sqrt(Quad(a) * a + Quad(b) * b);
        float got = hypot_of(a, b);
        ASSERT_EQ(got, float(double(truth))) << hex(a) << " " << hex(b);
    }
    EXPECT_EQ(m.count, 0) << m.first;
}
#endif

TEST(Trig, MultiplesOf15DegreesAreTheNearestDoubles) {
    // A few from a machine with quadruple precision, written out: they hold everywhere.
    EXPECT_EQ(Sin(0), 0.0);
    EXPECT_EQ(Cos(0), 1.0);
    EXPECT_EQ(Sin(30), 0x1.fffffffffffffp-2);
    EXPECT_EQ(Cos(60), 0x1.0000000000001p-1);
    EXPECT_EQ(Sin(90), 1.0);
    EXPECT_EQ(Cos(90), 0x1.1a62633145c07p-54);   // what pi/2 leaves after rounding
    EXPECT_EQ(Sin(180), 0x1.1a62633145c07p-53);
    EXPECT_EQ(Cos(180), -1.0);
    EXPECT_EQ(Sin(-90), -1.0);
    EXPECT_EQ(Cos(270), -0x1.a79394c9e8a0ap-53);
    EXPECT_EQ(Sin(45), 0x1.6a09e667f3bccp-1);
    EXPECT_EQ(Cos(45), 0x1.6a09e667f3bcdp-1);
#if WHIRLBAT_REFERENCE
    Misses m;
    for (int k = -480; k <= 480; ++k) {
        double deg = 15.0 * k, x = deg * kRadiansPerDegree;
        m.check("Sin", {deg}, Sin(deg), quad_sin(x));
        m.check("Cos", {deg}, Cos(deg), quad_cos(x));
    }
    EXPECT_EQ(m.count, 0) << m.first;
#endif
}

TEST(Trig, HeadingsGiveTheSameBitsOnEveryMachine) {
    // FNV-1a over every result of the first test, recorded on x86-64 where each was
    // checked against quadruple precision.
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&h](double v) {
        std::uint64_t b = bits(v);
        for (int i = 0; i < 8; ++i) h = (h ^ ((b >> (8 * i)) & 0xff)) * 0x100000001b3ull;
    };
    for (double deg : heading_angles()) {
        mix(Sin(deg));
        mix(Cos(deg));
    }
    EXPECT_EQ(h, 0xc7170b06aa546de4ull) << std::hex << h;
}

TEST(Trig, SmallAnglesAndSignsOfZero) {
    EXPECT_EQ(bits(sin_radians(-0.0)), bits(-0.0));
    EXPECT_EQ(sin_radians(0x1p-30), 0x1p-30);
    EXPECT_EQ(sin_radians(-0x1p-1074), -0x1p-1074);
    EXPECT_EQ(cos_radians(0x1p-28), 1.0);
    EXPECT_EQ(bits(atan2_radians(0.0, 1.0)), bits(0.0));
    EXPECT_EQ(bits(atan2_radians(-0.0, 1.0)), bits(-0.0));
    EXPECT_EQ(atan2_radians(0.0, -0.0), 0x1.921fb54442d18p+1);
    EXPECT_EQ(atan2_radians(-0.0, -1.0), -0x1.921fb54442d18p+1);
    EXPECT_EQ(atan2_radians(2.0, 0.0), 0x1.921fb54442d18p+0);
    EXPECT_EQ(atan2_radians(-2.0, -0.0), -0x1.921fb54442d18p+0);
    EXPECT_EQ(atan2_radians(1.0, 1.0), 0x1.921fb54442d18p-1);
    EXPECT_EQ(atan2_radians(INFINITY, -INFINITY), 0x1.2d97c7f3321d2p+1);
    EXPECT_EQ(atan2_radians(-5.0, INFINITY), -0.0);
    EXPECT_EQ(hypot_of(3.0, -4.0), 5.0);
    EXPECT_EQ(hypot_of(-0x1p-1070, 0x1p-1072), 0x1p-1070);  // 16.49 of the smallest step
    EXPECT_EQ(hypot_of(0x1p1000, 0x1p1000), 0x1.6a09e667f3bcdp+1000);
    EXPECT_EQ(hypot_of(double(INFINITY), double(NAN)), INFINITY);
    EXPECT_EQ(hypot_of(-INFINITY, NAN), INFINITY);
    EXPECT_TRUE(std::isnan(hypot_of(1.0f, NAN)));
}

TEST(Trig, NonFiniteAnglesGiveNaNAndHugeOnesStayInRange) {
    EXPECT_TRUE(std::isnan(sin_radians(INFINITY)));
    EXPECT_TRUE(std::isnan(cos_radians(-INFINITY)));
    EXPECT_TRUE(std::isnan(sin_radians(NAN)));
    EXPECT_TRUE(std::isnan(atan2_radians(NAN, 1.0)));
    for (double x : {0x1p50, -0x1.5p60, 0x1.fffffffffffffp1023}) {
        EXPECT_LE(std::fabs(sin_radians(x)), 1.0) << hex(x);
        EXPECT_LE(std::fabs(cos_radians(x)), 1.0) << hex(x);
    }
}

TEST(Trig, RemainderIsExact) {
    // The C library's fmod is exact wherever it is conforming, so it is the reference.
    Numbers n{17};
    for (int i = 0; i < 1000000; ++i) {
        double x = (n.unit() - 0.5) * std::ldexp(1.0, int(n.next() % 120) - 20);
        double m = i % 2 ? 360.0 : (n.unit() + 0.01) * 1000;
        ASSERT_EQ(bits(fmod_exact(x, m)), bits(std::fmod(x, m))) << hex(x) << " " << hex(m);
    }
    EXPECT_EQ(bits(fmod_exact(-720.0, 360.0)), bits(-0.0));
    EXPECT_EQ(fmod_exact(0x1p1023, 360.0), std::fmod(0x1p1023, 360.0));
    EXPECT_TRUE(std::isnan(fmod_exact(INFINITY, 360.0)));
    EXPECT_TRUE(std::isnan(fmod_exact(1.0, 0.0)));
}

}  // namespace
