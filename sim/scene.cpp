#include "sim/scene.h"

void Scene::clear() {
    ops.clear();
    arenas.clear();
    dusts.clear();
    explodes.clear();
    trails.clear();
    rockets.clear();
}

void Scene::arena(const World& w) {
    ArenaView& a = arenas.emplace_back();
    for (int i = 0; i < MAP_CELLS; ++i) a.level[i] = w.level[i];
    a.player[0] = w.player[0];
    a.player[1] = w.player[1];
    add(SceneOp::Kind::arena);
    ops.back().i[0] = int(arenas.size()) - 1;
}
