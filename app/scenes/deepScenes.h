// Deep frames made in code, for `orvel demo` and `orvel bench`.
#pragma once

#include <memory>

#include "standin/MemoryDeepOp.h"

// A deep scene made in code, for `orvel demo --deep` and `orvel bench`: a far wall with small
// bright lights and a hole of empty pixels (no samples), two thick overlapping semi-transparent
// haze layers over everything, low mist near the camera, an opaque sphere at the focal distance, a thick
// semi-transparent glass pane and a thick opaque post close to the camera overlapping it. About four samples
// per pixel, colours premultiplied by alpha; channels R G B A, deep front and deep back.

// Depth of the sphere the scene is focused on.
constexpr float kDeepSceneFocalDepth = 100.0f;

std::unique_ptr<standin::MemoryDeepOp> makeDeepScene(int width, int height);

// The occluder deep frame, for `orvel demo --occluder` and `orvel bench`: a far wall (depth 1000)
// with a grid of small bright lights, a striped sphere on the focal plane (100) and thin opaque
// posts close to the camera (40), every other one right in front of a column of lights. Every
// pixel keeps what lies behind the posts and the sphere (the hidden wall and lights), so the
// deep input holds two or three layers; colours premultiplied by alpha; channels R G B A, deep
// front and deep back.

std::unique_ptr<standin::MemoryDeepOp> makeOccluderScene(int width, int height);
