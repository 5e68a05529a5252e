#include "sim/random.h"

#include <gtest/gtest.h>

namespace {

TEST(Random, SeedingKeepsTheStateInRange) {
    Rng rng;
    rng.SeedRnd(0);
    EXPECT_EQ(rng.state, 0x1234);
    rng.SeedRnd(0x7fffffff);
    EXPECT_EQ(rng.state, 0x1234);
    rng.SeedRnd(-1);
    EXPECT_EQ(rng.state, 0x1234);
    rng.SeedRnd(int(0x80000005u));
    EXPECT_EQ(rng.state, 5);
    rng.SeedRnd(42);
    EXPECT_EQ(rng.state, 42);
}

TEST(Random, StepsFollowTheMinimalStandardSequence) {
    Rng rng;
    rng.SeedRnd(1);
    rng.RndFloat();
    EXPECT_EQ(rng.state, 48271);
    rng.RndFloat();
    EXPECT_EQ(rng.state, 182605794);
    // Many steps stay inside 1 .. 2^31 - 2 and agree with plain 64-bit arithmetic.
    long long expected = rng.state;
    for (int i = 0; i < 100000; ++i) {
        rng.RndFloat();
        expected = expected * 48271 % 2147483647;
        ASSERT_EQ(rng.state, expected);
    }
}

TEST(Random, DoubleIsBuiltFromTwoSteps) {
    Rng rng;
    rng.SeedRnd(1);
    double r = rng.RndDouble();
    double a = 48271 & 0x1ffffffc, b = 182605794 & 0x1ffffff8;
    EXPECT_EQ(r, (a + b / 134217728.0) / 536870912.0);
}

TEST(Random, RangeIsTheSameWhicheverBoundComesFirst) {
    Rng rng;
    rng.SeedRnd(99);
    double r = rng.RndDouble();
    rng.SeedRnd(99);
    EXPECT_EQ(rng.Rnd(5, 2), 2 + r * 3);
    rng.SeedRnd(99);
    EXPECT_EQ(rng.Rnd(2, 5), 2 + r * 3);
    rng.SeedRnd(7);
    for (int i = 0; i < 10000; ++i) {
        double v = rng.Rnd(24, 0);
        ASSERT_GE(v, 0.0);
        ASSERT_LT(v, 24.0);
    }
}

TEST(Random, FloatDrawUsesOneStep) {
    Rng rng;
    rng.SeedRnd(1);
    EXPECT_EQ(rng.RndFloat(), float((48271 & 0xffffff0) / 268435456.0));
}

}  // namespace
