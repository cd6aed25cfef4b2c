// Flat frames made in code: the demo scene and the bench frame.
#pragma once

#include <memory>

#include "standin/MemoryIop.h"

// The demo's procedural scene, made in code: a brick wall with small bright lights far away,
// a chequered floor running towards it, a striped sphere at the focal distance, a red sphere
// close to the camera and a pillar with lamps in between. Channels R G B A and depth Z.

// Depth of the sphere the demo focuses on.
constexpr float kDemoFocalDepth = 60.0f;

std::unique_ptr<standin::MemoryIop> makeDemoScene(int width, int height);

// The flat frame `orvel bench` renders: RGBA and depth with a spread of depths (a foreground
// disc, objects on the focal plane, a ground rising towards a far background) and small bright
// highlights on a regular grid.

// Depth of the focal plane of the scene.
constexpr float kBenchFocalDepth = 100.0f;

std::unique_ptr<standin::MemoryIop> makeBenchScene(int width, int height);
