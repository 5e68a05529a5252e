#pragma once
// What this build's rules make of a fixed game: two players flying, firing and turning
// from the title through several rounds, hashed. Two builds whose rules differ in any
// number that matters to play give different fingerprints, so online play can refuse a
// match between them before it starts rather than find the split frames later.
#include <cstdint>
#include <string>

// Computed once (a few milliseconds), then remembered.
uint64_t rules_fingerprint();
// Computed afresh.
uint64_t compute_rules_fingerprint();
