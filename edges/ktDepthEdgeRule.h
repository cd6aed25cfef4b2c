// What counts as a depth edge, and how far the nearest depth reaches: the plain values the
// depth-edge rows read.
//
// A pixel is an edge when, over the finite depth values of its (2 radius + 1)^2 neighbourhood
// (itself included), with lo the smallest value and hi the largest,
//     hi - lo > threshold * |lo|.
// In real depth lo is the nearest depth, so this is (far - near) / near > threshold; in 1/z
// (depth = 1/value) lo is the farthest and hi the nearest, and the same test reads
// (far - near) / near > threshold in real depth, with 1/z = 0 (infinitely far) always an edge
// against anything nearer. An edge pixel takes the nearest value (lo in real depth, hi in 1/z).
#pragma once

struct ktDepthEdgeRule {
  int radius = 1;          // 1 to 8: the neighbourhood reaches this many pixels each way
  float threshold = 0.1f;  // relative jump; at or below it nothing changes (negative reads as 0)
  bool inverse = false;    // values are 1/z: the nearest is the largest
};
