#pragma once
// The game's random generator: a Park-Miller minimal standard generator (multiplier
// 48271, modulus 2^31 - 1) whose exact sequence the arena and the effects rely on. It is
// a plain value: the world owns one, so a copied world draws the same numbers.
#include <cstdint>

struct Rng {
    int32_t state = 0x1234;

    // Sets the state to seed & 0x7fffffff; 0 and 0x7fffffff, which would stall the
    // generator, become 0x1234.
    void SeedRnd(int seed);
    // A uniform double in [min(a, b), max(a, b)), from two steps.
    double Rnd(double min_value, double max_value);
    // A uniform double in [0, 1).
    double RndDouble();
    // A uniform float in [0, 1) from one step (the game itself never draws one).
    float RndFloat();

private:
    void step();
};
