// Fills the holes of an image from what lies around them: a pyramid of weighted 2 x 2 sums
// (pull), then every pixel of a level that holds no weight takes the bilinear value of the
// level above it (push), from the coarsest level down. A hole thus takes the values of its
// nearest weighted pixels, blended smoothly over a distance that grows with its size.
#pragma once

#include <cstdint>
#include <vector>

// Fills the pixels `holes` marks (all of zero weight) in the width x height `planes` (row after
// row) from the pixels of positive weight, never reading the others (infinities there included);
// the pixels not marked keep their values. Without any weight the holes become 0.
void pushPull(int width, int height, const std::vector<float*>& planes, const float* weight,
              const uint8_t* holes);
