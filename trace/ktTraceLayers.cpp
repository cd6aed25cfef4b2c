#include "ktTraceLayers.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <utility>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"
#include "DDImage/Row.h"
#include "DDImage/Thread.h"
#include "ktCombineSamples.h"
#include "ktKernelBank.h"
#include "ktPushPull.h"
#include "ktScatter.h"
#include "ktSourceWalk.h"

using namespace DD::Image;

namespace {

// What one worker measures of each slice in the first pass.
struct SliceExtent {
  int x0 = std::numeric_limits<int>::max(), y0 = std::numeric_limits<int>::max(), x1 = -1, y1 = -1;
  float nearDepth = std::numeric_limits<float>::infinity(),
        farDepth = -std::numeric_limits<float>::infinity();
  void merge(const SliceExtent& o) {
    x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0), x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
    nearDepth = std::min(nearDepth, o.nearDepth), farDepth = std::max(farDepth, o.farDepth);
  }
  bool used() const { return x1 >= x0; }
};

// Coverage from which a pixel counts as opaque: what lies behind it is hidden.
constexpr float kOpaque = 1e-3f;
// Coarse levels a layer keeps at most: a ray's share of the aperture spans 2^8 pixels at most.
constexpr int kMaxLevels = 8;
// Alpha below which a coarse pixel holds no colour of its own.
constexpr float kLevelAlpha = 1e-6f;

// The sizes of a width x height layer's coarse levels.
std::vector<std::pair<int, int>> levelSizes(int width, int height) {
  std::vector<std::pair<int, int>> sizes;
  while ((width > 1 || height > 1) && int(sizes.size()) < kMaxLevels) {
    width = (width + 1) / 2, height = (height + 1) / 2;
    sizes.emplace_back(width, height);
  }
  return sizes;
}

// Marks pixel i of the layer as carried on from elsewhere, not the input's own.
void markBorrowed(ktTraceLayer& layer, size_t i) {
  if (layer.own.empty()) layer.own.assign(size_t(layer.width) * size_t(layer.height), 1.0f);
  layer.own[i] = 0.0f;
}

// Halves `planes` planes of a width x height image read through `at(plane, x, y)`.
template <class At>
ktTraceLayer::Level halve(int width, int height, int planes, At at) {
  ktTraceLayer::Level level;
  level.width = (width + 1) / 2, level.height = (height + 1) / 2;
  const size_t area = size_t(level.width) * size_t(level.height);
  level.data.resize(area * size_t(planes));
  for (int p = 0; p < planes; ++p)
    for (int y = 0; y < level.height; ++y)
      for (int x = 0; x < level.width; ++x)
        level.data[size_t(p) * area + size_t(y) * size_t(level.width) + size_t(x)] =
            0.25f * (at(p, 2 * x, 2 * y) + at(p, 2 * x + 1, 2 * y) + at(p, 2 * x, 2 * y + 1) +
                     at(p, 2 * x + 1, 2 * y + 1));
  return level;
}

// Per slice, what the pieces of the current pixel have composited so far.
struct PixelSlice {
  float transmittance, weight, radius, spread;
};

class LayerBuilder {
 public:
  LayerBuilder(const ktRenderContext& ctx, DeepOp& deep, Iop& flat, Iop* mattes, ktTraceLayers& out)
      : ctx_(ctx),
        s_(*ctx.settings),
        deep_(deep),
        flat_(flat),
        mattes_(mattes),
        out_(out),
        slices_(std::max(1, s_.correctiveSlices)),
        request_(deepRequestSet(deep.deepInfo().channels(), s_.activeChannels)),
        depthChannel_(pieceDepthChannel(s_)),
        pass_(s_.integrateFrontAndBackSeperately ? focusOutputPass(s_.focusOutput) : DeepPass::All),
        aberration_(s_.kChrAbb != 0.0f) {}

  void measure(unsigned threads);
  bool allocate(double maxBytes);
  void fill(unsigned threads);
  void complete(unsigned threads);

 private:
  struct Worker {
    // Rows over the area's columns, host coordinates.
    Worker(int left, int right) : flat(left, right), mattes(left, right) {}
    DeepPlane plane;
    DeepOutPixel combined;
    Row flat;
    ktMatteRow mattes;
    std::vector<PixelSlice> pixel;
    std::vector<size_t> touched;  // the slices of the pixel being filled, one entry a piece
    std::vector<SliceExtent> extents;
    bool keepsHidden = false;
  };
  template <class Visit>
  void walkRow(Worker& w, int y, Visit&& visit);
  void fillPixel(Worker& w, int x, int y, const DeepPixel& pieces, const ChannelMap& offered);
  template <class Job>
  void run(unsigned threads, Job job);
  SliceExtent hiddenExtent(int slice, const SliceExtent& content) const;
  void continueSurfaces(size_t k);
  void completeLayer(ktTraceLayer& layer, int slice, float largestShift);
  void fillRadius(ktTraceLayer& layer);
  void fillHidden(ktTraceLayer& layer, int slice);
  void markTiles(ktTraceLayer& layer, float largestShift) const;
  void makeLevels(ktTraceLayer& layer) const;
  void perUnitAlpha(ktTraceLayer::Level& level) const;

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  DeepOp& deep_;
  Iop& flat_;
  Iop* mattes_;
  ktTraceLayers& out_;
  const int slices_;
  const ChannelSet request_;
  const Channel depthChannel_;
  const DeepPass pass_;  // the pieces the output keeps: the trace gathers one pass
  const bool aberration_;
  std::vector<SliceExtent> extents_;
  std::vector<int> layerOf_;  // by slice, -1 for a slice without layer
  std::vector<int> sliceOf_;  // by layer
  // By format pixel, the slice in which its pieces become opaque; layers of farther slices are
  // hidden there. The largest int where the pixel stays see-through.
  std::vector<int> opaqueIn_;
  // Whether the input keeps samples behind opaque ones: then an empty hidden pixel is known to
  // hold nothing, and no layer is continued behind nearer content.
  bool keepsHidden_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
};

template <class Job>
void LayerBuilder::run(unsigned threads, Job job) {
  struct Call {
    LayerBuilder* self;
    Job* job;
  } call{this, &job};
  while (workers_.size() < threads) workers_.push_back(std::make_unique<Worker>(out_.originX, out_.originX + out_.areaWidth));
  Thread::spawn(
      [](unsigned index, unsigned n, void* user) {
        Call& c = *static_cast<Call*>(user);
        for (int y = int(index); y < c.self->out_.areaHeight; y += int(n))
          (*c.job)(*c.self->workers_[index], y);
      },
      threads, &call);
  Thread::wait(&call);
}

// Calls visit(x, pieces, offered channels) for every pixel of area row y the deep input
// delivers, x in area pixels.
template <class Visit>
void LayerBuilder::walkRow(Worker& w, int y, Visit&& visit) {
  const int left = out_.originX, right = left + out_.areaWidth, hostY = y + out_.originY;
  if (!deep_.deepEngine(Box(left, hostY, right, hostY + 1), request_, w.plane)) return;
  const Box& box = w.plane.box();
  if (hostY < box.y() || hostY >= box.t()) return;
  const ktSampleLayout layout(w.plane.channels(), w.plane.channels());
  for (int x = std::max(left, box.x()); x < std::min(right, box.r()); ++x)
    visit(x - left, cutPieces(w.plane, layout, hostY, x, w.combined), w.plane.channels());
}

void LayerBuilder::measure(unsigned threads) {
  while (workers_.size() < threads) workers_.push_back(std::make_unique<Worker>(out_.originX, out_.originX + out_.areaWidth));
  for (auto& w : workers_) w->extents.assign(size_t(slices_), SliceExtent());
  opaqueIn_.assign(size_t(out_.areaWidth) * size_t(out_.areaHeight), std::numeric_limits<int>::max());
  run(threads, [this](Worker& w, int y) {
    walkRow(w, y, [&](int x, const DeepPixel& pieces, const ChannelMap&) {
      float covered = 0.0f;
      for (size_t j = 0; j < pieces.getSampleCount(); ++j) {
        const ktDeepPiece piece = deepPieceAt(ctx_, pieces, j, depthChannel_);
        if (!passKeeps(pass_, piece.coc.region) || !(piece.alpha != 0.0f)) continue;
        if (1.0f - covered < kOpaque) w.keepsHidden = true;
        covered += (1.0f - covered) * std::min(1.0f, std::fabs(piece.alpha));
        int& opaque = opaqueIn_[size_t(y) * size_t(out_.areaWidth) + size_t(x)];
        if (1.0f - covered < kOpaque) opaque = std::min(opaque, int(piece.slice));
        SliceExtent& e = w.extents[piece.slice];
        e.x0 = std::min(e.x0, x), e.x1 = std::max(e.x1, x), e.y0 = std::min(e.y0, y),
        e.y1 = std::max(e.y1, y);
        e.nearDepth = std::min(e.nearDepth, piece.coc.depth),
        e.farDepth = std::max(e.farDepth, piece.coc.depth);
      }
    });
  });
  extents_.assign(size_t(slices_), SliceExtent());
  for (const auto& w : workers_) {
    for (int s = 0; s < slices_; ++s) extents_[size_t(s)].merge(w->extents[size_t(s)]);
    keepsHidden_ = keepsHidden_ || w->keepsHidden;
  }
}

// The pixels of a slice's layer that nearer content hides, within the reach of any ray from the
// slice's content: a ray meets a layer at most the sum of two radii away from where it meets
// another.
SliceExtent LayerBuilder::hiddenExtent(int slice, const SliceExtent& content) const {
  float widest = 0.0f;
  for (const SliceExtent& e : extents_)
    if (e.used())
      for (float depth : {e.nearDepth, e.farDepth}) {
        const CocSample c = depthToCoc(s_, ctx_.kernelSizeLimit, depth, DepthKind::Deep);
        widest = std::max(widest, std::fabs(traceRadius(ctx_, c.coc, int(c.region), 1.0f)));
      }
  const int margin = int(std::ceil(2.0f * widest)) + 2;
  SliceExtent hidden;
  const int x0 = std::max(0, content.x0 - margin), x1 = std::min(out_.areaWidth - 1, content.x1 + margin);
  const int y0 = std::max(0, content.y0 - margin), y1 = std::min(out_.areaHeight - 1, content.y1 + margin);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (opaqueIn_[size_t(y) * size_t(out_.areaWidth) + size_t(x)] < slice)
        hidden.x0 = std::min(hidden.x0, x), hidden.x1 = std::max(hidden.x1, x),
        hidden.y0 = std::min(hidden.y0, y), hidden.y1 = std::max(hidden.y1, y);
  return hidden;
}

// Lays out the layers' boxes; allocates them when they fit in `maxBytes` (0: no limit).
bool LayerBuilder::allocate(double maxBytes) {
  const int planes = out_.spreadPlane() + (aberration_ ? 1 : 0);
  layerOf_.assign(size_t(slices_), -1);
  for (int s = 0; s < slices_; ++s) {
    const SliceExtent& e = extents_[size_t(s)];
    if (!e.used()) continue;
    SliceExtent box = e;
    if (!keepsHidden_) box.merge(hiddenExtent(s, e));
    ktTraceLayer layer;
    layer.slice = s;
    layer.x = box.x0 - 1, layer.y = box.y0 - 1, layer.width = box.x1 - box.x0 + 3,
    layer.height = box.y1 - box.y0 + 3;
    // The planes, and at most one more saying which pixels are the input's own.
    out_.bytes += double(layer.width) * double(layer.height) * double(planes + 1) * sizeof(float);
    for (const auto& [w, h] : levelSizes(layer.width, layer.height))
      out_.bytes += double(w) * double(h) * double(out_.alphaPlane()) * sizeof(float);
    layerOf_[size_t(s)] = int(out_.layers.size());
    sliceOf_.push_back(s);
    out_.layers.push_back(std::move(layer));
  }
  if (maxBytes > 0.0 && out_.bytes > maxBytes) {
    out_.layers.clear();
    return false;
  }
  for (ktTraceLayer& layer : out_.layers)
    layer.data.assign(size_t(layer.width) * size_t(layer.height) * size_t(planes), 0.0f);
  return true;
}

void LayerBuilder::fill(unsigned threads) {
  for (auto& w : workers_) w->pixel.assign(size_t(slices_), PixelSlice{1.0f, 0.0f, 0.0f, 0.0f});
  run(threads, [&](Worker& w, int y) {
    const int hostY = y + out_.originY;
    w.flat.get(flat_, hostY, out_.originX, out_.originX + out_.areaWidth, s_.activeChannels);
    w.mattes.fetch(ctx_, mattes_, hostY);
    walkRow(w, y, [&](int x, const DeepPixel& pieces, const ChannelMap& offered) {
      fillPixel(w, x, y, pieces, offered);
    });
  });
}

// After the fill: surfaces continued across slice boundaries, then each layer on its own, the
// largest first, on as many threads as there are layers.
void LayerBuilder::complete(unsigned threads) {
  for (size_t k = out_.layers.size(); k-- > 0;) continueSurfaces(k);
  float largestShift = 0.0f;
  for (float k : out_.shifts) largestShift = std::max(largestShift, std::fabs(k));
  std::vector<size_t> order(out_.layers.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  auto area = [&](size_t k) { return size_t(out_.layers[k].width) * size_t(out_.layers[k].height); };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return area(a) > area(b); });
  threads = unsigned(std::max<size_t>(1, std::min<size_t>(threads, order.size())));
  std::vector<std::exception_ptr> failures(threads);
  struct Call {
    LayerBuilder* self;
    const std::vector<size_t>* order;
    float largestShift;
    std::vector<std::exception_ptr>* failures;
    std::atomic<size_t> next{0};
  } call{this, &order, largestShift, &failures};
  Thread::spawn(
      [](unsigned index, unsigned, void* user) {
        Call& c = *static_cast<Call*>(user);
        try {
          for (size_t i = c.next++; i < c.order->size(); i = c.next++) {
            const size_t k = (*c.order)[i];
            c.self->completeLayer(c.self->out_.layers[k], c.self->sliceOf_[k], c.largestShift);
          }
        } catch (...) {
          (*c.failures)[index] = std::current_exception();  // handed to the caller, not the host's thread
        }
      },
      threads, &call);
  Thread::wait(&call);
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

// A layer's radius where it is empty, its content behind nearer content, its reach (its largest
// radius and the largest chromatic shift it can add), its tiles and its levels.
void LayerBuilder::completeLayer(ktTraceLayer& layer, int slice, float largestShift) {
  fillRadius(layer);
  if (!keepsHidden_) fillHidden(layer, slice);
  const size_t area = size_t(layer.width) * size_t(layer.height);
  float radius = 0.0f, spread = 0.0f;
  const float* radii = layer.plane(out_.radiusPlane());
  layer.uniform = std::all_of(radii, radii + area, [&](float r) { return r == radii[0]; });
  for (size_t i = 0; i < area; ++i) radius = std::max(radius, std::fabs(radii[i]));
  if (aberration_)
    for (size_t i = 0; i < area; ++i) spread = std::max(spread, layer.plane(out_.spreadPlane())[i]);
  layer.reach = radius + largestShift * spread;
  markTiles(layer, largestShift);
  makeLevels(layer);
}

// The first level reads the layer as the gather does: the area's edge pixels repeat beyond it.
void LayerBuilder::makeLevels(ktTraceLayer& layer) const {
  layer.levels.clear();
  const int planes = out_.alphaPlane() + 1;
  const int x0 = std::max(0, -layer.x), x1 = std::min(layer.width, out_.areaWidth - layer.x) - 1;
  const int y0 = std::max(0, -layer.y), y1 = std::min(layer.height, out_.areaHeight - layer.y) - 1;
  if (x1 < x0 || y1 < y0) return;
  const size_t area = size_t(layer.width) * size_t(layer.height);
  const size_t levels = levelSizes(layer.width, layer.height).size();
  for (size_t k = 0; k < levels; ++k) {
    if (k == 0) {
      layer.levels.push_back(halve(layer.width, layer.height, planes, [&](int p, int x, int y) {
        x = std::min(std::max(x, x0), x1), y = std::min(std::max(y, y0), y1);
        return layer.data[size_t(p) * area + size_t(y) * size_t(layer.width) + size_t(x)];
      }));
      continue;
    }
    const ktTraceLayer::Level& fine = layer.levels.back();
    layer.levels.push_back(halve(fine.width, fine.height, planes, [&](int p, int x, int y) {
      x = std::min(x, fine.width - 1), y = std::min(y, fine.height - 1);
      return fine.plane(p)[size_t(y) * size_t(fine.width) + size_t(x)];
    }));
  }
  for (ktTraceLayer::Level& level : layer.levels) perUnitAlpha(level);
}

// A level's colour per unit of its alpha, carried on into its empty pixels from the nearest
// content; its alpha plane is dropped. A ray times it by the alpha at its own point.
void LayerBuilder::perUnitAlpha(ktTraceLayer::Level& level) const {
  const size_t area = size_t(level.width) * size_t(level.height);
  const int colours = out_.alphaPlane();
  std::vector<float> weight(level.plane(colours), level.plane(colours) + area);
  std::vector<uint8_t> holes(area);
  std::vector<float*> planes;
  for (int p = 0; p < colours; ++p) planes.push_back(level.data.data() + size_t(p) * area);
  for (size_t i = 0; i < area; ++i) {
    holes[i] = !(weight[i] > kLevelAlpha);
    if (holes[i]) weight[i] = 0.0f;
    for (float* plane : planes) plane[i] = holes[i] ? 0.0f : plane[i] / weight[i];
  }
  pushPull(level.width, level.height, planes, weight.data(), holes.data());
  level.data.resize(area * size_t(colours));
  level.data.shrink_to_fit();
}

// An alpha from which a pixel counts as opaque: no ray passes it.
constexpr float kOpaqueAlpha = 1.0f - 1e-6f;

// Turns (tilesX + 1) x (tilesY + 1) marks, row 0 and column 0 zero, into their summed-area table.
void summedArea(std::vector<int>& table, int tilesX, int tilesY) {
  const size_t stride = size_t(tilesX) + 1;
  for (size_t ty = 1; ty <= size_t(tilesY); ++ty)
    for (size_t tx = 1; tx <= size_t(tilesX); ++tx)
      table[ty * stride + tx] += table[(ty - 1) * stride + tx] + table[ty * stride + tx - 1] -
                                 table[(ty - 1) * stride + tx - 1];
}

void LayerBuilder::markTiles(ktTraceLayer& layer, float largestShift) const {
  const int t = ktTraceLayer::kTile;
  layer.tilesX = (layer.width + t - 1) / t, layer.tilesY = (layer.height + t - 1) / t;
  const size_t stride = size_t(layer.tilesX) + 1, area = size_t(layer.width) * size_t(layer.height);
  layer.occupied.assign(stride * (size_t(layer.tilesY) + 1), 0);
  // Every tile opaque until one of its pixels is not; tiles borrow only where the layer does.
  layer.opaque.assign(layer.occupied.size(), 0);
  for (int ty = 0; ty < layer.tilesY; ++ty)
    for (int tx = 0; tx < layer.tilesX; ++tx) layer.opaque[size_t(ty + 1) * stride + size_t(tx + 1)] = 1;
  layer.borrowed.assign(layer.own.empty() ? 0 : layer.occupied.size(), 0);
  std::vector<float> own(size_t(layer.tilesX) * size_t(layer.tilesY), -1.0f);  // -1: no content
  const float* radius = layer.plane(out_.radiusPlane());
  for (int y = 0; y < layer.height; ++y)
    for (int x = 0; x < layer.width; ++x) {
      const size_t i = size_t(y) * size_t(layer.width) + size_t(x);
      const size_t tile = size_t(y / t + 1) * stride + size_t(x / t + 1);
      bool content = false;
      for (int p = 0; p <= out_.alphaPlane(); ++p) {
        const float v = layer.data[size_t(p) * area + i];
        content = content || v != 0.0f;
        layer.negative = layer.negative || (p < out_.alphaPlane() && v < 0.0f);
      }
      if (!(layer.data[size_t(out_.alphaPlane()) * area + i] >= kOpaqueAlpha)) layer.opaque[tile] = 0;
      if (!layer.own.empty() && layer.own[i] < 1.0f) layer.borrowed[tile] = 1;
      if (!content) continue;
      layer.occupied[tile] = 1;
      const float spread = aberration_ ? layer.plane(out_.spreadPlane())[i] : 0.0f;
      float& r = own[size_t(y / t) * size_t(layer.tilesX) + size_t(x / t)];
      r = std::max(r, std::fabs(radius[i]) + largestShift * spread);
    }
  for (std::vector<int>* table : {&layer.occupied, &layer.opaque, &layer.borrowed})
    if (!table->empty()) summedArea(*table, layer.tilesX, layer.tilesY);
  // Each tile's content reaches the tiles within its radius (and one more for the reads between
  // pixels): a pixel there may meet it.
  layer.tileReach.assign(own.size(), -1.0f);
  for (int ty = 0; ty < layer.tilesY; ++ty)
    for (int tx = 0; tx < layer.tilesX; ++tx) {
      const float r = own[size_t(ty) * size_t(layer.tilesX) + size_t(tx)];
      if (r < 0.0f) continue;
      const int around = int(std::ceil((r + 1.0f) / float(t))) + 1;
      for (int y = std::max(0, ty - around); y <= std::min(layer.tilesY - 1, ty + around); ++y)
        for (int x = std::max(0, tx - around); x <= std::min(layer.tilesX - 1, tx + around); ++x) {
          float& to = layer.tileReach[size_t(y) * size_t(layer.tilesX) + size_t(x)];
          to = std::max(to, r);
        }
    }
}

// A surface whose depth crosses a slice boundary falls into two layers with complementary
// masks; read between pixels, each gives half its alpha, and together they would let light
// through. So a layer takes, in the empty pixels next to its content, what the nearest nearer
// layer holds there when its radius continues that of the content: the copy lies behind the
// original and shows only through the gap. Run farthest first, so copies are never copied.
void LayerBuilder::continueSurfaces(size_t k) {
  ktTraceLayer& layer = out_.layers[k];
  const size_t area = size_t(layer.width) * size_t(layer.height);
  const int planes = out_.spreadPlane() + (aberration_ ? 1 : 0);
  const std::vector<float> alpha(layer.plane(out_.alphaPlane()), layer.plane(out_.alphaPlane()) + area);
  const float* radius = layer.plane(out_.radiusPlane());
  for (int y = 0; y < layer.height; ++y)
    for (int x = 0; x < layer.width; ++x) {
      const size_t i = size_t(y) * size_t(layer.width) + size_t(x);
      const int fx = layer.x + x, fy = layer.y + y;
      if (alpha[i] != 0.0f || fx < 0 || fy < 0 || fx >= out_.areaWidth || fy >= out_.areaHeight) continue;
      float beside = std::numeric_limits<float>::quiet_NaN();
      for (int dy = -1; dy <= 1 && std::isnan(beside); ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          const size_t n = size_t(ny) * size_t(layer.width) + size_t(nx);
          if (nx >= 0 && ny >= 0 && nx < layer.width && ny < layer.height && alpha[n] != 0.0f) {
            beside = radius[n];
            break;
          }
        }
      if (std::isnan(beside)) continue;
      for (size_t j = k; j-- > 0;) {
        const ktTraceLayer& nearer = out_.layers[j];
        const int nx = fx - nearer.x, ny = fy - nearer.y;
        if (nx < 0 || ny < 0 || nx >= nearer.width || ny >= nearer.height) continue;
        const size_t n = size_t(ny) * size_t(nearer.width) + size_t(nx),
                     nearerArea = size_t(nearer.width) * size_t(nearer.height);
        if (nearer.data[size_t(out_.alphaPlane()) * nearerArea + n] == 0.0f) continue;
        const float r = nearer.data[size_t(out_.radiusPlane()) * nearerArea + n];
        if (std::fabs(r - beside) <= 1.0f + 0.1f * std::max(std::fabs(r), std::fabs(beside))) {
          for (int p = 0; p < planes; ++p)
            layer.data[size_t(p) * area + i] = nearer.data[size_t(p) * nearerArea + n];
          markBorrowed(layer, i);
        }
        break;
      }
    }
}

// Where a layer is empty, a ray must still find where it meets the layer's content: the radius
// (and spread) there is that of the nearest content, blended between contents by distance.
void LayerBuilder::fillRadius(ktTraceLayer& layer) {
  const size_t area = size_t(layer.width) * size_t(layer.height);
  std::vector<float*> planes{layer.data.data() + size_t(out_.radiusPlane()) * area};
  if (aberration_) planes.push_back(layer.data.data() + size_t(out_.spreadPlane()) * area);
  std::vector<float> weight(layer.plane(out_.alphaPlane()), layer.plane(out_.alphaPlane()) + area);
  std::vector<uint8_t> holes(area);
  for (size_t i = 0; i < area; ++i) weight[i] = std::fabs(weight[i]), holes[i] = weight[i] == 0.0f;
  pushPull(layer.width, layer.height, planes, weight.data(), holes.data());
}

// Values above 1 are taken to 1 + their log while a hole is filled, and back after: the compression
// is continuous in value and slope at 1 and leaves darker values as they are.
void compressHighlight(float& v) {
  if (v > 1.0f) v = 1.0f + std::log(v);
}
void expandHighlight(float& v) {
  if (v > 1.0f) v = std::exp(v - 1.0f);
}

// A renderer stores nothing behind an opaque sample, so a layer is empty wherever nearer content
// covered it; a ray passing beside that content would escape there. The layer continues behind
// it: colour and alpha of its hidden empty pixels come from the layer's pixels along the rim of
// the hidden region (transparent ones included), as a membrane stretched over the hole would.
// What lies farther from the rim, such as a light a few pixels beside an occluder, stays where
// it is and is not smeared behind it.
void LayerBuilder::fillHidden(ktTraceLayer& layer, int slice) {
  const size_t area = size_t(layer.width) * size_t(layer.height);
  const float* alpha = layer.plane(out_.alphaPlane());
  std::vector<uint8_t> holes(area, 0), outside(area, 0);
  bool any = false;
  for (int y = 0; y < layer.height; ++y)
    for (int x = 0; x < layer.width; ++x) {
      const int fx = layer.x + x, fy = layer.y + y;
      const size_t i = size_t(y) * size_t(layer.width) + size_t(x);
      outside[i] = fx < 0 || fy < 0 || fx >= out_.areaWidth || fy >= out_.areaHeight;
      holes[i] = !outside[i] && alpha[i] == 0.0f &&
                 opaqueIn_[size_t(fy) * size_t(out_.areaWidth) + size_t(fx)] < slice;
      any = any || holes[i];
    }
  if (!any) return;
  // An infinite value on the rim would make every hole it reaches infinite or NaN: it is left out.
  auto finite = [&](size_t i) {
    for (int p = 0; p <= out_.alphaPlane(); ++p)
      if (!std::isfinite(layer.data[size_t(p) * area + i])) return false;
    return true;
  };
  std::vector<float> rim(area, 0.0f);
  for (int y = 0; y < layer.height; ++y)
    for (int x = 0; x < layer.width; ++x) {
      const size_t i = size_t(y) * size_t(layer.width) + size_t(x);
      if (holes[i] || outside[i] || !finite(i)) continue;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx >= 0 && ny >= 0 && nx < layer.width && ny < layer.height &&
              holes[size_t(ny) * size_t(layer.width) + size_t(nx)])
            rim[i] = 1.0f;
        }
    }
  std::vector<float*> planes;
  for (int p = 0; p <= out_.alphaPlane(); ++p) planes.push_back(layer.data.data() + size_t(p) * area);
  // The rim's colours blend with their highlights compressed, so a light on the rim does not
  // flood the hole it borders; the rim keeps its own values.
  std::vector<float> kept;
  for (size_t i = 0; i < area; ++i)
    if (rim[i] > 0.0f)
      for (int p = 0; p < out_.alphaPlane(); ++p)
        kept.push_back(planes[size_t(p)][i]), compressHighlight(planes[size_t(p)][i]);
  pushPull(layer.width, layer.height, planes, rim.data(), holes.data());
  for (size_t i = 0, k = 0; i < area; ++i) {
    if (rim[i] > 0.0f)
      for (int p = 0; p < out_.alphaPlane(); ++p) planes[size_t(p)][i] = kept[k++];
    if (!holes[i]) continue;
    for (int p = 0; p < out_.alphaPlane(); ++p) expandHighlight(planes[size_t(p)][i]);
    markBorrowed(layer, i);
  }
}

// Composites the pixel's pieces into the layers of their slices, nearest first: colour and alpha
// over what the slice holds, radius and spread as the mean of the pieces weighted by what each adds.
void LayerBuilder::fillPixel(Worker& w, int x, int y, const DeepPixel& pieces, const ChannelMap& offered) {
  const int hostX = x + out_.originX, hostY = y + out_.originY;
  const ktPixelMattes m = w.mattes.at(hostX);
  const float bloom = scatter::bloomLevel(s_, ctx_.format, hostX, hostY) * m.bloom;
  const size_t count = pieces.getSampleCount();
  w.touched.clear();
  for (size_t j = 0; j < count; ++j) {
    const ktDeepPiece piece = deepPieceAt(ctx_, pieces, j, depthChannel_);
    w.touched.push_back(piece.slice);
    const float alpha = piece.alpha;
    if (!passKeeps(pass_, piece.coc.region) || !(alpha != 0.0f)) continue;
    PixelSlice& p = w.pixel[piece.slice];
    if (p.transmittance < ktDeepWalk::kCoveredEpsilon) continue;
    ktTraceLayer& layer = out_.layers[size_t(layerOf_[piece.slice])];
    const size_t area = size_t(layer.width) * size_t(layer.height);
    float* at = layer.data.data() + size_t(y - layer.y) * size_t(layer.width) + size_t(x - layer.x);
    const float share = p.transmittance * alpha;
    for (size_t c = 0; c < out_.channels.size(); ++c) {
      const Channel z = Channel(out_.channels[c]);
      const float v = pieceValue(pieces, j, z, alpha, offered.contains(z), w.flat[z][hostX]);
      at[c * area] += share * scatter::scatteredValue(s_, z, v, bloom);
    }
    at[size_t(out_.alphaPlane()) * area] += share;
    p.radius += share * traceRadius(ctx_, piece.coc.coc, int(piece.coc.region), m.defocus);
    p.spread +=
        share * scatter::aberrationSpread(scatter::kernelSize(piece.coc.coc, m.defocus), m.aberration);
    p.weight += share;
    p.transmittance *= 1.0f - alpha;
  }
  // Radius and spread of every slice this pixel touched; the per-slice state back to empty.
  for (size_t slice : w.touched) {
    PixelSlice& p = w.pixel[slice];
    if (p.weight > 0.0f) {
      ktTraceLayer& layer = out_.layers[size_t(layerOf_[slice])];
      const size_t area = size_t(layer.width) * size_t(layer.height);
      float* at = layer.data.data() + size_t(y - layer.y) * size_t(layer.width) + size_t(x - layer.x);
      at[size_t(out_.radiusPlane()) * area] = p.radius / p.weight;
      if (aberration_) at[size_t(out_.spreadPlane()) * area] = p.spread / p.weight;
    }
    p = PixelSlice{1.0f, 0.0f, 0.0f, 0.0f};
  }
}

}  // namespace

float traceRadius(const ktRenderContext& ctx, float coc, int region, float defocusMatte) {
  const float widest = float(scatter::bankWidth(ctx.kernelSizeLimit + kKernelBankMargin - 1));
  float diameter = scatter::kernelSize(coc, defocusMatte);
  diameter = std::isnan(diameter) ? widest : std::min(diameter, widest);
  // The disc's rim lies where the scatter engines' kernel of that diameter ends; below two
  // pixels it shrinks to nothing at one, which leaves a sharp pixel as it is.
  const float radius = diameter >= 2.0f ? 0.5f * diameter : diameter - 1.0f;
  return region == int(FocusRegion::Front) ? -radius : radius;
}

ktTraceLayers buildTraceLayers(const ktRenderContext& ctx, DeepOp& deep, Iop& flat, Iop* mattes,
                               unsigned threads, double maxBytes) {
  const ktOrvelSettings& s = *ctx.settings;
  ktTraceLayers out;
  const Box area = deepSourceArea(ctx, deep);
  out.originX = area.x(), out.originY = area.y(), out.areaWidth = area.w(), out.areaHeight = area.h();
  for (Channel z : s.activeChannels)
    if (z != Chan_Alpha && z != Chan_DeepFront && z != Chan_DeepBack) out.channels.push_back(int(z));
  if (s.kChrAbb != 0.0f) {
    // The shift per unit of spread of each plane.
    for (int z : out.channels) out.shifts.push_back(scatter::chromaticShiftAt(s, Channel(z), 1.0f));
    out.shifts.push_back(scatter::chromaticShiftAt(s, Chan_Alpha, 1.0f));
  }
  if (out.areaWidth <= 0 || out.areaHeight <= 0) return out;
  threads = std::max(1u, threads);
  LayerBuilder builder(ctx, deep, flat, mattes, out);
  builder.measure(threads);
  if (!builder.allocate(maxBytes)) return out;
  builder.fill(threads);
  builder.complete(threads);
#ifdef __GLIBC__
  // The completion's scratch, freed on the worker threads, would stay in their heaps through the
  // render: it goes back to the system.
  malloc_trim(0);
#endif
  out.built = true;
  return out;
}
