// The deep input as the lens trace reads it: per corrective slice that holds any sample, one
// layer of premultiplied colour, alpha and signed blur radius over the box its samples cover
// (plus a one-pixel border), the pieces of each pixel in that slice composited nearest first.
// Where a layer is empty its radius is that of its nearest content, so that a ray finds where it
// meets that content. A layer continues under the edge of a nearer layer that carries the same
// surface on, and, when the input stores nothing behind opaque samples, behind whatever nearer
// content hides it, out to the reach of any ray. Slices no sample falls in get no layer. Built
// once per render, then only read.
#pragma once

#include <vector>

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "ktRenderContext.h"

struct ktTraceLayer {
  int x = 0, y = 0, width = 0, height = 0;  // the stored box, border included, in area pixels
  int slice = 0;                            // the corrective slice it holds
  float reach = 0.0f;        // the largest |radius| (and chromatic shift) any ray may meet here
  bool negative = false;     // some colour below 0
  bool uniform = false;      // one radius everywhere: a ray meets the layer without searching
  // Planes of width x height floats: the traced channels, alpha, radius and, with chromatic
  // aberration, the spread its shift scales with.
  std::vector<float> data;
  const float* plane(int k) const { return data.data() + size_t(k) * size_t(width) * size_t(height); }
  // By pixel, how much of it is the input's own (1) rather than carried on from elsewhere (0:
  // behind nearer content, across a slice boundary); empty where all of it is.
  std::vector<float> own;

  // Coarser copies of the colour planes, each half the one before (rounded up), every pixel the
  // mean of the 2 x 2 it covers divided by their mean alpha (and where that is 0, carried on
  // from the nearest content); a ray reads them where its share of the aperture spans many
  // pixels of the layer. levels[0] is the first halving.
  struct Level {
    int width = 0, height = 0;
    std::vector<float> data;
    const float* plane(int k) const { return data.data() + size_t(k) * size_t(width) * size_t(height); }
  };
  std::vector<Level> levels;

  // Tiles of kTile x kTile pixels from the box's corner; a summed-area table of those holding
  // any colour or alpha, (tilesX + 1) x (tilesY + 1) entries, lets a gather skip empty ground.
  static constexpr int kTile = 8;
  int tilesX = 0, tilesY = 0;
  std::vector<int> occupied;
  // By tile, tilesX x tilesY: the largest |radius| (and chromatic shift) of content that a ray
  // from a pixel of the tile may meet; -1 where it can meet none.
  std::vector<float> tileReach;
  // That of area pixel (x, y): the layer's reach outside its box.
  float reachAt(int x, int y) const {
    const int lx = x - this->x, ly = y - this->y;
    if (lx < 0 || ly < 0 || lx >= width || ly >= height) return reach;
    return tileReach[size_t(ly / kTile) * size_t(tilesX) + size_t(lx / kTile)];
  }
  // As occupied, the tiles holding pixels not wholly the input's own (empty where own is), and
  // the tiles whose every pixel is opaque.
  std::vector<int> borrowed, opaque;
  // Whether any pixel of columns x0 .. x1 and rows y0 .. y1 (of the box, all included) holds
  // content; whether any there is carried on from elsewhere.
  bool holdsWithin(int x0, int y0, int x1, int y1) const { return tilesWithin(occupied, x0, y0, x1, y1) > 0; }
  bool borrowsWithin(int x0, int y0, int x1, int y1) const {
    return !borrowed.empty() && tilesWithin(borrowed, x0, y0, x1, y1) > 0;
  }
  // Whether every tile those pixels touch is opaque.
  bool opaqueWithin(int x0, int y0, int x1, int y1) const {
    return tilesWithin(opaque, x0, y0, x1, y1) == (x1 / kTile + 1 - x0 / kTile) * (y1 / kTile + 1 - y0 / kTile);
  }
  // How many tiles those pixels touch a summed-area table marks.
  int tilesWithin(const std::vector<int>& table, int x0, int y0, int x1, int y1) const {
    const int tx0 = x0 / kTile, ty0 = y0 / kTile, tx1 = x1 / kTile + 1, ty1 = y1 / kTile + 1;
    auto at = [&](int tx, int ty) { return table[size_t(ty) * size_t(tilesX + 1) + size_t(tx)]; };
    return at(tx1, ty1) - at(tx0, ty1) - at(tx1, ty0) + at(tx0, ty0);
  }
};

struct ktTraceLayers {
  // The area the layers cover: the format joined with the deep input's box, so that samples
  // outside the format are traced too. Layer coordinates count from its corner (originX, originY).
  int originX = 0, originY = 0, areaWidth = 0, areaHeight = 0;
  std::vector<int> channels;  // the traced channels, alpha excluded: planes 0 .. channels-1
  // Per plane of the traced channels and alpha, the chromatic shift per unit of spread; empty
  // without chromatic aberration.
  std::vector<float> shifts;
  std::vector<ktTraceLayer> layers;  // nearest first
  double bytes = 0.0;                // what the layers' planes take, or would take
  bool built = false;

  int alphaPlane() const { return int(channels.size()); }
  int radiusPlane() const { return alphaPlane() + 1; }
  int spreadPlane() const { return alphaPlane() + 2; }
};

// Signed blur radius of a traced point: negative in front of the focal plane; half the diameter
// from two pixels on, falling to 0 at one pixel (the scatter engines' one tap). The diameter is the
// coc times the defocus matte, capped at the widest kernel of the bank (its last entry, see
// kKernelBankMargin), a not-a-number blur taking that widest one, as the scatter engines do.
float traceRadius(const ktRenderContext& ctx, float coc, int region, float defocusMatte);

// Reads the deep input (and, for what it lacks, the flat input; the Mattes input when it is
// connected) row by row on `threads` workers. Layers that would take more than `maxBytes` (0: no
// limit) are not made: the result is then not built, with `bytes` saying what they would take.
ktTraceLayers buildTraceLayers(const ktRenderContext& ctx, DD::Image::DeepOp& deep, DD::Image::Iop& flat,
                               DD::Image::Iop* mattes, unsigned threads, double maxBytes);
