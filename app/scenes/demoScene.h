// The demo's procedural scene, made in code: a brick wall with small bright lights far away,
// a chequered floor running towards it, a striped sphere at the focal distance, a red sphere
// close to the camera and a pillar with lamps in between. Channels R G B A and depth Z.
#pragma once

#include <memory>

#include "standin/MemoryIop.h"

// Depth of the sphere the demo focuses on.
constexpr float kDemoFocalDepth = 60.0f;

std::unique_ptr<standin::MemoryIop> makeDemoScene(int width, int height);
