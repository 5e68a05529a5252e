#include "sim/world.h"

#include "sim/state_fields.h"

void clear_fx(World& w) {
    trail_tag::destroy_all(w);
    dust_tag::destroy_all(w);
    rocket_tag::destroy_all(w);
    explode_tag::destroy_all(w);
}

World new_world(int seed) {
    World w;
    w.rng.SeedRnd(seed);
    player_tag::init(w);
    level_tag::map_init(w);
    return w;
}

// The writers take the state by const reference; the field list is one for reading and
// writing, so they hand it a mutable view that they never write through.
void write_canonical(std::vector<uint8_t>& out, const World& w) {
    FieldWriter v{CanonicalWriter(out)};
    describe(v, const_cast<World&>(w));
}

bool read_canonical(CanonicalReader& in, World& w) {
    FieldReader v{in};
    describe(v, w);
    return in.ok();
}
