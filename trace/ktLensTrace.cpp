#include "ktLensTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktLensTrace.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ktSimdTarget.h"
#include "ktVectorLanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

using IndexTag = hn::RebindToSigned<Tag>;
using Index = hn::Vec<IndexTag>;

// A ray stops once the light it still lets through is below this.
constexpr float kStopTransmittance = 1e-4f;
// Fixed-point steps that find where a ray meets a layer.
constexpr int kMeetSteps = 2;
// The blur radius (pixels) of the content a pixel may meet from which it sends all its rays.
constexpr float kFullFootprint = 6.0f;
// A ray reads a layer's colour through a filter of about its share of the aperture there,
// |radius| * sqrt(area / rays) pixels across, so that a small light many rays miss is still
// counted in proportion: at the level nearest 2^l = kLevelSpan times that (a 2^l box read
// between pixels). Tried against path-traced truth: wider filters soften the discs' rims,
// narrower ones leave more noise, and blending two levels gained nothing for twice the reads.
constexpr float kLevelSpan = 1.0f;

// Rays a pixel sends: all of them once the content its rays may meet is blurred by
// kFullFootprint or more; below that fewer, in proportion to the footprint's area, since a
// smaller footprint holds fewer pixels to average (at least one block of lanes). A power of two
// times the block, as the first points of a pattern spread evenly in such numbers.
int raysFor(int count, float footprint) {
  const float share = footprint * footprint / (kFullFootprint * kFullFootprint);
  int n = ktApertureSamples::kLaneBlock;
  while (n < count && float(n) < share * float(count)) n *= 2;
  return std::min(n, count);
}

// Four neighbours and their bilinear weights of a position, within one layer.
struct Bilinear {
  Index i00, i10, i01, i11;
  Vector w00, w10, w01, w11;
};

// Where the layer is read for the area position (qx, qy) (pixel centres at half integers):
// the area's edge pixels repeat beyond it, and outside its box the layer is empty.
struct LayerFrame {
  int width, x0, x1, y0, y1, originX, originY;
  int areaWidth, areaHeight;
};

LayerFrame frameOf(const ktTraceLayer& layer, int areaWidth, int areaHeight) {
  return {layer.width,
          std::max(0, layer.x),
          std::min(areaWidth - 1, layer.x + layer.width - 1),
          std::max(0, layer.y),
          std::min(areaHeight - 1, layer.y + layer.height - 1),
          layer.x,
          layer.y,
          areaWidth,
          areaHeight};
}

HWY_INLINE Bilinear bilinearAt(Tag d, const LayerFrame& f, Vector qx, Vector qy) {
  const IndexTag di;
  const Vector half = hn::Set(d, 0.5f);
  const Vector fx = hn::Sub(qx, half), fy = hn::Sub(qy, half);
  const Vector floorX = hn::Floor(fx), floorY = hn::Floor(fy);
  const Vector tx = hn::Sub(fx, floorX), ty = hn::Sub(fy, floorY);
  const Index ix = hn::ConvertTo(di, floorX), iy = hn::ConvertTo(di, floorY);
  const Index one = hn::Set(di, 1);
  auto clampTo = [&](Index v, int lo, int hi, int origin) {
    return hn::Sub(hn::Min(hn::Max(v, hn::Set(di, lo)), hn::Set(di, hi)), hn::Set(di, origin));
  };
  const Index x0 = clampTo(ix, f.x0, f.x1, f.originX), x1 = clampTo(hn::Add(ix, one), f.x0, f.x1, f.originX);
  const Index w = hn::Set(di, f.width);
  const Index r0 = hn::Mul(clampTo(iy, f.y0, f.y1, f.originY), w);
  const Index r1 = hn::Mul(clampTo(hn::Add(iy, one), f.y0, f.y1, f.originY), w);
  const Vector sx = hn::Sub(hn::Set(d, 1.0f), tx), sy = hn::Sub(hn::Set(d, 1.0f), ty);
  return {hn::Add(r0, x0), hn::Add(r0, x1), hn::Add(r1, x0), hn::Add(r1, x1),
          hn::Mul(sx, sy), hn::Mul(tx, sy), hn::Mul(sx, ty), hn::Mul(tx, ty)};
}

HWY_INLINE Vector read(Tag d, const Bilinear& b, const float* plane) {
  Vector v = hn::Mul(b.w00, hn::GatherIndex(d, plane, b.i00));
  v = hn::MulAdd(b.w10, hn::GatherIndex(d, plane, b.i10), v);
  v = hn::MulAdd(b.w01, hn::GatherIndex(d, plane, b.i01), v);
  return hn::MulAdd(b.w11, hn::GatherIndex(d, plane, b.i11), v);
}

// A layer read through a filter about as wide as a ray's share of the aperture there: at one of
// its levels (level 0 the layer itself).
struct Filtered {
  int level;
  Bilinear at;
};

// Reads coarse level `level` (1 on) at the area position (qx, qy), its edge pixels repeating
// beyond it: its colour per unit of alpha goes on there, and the alpha read at the ray's point
// decides what of it counts.
HWY_INLINE Bilinear levelBilinear(Tag d, const ktTraceLayer& layer, const LayerFrame& f, int level, Vector qx,
                                  Vector qy) {
  if (level == 0) return bilinearAt(d, f, qx, qy);
  const ktTraceLayer::Level& l = layer.levels[size_t(level - 1)];
  const float scale = 1.0f / float(1 << level);
  const Vector x = hn::Mul(hn::Sub(qx, hn::Set(d, float(layer.x))), hn::Set(d, scale));
  const Vector y = hn::Mul(hn::Sub(qy, hn::Set(d, float(layer.y))), hn::Set(d, scale));
  return bilinearAt(d, {l.width, 0, l.width - 1, 0, l.height - 1, 0, 0, f.areaWidth, f.areaHeight}, x, y);
}

// The level that filters over about `width` pixels (the layer itself below one pixel).
HWY_INLINE Filtered filteredAt(Tag d, const ktTraceLayer& layer, const LayerFrame& f, float width, Vector qx,
                               Vector qy) {
  // The level l whose 2^l lies nearest to the span, on a log scale.
  const float span = width * kLevelSpan;
  int level = 0;
  for (float bound = 1.41421356f; span >= bound && level < int(layer.levels.size()); bound *= 2.0f) ++level;
  return {level, levelBilinear(d, layer, f, level, qx, qy)};
}

HWY_INLINE Vector readFiltered(Tag d, const ktTraceLayer& layer, const Filtered& r, int p) {
  return read(d, r.at, r.level == 0 ? layer.plane(p) : layer.levels[size_t(r.level - 1)].plane(p));
}

// The area pixels the reads of any ray of pixel (px, py) may touch where a layer's radius is at
// most `radius`, the area's edges repeating beyond it: columns x0 .. x1, rows y0 .. y1.
struct ReadWindow {
  int x0, y0, x1, y1;
};
ReadWindow readWindow(int areaWidth, int areaHeight, float px, float py, float radius) {
  const float reach = radius + 1.0f;
  auto within = [](float v, int size) { return int(std::floor(std::min(std::max(v, 0.0f), float(size - 1)))); };
  return {within(px - reach, areaWidth), within(py - reach, areaHeight), within(px + reach, areaWidth),
          within(py + reach, areaHeight)};
}

// Whether any ray of pixel (px, py) can meet content of the layer whose radius is at most
// `radius` (none when negative): its read window against the box's, then against the layer's
// tiles with content.
bool reaches(const ktTraceLayer& layer, const LayerFrame& f, int areaWidth, int areaHeight, float px,
             float py, float radius) {
  if (radius < 0.0f) return false;
  const ReadWindow w = readWindow(areaWidth, areaHeight, px, py, radius);
  if (w.x1 < f.x0 || w.x0 > f.x1 || w.y1 < f.y0 || w.y0 > f.y1) return false;
  return layer.holdsWithin(std::max(w.x0, f.x0) - f.originX, std::max(w.y0, f.y0) - f.originY,
                           std::min(w.x1, f.x1) - f.originX, std::min(w.y1, f.y1) - f.originY);
}

// Whether every read of every ray of pixel (px, py) lands on opaque content of the layer, all of
// it the input's own: the rays then let nothing through, and the colour they find is the base's.
bool opaqueAround(const ktTraceLayer& layer, const LayerFrame& f, int areaWidth, int areaHeight, float px,
                  float py, float radius) {
  const ReadWindow w = readWindow(areaWidth, areaHeight, px, py, radius);
  if (w.x0 < f.x0 || w.x1 > f.x1 || w.y0 < f.y0 || w.y1 > f.y1) return false;
  const int bx0 = w.x0 - f.originX, by0 = w.y0 - f.originY, bx1 = w.x1 - f.originX, by1 = w.y1 - f.originY;
  return layer.opaqueWithin(bx0, by0, bx1, by1) && !layer.borrowsWithin(bx0, by0, bx1, by1);
}

// What one pixel's rays need: the layers its rays can meet, each one's radius at the pixel, and
// for each layer the base models (see ktLensTrace.h) its slot in `model` (-1: not modelled):
// lanes of the sums of what its rays read of the input's own content there, each traced plane's,
// then its coverage, then the coverage their light came through, then, for a layer the base
// draws itself, their light from the layer, each plane's.
struct PixelRays {
  const bool* live;
  const float* radius;
  const int* slot;
  const bool* drawnByBase;
  // The layers whose colour comes from the base alone: what the rays read of it would cancel
  // (see traceRow), so only their alpha is read.
  const bool* colourFromBase;
  float px, py, cellSide;
  float* model;
};

// The rays of one block of samples through every layer: adds each traced plane's light into
// light[], and into the pixel's model the sums of the layers the base models; returns the
// transmittance left, zero in the lanes past the block's samples.
HWY_INLINE Vector traceBlock(Tag d, const ktTraceLayers& layers, const LayerFrame* frames, int layerCount,
                             const PixelRays& pixel, const float* ux, const float* uy, int lanesUsed,
                             Vector* light) {
  const int planes = std::min(int(layers.channels.size()), kMaxTracedChannels);
  const int lanes = int(hn::Lanes(d));
  const bool aberration = !layers.shifts.empty();
  const Vector u = hn::LoadU(d, ux), v = hn::LoadU(d, uy);
  const Vector pxv = hn::Set(d, pixel.px), pyv = hn::Set(d, pixel.py);
  const Vector stop = hn::Set(d, kStopTransmittance);
  const Vector used = hn::IfThenElseZero(hn::FirstN(d, size_t(lanesUsed)), hn::Set(d, 1.0f));
  Vector transmittance = used;
  for (int k = 0; k < layerCount; ++k) {
    // Rays that let nothing more through end here: what they would have read of the layers
    // behind counts for the base's model only where light comes through, so it is not read.
    if (hn::AllTrue(d, hn::Lt(transmittance, stop))) break;
    const int slot = pixel.slot[k];
    if (!pixel.live[k]) continue;
    const ktTraceLayer& layer = layers.layers[size_t(k)];
    const LayerFrame& f = frames[k];
    const bool colour = !pixel.colourFromBase[k];
    // Start from the radius at p, then follow the radius where the ray lands.
    const float* radiusPlane = layer.plane(layers.radiusPlane());
    Vector radius = hn::Set(d, pixel.radius[k]);
    Vector qx = hn::NegMulAdd(radius, u, pxv), qy = hn::NegMulAdd(radius, v, pyv);
    for (int step = 0; step < (layer.uniform ? 0 : kMeetSteps); ++step) {
      radius = read(d, bilinearAt(d, f, qx, qy), radiusPlane);
      qx = hn::NegMulAdd(radius, u, pxv), qy = hn::NegMulAdd(radius, v, pyv);
    }
    // The filter's width: the block's rays' mean radius times each ray's share of the aperture.
    const float width =
        colour ? hn::GetLane(hn::SumOfLanes(d, hn::Abs(radius))) / float(lanes) * pixel.cellSide : 0.0f;
    const Filtered here = filteredAt(d, layer, f, width, qx, qy);
    const Bilinear point = here.level == 0 ? here.at : bilinearAt(d, f, qx, qy);
    // Chromatic aberration reads each plane where its own shift along the diagonal puts it.
    const Vector spread = aberration ? read(d, point, layer.plane(layers.spreadPlane())) : hn::Zero(d);
    auto shifted = [&](int p, float filter) HWY_ATTR {
      const Vector shift = hn::Mul(hn::Set(d, layers.shifts[size_t(p)]), spread);
      return readFiltered(d, layer, filteredAt(d, layer, f, filter, hn::Sub(qx, shift), hn::Sub(qy, shift)), p);
    };
    // What the ray lets through is read at its own point: a filtered alpha would let a ray
    // half-pass a thin occluder it misses or hits, and the light behind it with it. A coarse
    // level holds colour per unit of alpha, which that alpha scales: a uniform surface gives what
    // a point read gives, a light in it counts in proportion to what it covers.
    const Vector alpha =
        aberration ? shifted(layers.alphaPlane(), 0.0f) : read(d, point, layer.plane(layers.alphaPlane()));
    const Vector scale = here.level == 0 ? hn::Set(d, 1.0f) : alpha;
    const Vector through = hn::Mul(transmittance, scale);
    // The base's model reads the same points of the input's own content, met in full.
    float* model = slot >= 0 ? pixel.model + size_t(slot) * size_t(2 * planes + 2) * size_t(lanes) : nullptr;
    const Vector own = slot < 0            ? hn::Zero(d)
                       : layer.own.empty() ? used
                                           : hn::Mul(used, read(d, point, layer.own.data()));
    const Vector ownScale = hn::Mul(own, scale);
    for (int c = 0; c < planes && colour; ++c) {
      const Vector colour = aberration ? shifted(c, width) : readFiltered(d, layer, here, c);
      light[c] = hn::MulAdd(through, colour, light[c]);
      if (!model) continue;
      hn::StoreU(hn::MulAdd(ownScale, colour, hn::LoadU(d, model + c * lanes)), d, model + c * lanes);
      if (!pixel.drawnByBase[k]) continue;
      float* lit = model + (planes + 2 + c) * lanes;
      hn::StoreU(hn::MulAdd(through, colour, hn::LoadU(d, lit)), d, lit);
    }
    if (model) {
      float* covered = model + planes * lanes;
      hn::StoreU(hn::MulAdd(own, alpha, hn::LoadU(d, covered)), d, covered);
      float* passed = covered + lanes;
      hn::StoreU(hn::MulAdd(hn::Mul(own, transmittance), alpha, hn::LoadU(d, passed)), d, passed);
    }
    transmittance = hn::Mul(transmittance, hn::Sub(hn::Set(d, 1.0f), alpha));
    transmittance = hn::IfThenZeroElse(hn::Lt(transmittance, stop), transmittance);
  }
  return transmittance;
}

// The signed blur radius of layer k at area pixel (x, y), the nearest pixel of its box.
float radiusAt(const ktTraceLayers& layers, int k, const LayerFrame& f, int x, int y) {
  const int cx = std::min(std::max(x, f.x0), f.x1) - f.originX, cy = std::min(std::max(y, f.y0), f.y1) - f.originY;
  return layers.layers[size_t(k)].plane(layers.radiusPlane())[size_t(cy) * size_t(f.width) + size_t(cx)];
}

// The most layers a row reads.
constexpr int kMaxLayers = 256;
// A layer in focus at a pixel (a blur under two pixels, the scatter's one tap), behind only
// nearer layers blurred by at least kBlurredVeil pixels or in focus too, is drawn as the base
// draws it: every ray meets it, and any in-focus layer before it, at the pixel, and the base's
// share for it past the blurred veil is exact where the rays only estimate it. Nearer content
// blurred by less may be the same surface, which the base composites by other rules than the
// rays.
constexpr float kInFocus = 1.0f;
constexpr float kBlurredVeil = 6.0f;
// The scatter's alpha from which its picture over that alpha is taken as the mean colour it covers.
constexpr float kCoveredForMean = 1e-3f;

// Lanes summed in one fixed order (the same on every call, whatever the thread).
HWY_INLINE double laneSum(Tag d, Vector v) { return double(hn::GetLane(hn::SumOfLanes(d, v))); }

// Whether the base's mean colours of `slice` at `column` are all finite.
bool finiteMeans(const ktTraceBase& base, int planes, int slice, int column) {
  for (int c = 0; c < planes; ++c)
    if (!std::isfinite(base.meanOf(c, slice, column))) return false;
  return std::isfinite(base.shareOf(slice, column));
}

// `model` holds lanes for the sums of every layer the base models: (2 planes + 2) x lanes floats a
// layer.
void traceRow(const ktTraceLayers& layers, const ktApertureSamples& samples, const ktTraceBase* base, int y,
              int x, int r, float* model, float* const* out, float* alpha) {
  const Tag d;
  const int lanes = int(hn::Lanes(d));
  const int planes = std::min(int(layers.channels.size()), kMaxTracedChannels);
  const int layerCount = std::min(int(layers.layers.size()), kMaxLayers);
  LayerFrame frames[kMaxLayers];
  for (int k = 0; k < layerCount; ++k)
    frames[k] = frameOf(layers.layers[size_t(k)], layers.areaWidth, layers.areaHeight);
  // Positions within the layers' area: host pixel (i, y) is area pixel (i - originX, y - originY).
  const int ay = y - layers.originY;
  PixelRays pixel;
  pixel.py = float(ay) + 0.5f;
  pixel.model = model;
  bool live[kMaxLayers], drawnByBase[kMaxLayers], colourFromBase[kMaxLayers];
  float radius[kMaxLayers];
  int slot[kMaxLayers];
  pixel.live = live, pixel.radius = radius, pixel.slot = slot, pixel.drawnByBase = drawnByBase;
  pixel.colourFromBase = colourFromBase;
  const size_t modelFloats = size_t(2 * planes + 2) * size_t(lanes);
  for (int i = x; i < r; ++i) {
    const int ax = i - layers.originX;
    pixel.px = float(ax) + 0.5f;
    double light[kMaxTracedChannels] = {}, open = 0.0;
    float footprint = 0.0f;
    // The least blur of the live layers nearer than k, in-focus ones left out.
    float nearestBlur = std::numeric_limits<float>::infinity();
    int slots = 0, liveLayers = 0, lastLive = -1;
    for (int k = 0; k < layerCount; ++k) {
      const ktTraceLayer& layer = layers.layers[size_t(k)];
      const float reach = layer.reachAt(ax, ay);
      live[k] = reaches(layer, frames[k], layers.areaWidth, layers.areaHeight, pixel.px, pixel.py, reach);
      const bool nearest = live[k] && liveLayers == 0;
      if (live[k]) footprint = std::max(footprint, reach), ++liveLayers, lastLive = k;
      radius[k] = live[k] ? radiusAt(layers, k, frames[k], ax, ay) : 0.0f;
      slot[k] = live[k] && base && base->coverageOf(layer.slice, i) > 0.0f ? slots++ : -1;
      drawnByBase[k] = slot[k] >= 0 && std::fabs(radius[k]) < kInFocus && nearestBlur >= kBlurredVeil;
      colourFromBase[k] = nearest && slot[k] >= 0 && layer.own.empty() && finiteMeans(*base, planes, layer.slice, i);
      if (live[k] && std::fabs(radius[k]) >= kInFocus)
        nearestBlur = std::min(nearestBlur, std::fabs(radius[k]));
    }
    if (liveLayers == 0) {
      // No ray meets anything.
      for (int c = 0; c < planes; ++c) out[c][i] = 0.0f;
      alpha[i] = 0.0f;
      continue;
    }
    if (base && liveLayers == 1 &&
        opaqueAround(layers.layers[size_t(lastLive)], frames[lastLive], layers.areaWidth, layers.areaHeight,
                     pixel.px, pixel.py, footprint)) {
      // The rays meet one opaque layer of the input's own content: they let nothing through,
      // so the pixel is opaque, nothing hides anything, and the colour they find is the
      // scatter's mean colour of what it covers there: its picture over its alpha, which near a
      // blurred rim may fall short of 1 where the rays already meet the layer whole. Kept as the
      // rays would keep it: no colour below 0 from rounding. Where the content thins out the
      // scatter spreads what there is over its weights, and the rays' coverage says what shows.
      const bool negative = layers.layers[size_t(lastLive)].negative;
      const float covered = base->pictureAlpha[i];
      const float unpremultiply = covered > kCoveredForMean ? 1.0f / covered : 1.0f;
      for (int c = 0; c < planes; ++c) {
        const float colour = base->picture[c][i] * unpremultiply;
        out[c][i] = negative ? colour : std::max(0.0f, colour);
      }
      alpha[i] = 1.0f;
      continue;
    }
    std::fill(model, model + size_t(slots) * modelFloats, 0.0f);
    const int rays = raysFor(samples.count, footprint);
    pixel.cellSide = std::sqrt(samples.area / float(rays));
    const int pattern = ktApertureSamples::patternOf(i, y);
    const float* ux = samples.patternX(pattern);
    const float* uy = samples.patternY(pattern);
    // Each lane sums its rays of every block; the lanes are summed once.
    Vector blockLight[kMaxTracedChannels];
    for (int c = 0; c < planes; ++c) blockLight[c] = hn::Zero(d);
    Vector openLanes = hn::Zero(d);
    for (int b = 0; b < rays; b += lanes)
      openLanes = hn::Add(openLanes, traceBlock(d, layers, frames, layerCount, pixel, ux + b, uy + b,
                                                std::min(lanes, rays - b), blockLight));
    open = laneSum(d, openLanes);
    for (int c = 0; c < planes; ++c) light[c] = laneSum(d, blockLight[c]);
    const double n = double(rays);
    alpha[i] = float(1.0 - open / n);
    if (!base) {
      for (int c = 0; c < planes; ++c) out[c][i] = float(light[c] / n);
      continue;
    }
    // Each layer the rays met adds, besides their light, the coverage of its own content that
    // light came through times the difference between the base's mean colour of the slice and
    // the mean colour the rays found there: the light the rays let through, as the base knows its
    // colour. Where nothing nearer is in the way that is the base itself; where something is,
    // the rays' light keeps which part of the content shows.
    double corrected[kMaxTracedChannels] = {};
    bool negative[kMaxTracedChannels] = {};
    for (int c = 0; c < planes; ++c) corrected[c] = light[c] / n, negative[c] = light[c] < 0.0;
    for (int k = 0; k < layerCount; ++k) {
      if (slot[k] < 0) continue;
      const float* sums = model + size_t(slot[k]) * modelFloats;
      const double covered = laneSum(d, hn::LoadU(d, sums + planes * lanes));
      if (!(covered > 0.0)) continue;
      // The coverage the rays' light came through, weighted down as nearer things hide more of
      // what the rays found: what they hide is rarely a fair sample of the content (a post
      // hides the very light behind it), so which part shows is the rays' to say, and the
      // base's mean of the whole says less and less of it.
      const double passed = laneSum(d, hn::LoadU(d, sums + (planes + 1) * lanes));
      const double shown = passed / covered;
      const double weight = passed / n * (shown * shown) * (shown * shown);
      const int s = layers.layers[size_t(k)].slice;
      // A layer whose colour the rays did not read: its sums are 0, and the base's colour
      // stands for what they would have read; whether that was negative the layer says.
      for (int c = 0; c < planes && colourFromBase[k]; ++c)
        negative[c] = negative[c] || layers.layers[size_t(k)].negative;
      if (drawnByBase[k]) {
        // In focus: the scatter's share and mean in place of the rays' light from the layer.
        const double share = base->shareOf(s, i);
        for (int c = 0; c < planes; ++c) {
          const double mean = base->meanOf(c, s, i);
          const double difference = share * mean - laneSum(d, hn::LoadU(d, sums + (planes + 2 + c) * lanes)) / n;
          if (std::isfinite(difference)) corrected[c] += difference;
        }
        continue;
      }
      for (int c = 0; c < planes; ++c) {
        const double mean = base->meanOf(c, s, i);
        const double difference = mean - laneSum(d, hn::LoadU(d, sums + c * lanes)) / covered;
        // An infinite colour stays the rays' alone: inf less inf would make it not a number.
        if (std::isfinite(difference)) corrected[c] += weight * difference;
      }
    }
    // The rays' noise, and the base's rounding, may take a dark pixel below 0; where the layers
    // the rays read gave nothing negative, it stays at 0.
    for (int c = 0; c < planes; ++c) out[c][i] = float(negative[c] ? corrected[c] : std::max(0.0, corrected[c]));
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(traceRow);

void lensTraceRow(const ktTraceLayers& layers, const ktApertureSamples& samples, const ktTraceBase* base,
                  RowRegion region, float* const* out, float* alpha) {
  const int y = region.y, x = region.x, r = region.r;
  applySimdTargetFromEnvironment();
  if (samples.count <= 0 || !layers.built) {
    for (size_t c = 0; c < std::min(layers.channels.size(), size_t(kMaxTracedChannels)); ++c)
      std::fill(out[c] + x, out[c] + r, 0.0f);
    std::fill(alpha + x, alpha + r, 0.0f);
    return;
  }
  HWY_DYNAMIC_DISPATCH(traceRow)(layers, samples, base, y, x, r, base ? base->sums : nullptr, out, alpha);
}

}  // namespace orvel
#endif  // HWY_ONCE
