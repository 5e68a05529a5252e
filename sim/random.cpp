#include "sim/random.h"

// Schrage's method keeps 48271 * state inside 32 bits.
void Rng::step() {
    int32_t s = (state % 44488) * 48271 - (state / 44488) * 3399;
    if (s < 0) s += 0x7fffffff;
    state = s;
}

void Rng::SeedRnd(int seed) {
    state = seed & 0x7fffffff;
    if (state == 0 || state == 0x7fffffff) state = 0x1234;
}

double Rng::RndDouble() {
    step();
    int32_t a = state & 0x1ffffffc;
    step();
    int32_t b = state & 0x1ffffff8;
    return (a + b / 134217728.0) / 536870912.0;
}

double Rng::Rnd(double min_value, double max_value) {
    double r = RndDouble();
    if (max_value > min_value) return min_value + r * (max_value - min_value);
    return max_value + r * (min_value - max_value);
}

float Rng::RndFloat() {
    step();
    return float((state & 0xffffff0) / 268435456.0);
}
