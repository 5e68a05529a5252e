#include "engine/random.h"

namespace {

struct RandomState {
    int state = 0x1234;
};

RandomState rnd;

// Schrage's method keeps 48271 * state inside 32 bits.
void step() {
    int s = (rnd.state % 44488) * 48271 - (rnd.state / 44488) * 3399;
    if (s < 0) s += 0x7fffffff;
    rnd.state = s;
}

}  // namespace

void SeedRnd(int seed) {
    rnd.state = seed & 0x7fffffff;
    if (rnd.state == 0 || rnd.state == 0x7fffffff) rnd.state = 0x1234;
}

double RndDouble() {
    step();
    int a = rnd.state & 0x1ffffffc;
    step();
    int b = rnd.state & 0x1ffffff8;
    return (a + b / 134217728.0) / 536870912.0;
}

double Rnd(double min_value, double max_value) {
    double r = RndDouble();
    if (max_value > min_value) return min_value + r * (max_value - min_value);
    return max_value + r * (min_value - max_value);
}

float RndFloat() {
    step();
    return float((rnd.state & 0xffffff0) / 268435456.0);
}

int RndState() { return rnd.state; }
