// The rules' sine and cosine over every float heading in +-720 degrees: how many results
// differ from the double nearest the true value (libquadmath's quadruple precision,
// rounded) and from the C library's sin and cos of the same radian angle, and how fast
// each is. Prints figures; asserts nothing.
//
// Usage: whirlbat_trig_bench [THREADS] [STRIDE]
//   STRIDE n looks at every n-th float only (1, every float, by default).
// Run it again with GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-AVX2_Usable,-FMA_Usable,-FMA4
// for the C library an older CPU without FMA gets.
#include <quadmath.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "sim/maths.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float float_of(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

struct Counts {
    long angles = 0;
    long ours_off[2] = {0, 0};     // sin, cos: ours differs from the nearest double
    long library_off[2] = {0, 0};  // the C library's differs from the nearest double
    long differ[2] = {0, 0};       // ours differs from the C library's
    long differ_as_float[2] = {0, 0};
    double first_off = NAN;

    void add(const Counts& o) {
        angles += o.angles;
        for (int i = 0; i < 2; ++i) {
            ours_off[i] += o.ours_off[i];
            library_off[i] += o.library_off[i];
            differ[i] += o.differ[i];
            differ_as_float[i] += o.differ_as_float[i];
        }
        if (std::isnan(first_off)) first_off = o.first_off;
    }
};

void compare(Counts& c, int which, double deg, double ours, double library, __float128 truth) {
    double nearest = double(truth);
    if (bits(ours) != bits(nearest)) {
        ++c.ours_off[which];
        if (std::isnan(c.first_off)) c.first_off = deg;
    }
    if (bits(library) != bits(nearest)) ++c.library_off[which];
    if (bits(ours) != bits(library)) {
        ++c.differ[which];
        if (float(ours) != float(library)) ++c.differ_as_float[which];
    }
}

// Floats with bit patterns first, first + stride, ... below end, both signs.
Counts sweep(std::uint32_t first, std::uint32_t end, std::uint32_t stride) {
    Counts c;
    for (std::uint32_t b = first; b < end; b += stride) {
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            double deg = float_of(b | sign), x = deg * kRadiansPerDegree;
            compare(c, 0, deg, Sin(deg), std::sin(x), sinq(x));
            compare(c, 1, deg, Cos(deg), std::cos(x), cosq(x));
            ++c.angles;
        }
    }
    return c;
}

template <typename F>
double ns_per_call(F f, const std::vector<double>& degrees) {
    volatile double sink = 0;
    auto t0 = std::chrono::steady_clock::now();
    double acc = 0;
    for (int round = 0; round < 5; ++round) {
        for (double d : degrees) acc += f(d);
    }
    sink = acc;
    (void)sink;
    std::chrono::duration<double, std::nano> t = std::chrono::steady_clock::now() - t0;
    return t.count() / (5.0 * double(degrees.size()));
}

void speed() {
    std::vector<double> degrees;
    std::uint64_t s = 12345;
    for (int i = 0; i < 2000000; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        degrees.push_back(float(double(s >> 11) * 0x1p-53 * 1440 - 720));
    }
    double ours_sin = ns_per_call([](double d) { return Sin(d); }, degrees);
    double lib_sin = ns_per_call([](double d) { return std::sin(d * kRadiansPerDegree); }, degrees);
    double ours_cos = ns_per_call([](double d) { return Cos(d); }, degrees);
    double lib_cos = ns_per_call([](double d) { return std::cos(d * kRadiansPerDegree); }, degrees);
    std::printf("speed over 2,000,000 random float headings in +-720 degrees, 5 rounds:\n");
    std::printf("  Sin %.1f ns a call, std::sin %.1f ns (%.1f times)\n", ours_sin, lib_sin, ours_sin / lib_sin);
    std::printf("  Cos %.1f ns a call, std::cos %.1f ns (%.1f times)\n", ours_cos, lib_cos, ours_cos / lib_cos);
}

}  // namespace

int main(int argc, char** argv) {
    int threads = argc > 1 ? std::atoi(argv[1]) : 2;
    std::uint32_t stride = argc > 2 ? std::uint32_t(std::atol(argv[2])) : 1;
    if (threads < 1 || stride < 1) {
        std::fprintf(stderr, "usage: whirlbat_trig_bench [THREADS] [STRIDE]\n");
        return 2;
    }
    speed();

    std::uint32_t end = 0;
    float limit = 720.0f;
    std::memcpy(&end, &limit, sizeof end);
    ++end;  // 720 itself
    // The work in small chunks handed out in turn: small floats cost far less than large.
    constexpr std::uint32_t kChunk = 1u << 20;
    std::atomic<std::uint32_t> next{0};
    std::vector<Counts> parts(threads);
    auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (std::uint32_t start; (start = next.fetch_add(kChunk)) < end;) {
                std::uint32_t first = (start + stride - 1) / stride * stride;
                parts[t].add(sweep(first, std::min(end, start + kChunk), stride));
            }
        });
    }
    for (auto& th : pool) th.join();
    Counts all;
    for (const Counts& p : parts) all.add(p);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    std::printf("every %sfloat in +-720 degrees: %ld angles (%.0f s on %d threads)\n",
                stride == 1 ? "" : "n-th ", all.angles, secs, threads);
    const char* name[2] = {"sin", "cos"};
    for (int i = 0; i < 2; ++i) {
        std::printf("  %s: ours differs from the nearest double on %ld, the C library's on %ld;"
                    " ours and the C library's differ on %ld (%ld of them as floats)\n",
                    name[i], all.ours_off[i], all.library_off[i], all.differ[i], all.differ_as_float[i]);
    }
    if (!std::isnan(all.first_off)) std::printf("  first angle ours gets wrong: %a degrees\n", all.first_off);
    return 0;
}
