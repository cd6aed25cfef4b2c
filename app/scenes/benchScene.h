// The flat frame `orvel bench` renders: RGBA and depth with a spread of depths (a foreground
// disc, objects on the focal plane, a ground rising towards a far background) and small bright
// highlights on a regular grid.
#pragma once

#include <memory>

#include "standin/MemoryIop.h"

// Depth of the focal plane of the scene.
constexpr float kBenchFocalDepth = 100.0f;

std::unique_ptr<standin::MemoryIop> makeBenchScene(int width, int height);
