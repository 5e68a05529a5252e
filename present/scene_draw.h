#pragma once
// Drawing a frame's scene: the copies the rules noted, op by op, with the media made
// at start-up.
#include "sim/scene.h"

struct Media;

void draw_scene(const Scene& scene, Media& media);
