#pragma once
// The one random generator: a Park-Miller minimal standard generator (multiplier
// 48271, modulus 2^31 - 1) whose exact sequence the arena and the effects rely on.

// Sets the state to seed & 0x7fffffff; 0 and 0x7fffffff, which would stall the
// generator, become 0x1234.
void SeedRnd(int seed);

// A uniform double in [min(a, b), max(a, b)), from two steps of the generator.
double Rnd(double min_value, double max_value);

// A uniform double in [0, 1).
double RndDouble();

// A uniform float in [0, 1) from one step (the game itself never draws one).
float RndFloat();

// The generator's state, for the trace and for tests.
int RndState();
