// A deep scene made in code, for `orvel demo --deep` and `orvel bench`: a far wall with small
// bright lights and a hole of empty pixels (no samples), two thick overlapping semi-transparent
// haze layers over everything, low mist near the camera, an opaque sphere at the focal distance, a thick
// semi-transparent glass pane and a thick opaque post close to the camera overlapping it. About four samples
// per pixel, colours premultiplied by alpha; channels R G B A, deep front and deep back.
#pragma once

#include <memory>

#include "standin/MemoryDeepOp.h"

// Depth of the sphere the scene is focused on.
constexpr float kDeepSceneFocalDepth = 100.0f;

std::unique_ptr<standin::MemoryDeepOp> makeDeepScene(int width, int height);
