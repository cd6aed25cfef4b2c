// The occluder deep frame, for `orvel demo --occluder` and `orvel bench`: a far wall (depth 1000)
// with a grid of small bright lights, a striped sphere on the focal plane (100) and thin opaque
// posts close to the camera (40), every other one right in front of a column of lights. Every
// pixel keeps what lies behind the posts and the sphere (the hidden wall and lights), so the
// deep input holds two or three layers; colours premultiplied by alpha; channels R G B A, deep
// front and deep back.
#pragma once

#include <memory>

#include "standin/MemoryDeepOp.h"

std::unique_ptr<standin::MemoryDeepOp> makeOccluderScene(int width, int height);
