#include "ktTraceLayers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"
#include "DDImage/Row.h"
#include "DDImage/Thread.h"
#include "ktCombineSamples.h"
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
        request_(deepRequestSet(deep.deepInfo().channels(), s_.activeChannels + Chan_Alpha)),
        depthChannel_(pieceDepthChannel(s_)),
        aberration_(s_.kChrAbb != 0.0f) {}

  void measure(unsigned threads);
  void allocate();
  void fill(unsigned threads);

 private:
  struct Worker {
    explicit Worker(int width) : flat(0, width), mattes(0, width) {}
    DeepPlane plane;
    DeepOutPixel combined;
    Row flat, mattes;
    std::vector<PixelSlice> pixel;
    std::vector<size_t> touched;  // the slices of the pixel being filled, one entry a piece
    std::vector<SliceExtent> extents;
  };
  template <class Visit>
  void walkRow(Worker& w, int y, Visit&& visit);
  void fillPixel(Worker& w, int x, int y, const DeepPixel& pieces, const ChannelMap& offered);
  template <class Job>
  void run(unsigned threads, Job job);

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  DeepOp& deep_;
  Iop& flat_;
  Iop* mattes_;
  ktTraceLayers& out_;
  const int slices_;
  const ChannelSet request_;
  const Channel depthChannel_;
  const bool aberration_;
  std::vector<SliceExtent> extents_;
  std::vector<int> layerOf_;  // by slice, -1 for a slice without layer
  std::vector<std::unique_ptr<Worker>> workers_;
};

template <class Job>
void LayerBuilder::run(unsigned threads, Job job) {
  struct Call {
    LayerBuilder* self;
    Job* job;
  } call{this, &job};
  while (workers_.size() < threads) workers_.push_back(std::make_unique<Worker>(out_.formatWidth));
  Thread::spawn(
      [](unsigned index, unsigned n, void* user) {
        Call& c = *static_cast<Call*>(user);
        for (int y = int(index); y < c.self->out_.formatHeight; y += int(n))
          (*c.job)(*c.self->workers_[index], y);
      },
      threads, &call);
  Thread::wait(&call);
}

// Calls visit(x, pieces, offered channels) for every pixel of row y the deep input delivers.
template <class Visit>
void LayerBuilder::walkRow(Worker& w, int y, Visit&& visit) {
  const int width = out_.formatWidth;
  if (!deep_.deepEngine(Box(0, y, width, y + 1), request_, w.plane)) return;
  const Box& box = w.plane.box();
  if (y < box.y() || y >= box.t()) return;
  for (int x = std::max(0, box.x()); x < std::min(width, box.r()); ++x) {
    w.combined.clear();
    combineSamples(w.plane.channels(), w.plane.getPixel(y, x), w.combined);
    visit(x, w.combined.getPixel(w.plane.channels(), DeepPixel::eZAscending), w.plane.channels());
  }
}

// The pieces the output keeps: with front and back integrated separately, only the region the
// focus output names.
bool keeps(const ktOrvelSettings& s, FocusRegion region) {
  if (!s.integrateFrontAndBackSeperately || s.focusOutput == kFocusBoth) return true;
  return region == (s.focusOutput == kFocusFront ? FocusRegion::Front : FocusRegion::Back);
}

void LayerBuilder::measure(unsigned threads) {
  while (workers_.size() < threads) workers_.push_back(std::make_unique<Worker>(out_.formatWidth));
  for (auto& w : workers_) w->extents.assign(size_t(slices_), SliceExtent());
  run(threads, [this](Worker& w, int y) {
    walkRow(w, y, [&](int x, const DeepPixel& pieces, const ChannelMap&) {
      for (size_t j = 0; j < pieces.getSampleCount(); ++j) {
        const ktDeepPiece piece = deepPieceAt(ctx_, pieces, j, depthChannel_);
        if (!keeps(s_, piece.coc.region) || !(pieces.getUnorderedSample(j, Chan_Alpha) != 0.0f)) continue;
        SliceExtent& e = w.extents[piece.slice];
        e.x0 = std::min(e.x0, x), e.x1 = std::max(e.x1, x), e.y0 = std::min(e.y0, y),
        e.y1 = std::max(e.y1, y);
        e.nearDepth = std::min(e.nearDepth, piece.coc.depth),
        e.farDepth = std::max(e.farDepth, piece.coc.depth);
      }
    });
  });
  extents_.assign(size_t(slices_), SliceExtent());
  for (const auto& w : workers_)
    for (int s = 0; s < slices_; ++s) extents_[size_t(s)].merge(w->extents[size_t(s)]);
}

void LayerBuilder::allocate() {
  const int planes = out_.spreadPlane() + (aberration_ ? 1 : 0);
  layerOf_.assign(size_t(slices_), -1);
  for (int s = 0; s < slices_; ++s) {
    const SliceExtent& e = extents_[size_t(s)];
    if (!e.used()) continue;
    ktTraceLayer layer;
    layer.x = e.x0 - 1, layer.y = e.y0 - 1, layer.width = e.x1 - e.x0 + 3, layer.height = e.y1 - e.y0 + 3;
    const CocSample middle =
        depthToCoc(s_, ctx_.kernelSizeLimit, 0.5f * (e.nearDepth + e.farDepth), DepthKind::Deep);
    layer.emptyRadius = traceRadius(ctx_, middle.coc, int(middle.region), 1.0f);
    const size_t area = size_t(layer.width) * size_t(layer.height);
    layer.data.assign(area * size_t(planes), 0.0f);
    std::fill(layer.data.begin() + std::ptrdiff_t(area) * out_.radiusPlane(),
              layer.data.begin() + std::ptrdiff_t(area) * (out_.radiusPlane() + 1), layer.emptyRadius);
    layerOf_[size_t(s)] = int(out_.layers.size());
    out_.layers.push_back(std::move(layer));
  }
}

void LayerBuilder::fill(unsigned threads) {
  for (auto& w : workers_) w->pixel.assign(size_t(slices_), PixelSlice{1.0f, 0.0f, 0.0f, 0.0f});
  run(threads, [&](Worker& w, int y) {
    const int width = out_.formatWidth;
    w.flat.get(flat_, y, 0, width, s_.activeChannels);
    if (mattes_ && !ctx_.matteChannels.empty()) w.mattes.get(*mattes_, y, 0, width, ctx_.matteChannels);
    walkRow(w, y, [&](int x, const DeepPixel& pieces, const ChannelMap& offered) {
      fillPixel(w, x, y, pieces, offered);
    });
  });
  // Each layer's reach: its largest radius, and the largest chromatic shift it can add.
  float largestShift = 0.0f;
  for (float k : out_.shifts) largestShift = std::max(largestShift, std::fabs(k));
  for (ktTraceLayer& layer : out_.layers) {
    const size_t area = size_t(layer.width) * size_t(layer.height);
    float radius = 0.0f, spread = 0.0f;
    const float* radii = layer.plane(out_.radiusPlane());
    layer.uniform = std::all_of(radii, radii + area, [&](float r) { return r == radii[0]; });
    for (size_t i = 0; i < area; ++i) radius = std::max(radius, std::fabs(radii[i]));
    if (aberration_)
      for (size_t i = 0; i < area; ++i) spread = std::max(spread, layer.plane(out_.spreadPlane())[i]);
    layer.reach = radius + largestShift * spread;
  }
}

// Composites the pixel's pieces into the layers of their slices, nearest first: colour and alpha
// over what the slice holds, radius and spread as the mean of the pieces weighted by what each adds.
void LayerBuilder::fillPixel(Worker& w, int x, int y, const DeepPixel& pieces, const ChannelMap& offered) {
  const bool haveMattes = mattes_ && !ctx_.matteChannels.empty();
  const float mB = haveMattes && ctx_.hasBloomMatte ? w.mattes[s_.bloomMatteChannel][x] : 1.0f;
  const float mD = haveMattes && ctx_.hasDefocusMatte ? w.mattes[s_.defocusMatteChannel][x] : 1.0f;
  const float mA =
      haveMattes && ctx_.hasChromicAberrationMatte ? w.mattes[s_.chromicAberrationMatteChannel][x] : 1.0f;
  const float bloom = scatter::bloomLevel(s_, ctx_.format, x, y) * mB;
  const size_t count = pieces.getSampleCount();
  w.touched.clear();
  for (size_t j = 0; j < count; ++j) {
    const ktDeepPiece piece = deepPieceAt(ctx_, pieces, j, depthChannel_);
    w.touched.push_back(piece.slice);
    const float alpha = pieces.getUnorderedSample(j, Chan_Alpha);
    if (!keeps(s_, piece.coc.region) || !(alpha != 0.0f)) continue;
    PixelSlice& p = w.pixel[piece.slice];
    if (p.transmittance < ktDeepWalk::kCoveredEpsilon) continue;
    ktTraceLayer& layer = out_.layers[size_t(layerOf_[piece.slice])];
    const size_t area = size_t(layer.width) * size_t(layer.height);
    float* at = layer.data.data() + size_t(y - layer.y) * size_t(layer.width) + size_t(x - layer.x);
    const float share = p.transmittance * alpha;
    for (size_t c = 0; c < out_.channels.size(); ++c) {
      const Channel z = Channel(out_.channels[c]);
      const float v = offered.contains(z) ? pieces.getUnorderedSample(j, z) / alpha : w.flat[z][x];
      at[c * area] += share * scatter::scatteredValue(s_, z, v, bloom);
    }
    at[size_t(out_.alphaPlane()) * area] += share;
    const float size = scatter::kernelSize(piece.coc.coc, mD);
    p.radius += share * traceRadius(ctx_, piece.coc.coc, int(piece.coc.region), mD);
    p.spread += share * std::max(0.0f, size * mA * 0.5f - 1.0f);
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
  const float widest = float(scatter::bankWidth(ctx.kernelSizeLimit + 4));
  float diameter = coc * defocusMatte;
  if (std::isnan(diameter)) diameter = widest;
  diameter = std::min(std::max(diameter, 1.0f), widest);
  // The disc's rim lies where the scatter engines' kernel of that diameter ends; below two
  // pixels it shrinks to nothing at one, which leaves a sharp pixel as it is.
  const float radius = diameter >= 2.0f ? 0.5f * diameter : diameter - 1.0f;
  return region == int(FocusRegion::Front) ? -radius : radius;
}

ktTraceLayers buildTraceLayers(const ktRenderContext& ctx, DeepOp& deep, Iop& flat, Iop* mattes,
                               unsigned threads) {
  const ktOrvelSettings& s = *ctx.settings;
  ktTraceLayers out;
  out.formatWidth = ctx.format.r() - ctx.format.x();
  out.formatHeight = ctx.format.t() - ctx.format.y();
  for (Channel z : s.activeChannels)
    if (z != Chan_Alpha && z != Chan_DeepFront && z != Chan_DeepBack) out.channels.push_back(int(z));
  if (s.kChrAbb != 0.0f) {
    // chromaticShift at a size of 4 and matte 1 has a spread of exactly 1: its factor per channel.
    for (int z : out.channels) out.shifts.push_back(scatter::chromaticShift(s, Channel(z), 4.0f, 1.0f));
    out.shifts.push_back(scatter::chromaticShift(s, Chan_Alpha, 4.0f, 1.0f));
  }
  if (out.formatWidth <= 0 || out.formatHeight <= 0) return out;
  threads = std::max(1u, threads);
  LayerBuilder builder(ctx, deep, flat, mattes, out);
  builder.measure(threads);
  builder.allocate();
  builder.fill(threads);
  out.built = true;
  return out;
}
