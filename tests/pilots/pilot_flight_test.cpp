// The angles the computer pilot reckons in: the heading toward a point, and a difference
// of headings brought into -180 ... 180, both without the C library's arctangent and
// remainder (which differ between machines) and bit for bit what exact ones give.
#include "pilots/pilot_flight.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#if defined(WHIRLBAT_QUADMATH)
#include <quadmath.h>
#define WHIRLBAT_REFERENCE 1
using Quad = __float128;
Quad quad_atan2(Quad y, Quad x) { return atan2q(y, x); }
#elif LDBL_MANT_DIG == 113
#define WHIRLBAT_REFERENCE 1
using Quad = long double;
Quad quad_atan2(Quad y, Quad x) { return std::atan2(y, x); }
#endif

namespace {

// SplitMix64: the same numbers on every machine.
struct Numbers {
    std::uint64_t state;
    double unit() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return double((z ^ (z >> 31)) >> 11) * 0x1p-53;
    }
};

std::uint32_t bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(PilotAngles, HeadingPointsTheNoseAlongTheLine) {
    // Screen y grows downward; heading 0 is up the screen, 90 to the right.
    EXPECT_EQ(heading_to(0, -5), 0.0f);
    EXPECT_EQ(heading_to(3, 0), 90.0f);
    EXPECT_EQ(heading_to(0, 2), 180.0f);
    EXPECT_EQ(heading_to(-7, 0), -90.0f);
    EXPECT_EQ(heading_to(4, -4), 45.0f);
    EXPECT_EQ(heading_to(-4, 4), -135.0f);
    EXPECT_EQ(heading_to(1, 2), 153.434952f);
}

#if WHIRLBAT_REFERENCE
TEST(PilotAngles, HeadingIsTheFloatOfTheNearestArctangent) {
    // The heading rounds the degrees of the double nearest the true arctangent: what a
    // correctly rounding C library gives, here computed from quadruple precision.
    Numbers n{21};
    int misses = 0;
    for (int i = 0; i < 1000000; ++i) {
        float dx = float((n.unit() - 0.5) * 1300), dy = float((n.unit() - 0.5) * 900);
        if (i % 3 == 1) dy = float(dx * (n.unit() - 0.5) * 0x1p-12);
        float want = float(double(quad_atan2(dx, -Quad(dy))) * 57.29577951308232);
        float got = heading_to(dx, dy);
        if (bits(got) != bits(want) && ++misses <= 5) ADD_FAILURE() << dx << " " << dy << ": " << got << " not " << want;
    }
    EXPECT_EQ(misses, 0);
}
#endif

TEST(PilotAngles, WrapKeepsHeadingDifferencesWithinHalfATurn) {
    EXPECT_EQ(wrap_degrees(190), -170.0f);
    EXPECT_EQ(wrap_degrees(-190), 170.0f);
    EXPECT_EQ(wrap_degrees(180), 180.0f);
    EXPECT_EQ(wrap_degrees(-180), -180.0f);
    EXPECT_EQ(wrap_degrees(765), 45.0f);
    EXPECT_EQ(wrap_degrees(-1085.5f), -5.5f);
    EXPECT_EQ(wrap_degrees(0.1f), 0.1f);
    // 2^24 + 8 degrees: 46603 turns and 144 degrees.
    EXPECT_EQ(wrap_degrees(16777224.0f), 144.0f);
}

TEST(PilotAngles, WrapIsExactForEveryHeadingDifference) {
    // The remainder of a float by 360 is exact in double; a conforming fmod gives it.
    Numbers n{23};
    for (int i = 0; i < 1000000; ++i) {
        float d = float((n.unit() - 0.5) * (i % 2 ? 1440 : 4e7));
        double r = std::fmod(double(d), 360.0);
        if (r > 180) r -= 360;
        if (r < -180) r += 360;
        ASSERT_EQ(bits(wrap_degrees(d)), bits(float(r))) << d;
    }
}

}  // namespace
