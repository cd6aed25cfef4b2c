#include "ktFastDefocus.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ktScatter.h"
#include "ktSimdTarget.h"
#include "ktSweeps.h"

using namespace DD::Image;

namespace {

constexpr int kMaxShared = ktSourceMap::kSharedChannels;

// The fast engine's slice rows: made as scatters reach their slice; with kernels shared by
// every channel, one weight row a slice and difference rows for the column sweeps.
ktSliceBuffers::Options sliceOptions(bool sharedKernels) {
  ktSliceBuffers::Options options;
  options.sharedWeights = sharedKernels;
  options.onFirstUse = true;
  options.differences = sharedKernels;
  return options;
}

// The scatter of one output row from the map.
class FastRowScatter {
 public:
  FastRowScatter(const ktRenderContext& ctx, const ktSourceBands& bands, const ktSourceBands::Window& window,
                 int y, int x, int r, const ChannelSet& blurred, ktRowScratch& scratch)
      : s_(*ctx.settings),
        bank_(*ctx.kernels),
        bands_(bands),
        kernels_(bands.kernelRows()),
        window_(window),
        y_(y),
        x_(x),
        r_(r),
        padding_(std::max(0, ctx.padding)),
        shared_(kernels_.shared()),
        buffers_(scratch.slices),
        channels_(buffers_.channels()),
        valueIndex_(scratch.valueIndex) {
    applySimdTargetFromEnvironment();
    buffers_.reset(std::max(1, s_.correctiveSlices), blurred, x, r, sliceOptions(shared_));
    // Where each blurred channel's value sits among the active channels' values.
    valueIndex_.clear();
    int position = 0;
    for (Channel z : ctx.settings->activeChannels) {
      if (blurred.contains(z)) valueIndex_.push_back(position);
      ++position;
    }
  }

  void scatterSourceRow(int sy) {
    const int cy = bands_.clampRow(sy);
    map_ = &window_.band(cy);
    const int dy = std::abs(sy - y_);
    if (map_->rowReach(cy) < dy || channels_.empty()) return;
    if (map_->hasStretches()) {
      scatterStretches(sy, cy, dy);
      return;
    }
    const int16_t* reach = map_->reach(cy);
    const uint32_t* first = map_->first(cy);
    const int16_t* scatterReach = map_->scatterReach();
    const int16_t* blockReach = map_->blockReach(cy);
    const int left = x_ - padding_, right = r_ + padding_;
    // Whole blocks of positions whose kernels stay short of the row are passed over.
    const int x0 = map_->x0();
    for (int b = (left - x0) / ktSourceMap::kBlock; x0 + b * ktSourceMap::kBlock < right; ++b) {
      if (blockReach[b] < dy) continue;
      const int from = std::max(left, x0 + b * ktSourceMap::kBlock);
      const int to = std::min(right, x0 + (b + 1) * ktSourceMap::kBlock);
      for (int sx = from; sx < to; ++sx) {
        const int most = reach[sx];
        if (most < dy || sx + most < x_ || sx - most >= r_) continue;
        for (uint32_t i = first[sx]; i < first[sx + 1]; ++i)
          if (scatterReach[i] >= dy) scatterEach(i, sx, sy);
      }
    }
  }

  // The stretches of a row, each clipped to the source window.
  void scatterStretches(int sy, int cy, int dy) {
    const int left = x_ - padding_, right = r_ + padding_;
    for (const ktSourceMap::Stretch* st = map_->stretchesBegin(cy); st != map_->stretchesEnd(cy); ++st) {
      if (st->reach < dy) continue;
      const int from = std::max(st->sx0, left), to = std::min(st->sx0 + st->count, right);
      if (to <= from || to - 1 + st->reach < x_ || from - st->reach >= r_) continue;
      const uint32_t member = st->first + uint32_t(from - st->sx0);
      if (st->finite)
        addStretch(*st, member, from, to - from, sy);
      else
        scatterAlone(*st, map_->memberScales(member), sy);
    }
  }

  // Each pass that reaches the row goes column by column or member by member, whichever costs
  // less; the member by member passes share one sweep.
  void addStretch(const ktSourceMap::Stretch& stretch, uint32_t member, int sx0, int count, int sy) {
    const int channels = static_cast<int>(channels_.size());
    const uint16_t slice = stretch.slice;
    StretchRow s;
    s.count = count;
    s.passes = 0;
    s.sx0 = sx0;
    s.x = x_;
    s.r = r_;
    s.start = r_;
    s.end = x_;
    for (int q = 0; q < 2; ++q) {
      const ktKernelRows::Kernel* kernel = kernelOf(stretch.kernel[q]);
      if (!kernel || std::abs(sy - y_) > kernel->halfWidth) continue;
      const int ky = kernel->halfWidth + (sy - y_);
      const ktKernelRows::Span span = kernel->rows[ky];
      if (span.end <= span.begin) continue;  // a row of zero taps adds nothing
      const float* weight = map_->memberPlane(q, 0) + member;
      const float* scale[kMaxShared];
      for (int c = 0; c < channels; ++c) scale[c] = map_->memberPlane(q, 1 + valueIndex_[c]) + member;
      if (columnsPay(span, count)) {
        ColumnPass column;
        column.signal[0] = weight;
        for (int c = 0; c < channels; ++c) column.signal[1 + c] = scale[c];
        column.count = count;
        column.origin = sx0 - kernel->halfWidth;
        column.taps = kernel->plane + size_t(ky) * size_t(kernel->width);
        column.span = span;
        column.x = x_;
        column.r = r_;
        addColumnPass(column, slice);
        continue;
      }
      const int p = s.passes++;
      s.weight[p] = weight;
      for (int c = 0; c < channels; ++c) s.scale[p][c] = scale[c];
      s.halfWidth[p] = kernel->halfWidth;
      s.padded[p] = kernel->padded != nullptr;
      s.taps[p] = s.padded[p] ? kernel->padded + size_t(ky) * size_t(kernel->paddedStride)
                              : kernel->plane + size_t(ky) * size_t(kernel->width);
      s.lo[p] = span.begin - kernel->halfWidth;
      s.hi[p] = span.end - kernel->halfWidth;
      s.start = std::min(s.start, std::max(sx0 + s.lo[p], x_));
      s.end = std::max(s.end, std::min(sx0 + count - 1 + s.hi[p], r_));
    }
    if (s.end <= s.start) return;
    buffers_.ensure(slice);
    float* colour[kMaxShared];
    for (int c = 0; c < channels; ++c) colour[c] = buffers_.colour(slice, c);
    sweepStretch(s, channels, buffers_.weight(slice, 0), colour);
  }

  void addColumnPass(const ColumnPass& column, uint16_t slice) {
    buffers_.ensure(slice);
    float* rows[1 + kMaxShared];
    float* differences[1 + kMaxShared];
    double* starts[1 + kMaxShared];
    const size_t channels = channels_.size();
    rows[0] = buffers_.weight(slice, 0);
    differences[0] = buffers_.weightDifference(slice, 0);
    starts[0] = buffers_.runStarts(slice) + channels;  // the shared weight row follows the colour rows
    for (size_t c = 0; c < channels; ++c) {
      rows[1 + c] = buffers_.colour(slice, int(c));
      differences[1 + c] = buffers_.colourDifference(slice, int(c));
      starts[1 + c] = buffers_.runStarts(slice) + c;
    }
    sweepColumns(column, static_cast<int>(channels), rows, differences, starts, buffers_.runCoverage(slice));
  }

 private:
  // The kernel of a bank entry, or null for a pass not used.
  const ktKernelRows::Kernel* kernelOf(uint16_t entry) const {
    return entry == ktSourceMap::kNoPass ? nullptr : &kernels_.kernel(entry);
  }

  // A scatter of non-finite values, pass by pass over its kernel rows' every tap: a zero tap
  // times such a value is not zero.
  void scatterAlone(const ktSourceMap::Stretch& st, const ktSourceMap::Scales& scales, int sy) {
    buffers_.ensure(st.slice);
    for (int q = 0; q < 2; ++q) {
      const ktKernelRows::Kernel* kernel = kernelOf(st.kernel[q]);
      scatter::TapSpan span;
      if (!kernel || !scatter::tapSpan(st.sx0, sy, kernel->halfWidth, kernel->width, x_, y_, r_, span))
        continue;
      const float* k = kernel->plane + size_t(span.row) * size_t(kernel->width) + span.skipped;
      scatter::addTaps(k, span.count, scales.passWeight[q], buffers_.weight(st.slice, 0) + span.start);
      for (size_t c = 0; c < channels_.size(); ++c)
        scatter::addTaps(k, span.count, scales.scale[q][valueIndex_[c]],
                         buffers_.colour(st.slice, int(c)) + span.start);
    }
  }

  // Each channel with its own centre and plane, as the straightforward engine spreads it.
  void scatterEach(uint32_t i, int sx, int sy) {
    const ktSourceMap::Scatter& p = map_->scatters()[i];
    buffers_.ensure(p.slice);
    scatter::Pass passes[2];
    int count = 0;
    for (; count < 2 && p.kernel[count] != ktSourceMap::kNoPass; ++count)
      passes[count] = {&bank_[p.kernel[count]], p.passWeight[count]};
    for (size_t c = 0; c < channels_.size(); ++c)
      scatter::spreadChannel(s_, passes, count, channels_[c], sx, sy, p.size, p.aberrationMatte,
                             map_->scattered(valueIndex_[c])[i], x_, y_, r_, buffers_.colour(p.slice, int(c)),
                             buffers_.weight(p.slice, int(c)));
  }

  const ktOrvelSettings& s_;
  const std::vector<ktChannelFloatBuffer>& bank_;
  const ktSourceBands& bands_;
  const ktKernelRows& kernels_;
  const ktSourceBands::Window& window_;
  const ktSourceMap* map_ = nullptr;  // the band of the source row being added
  const int y_, x_, r_;
  const int padding_;
  const bool shared_;
  ktSliceBuffers& buffers_;
  const std::vector<Channel>& channels_;  // the blurred channels, by position in the slice rows
  std::vector<int>& valueIndex_;
};

}  // namespace

namespace orvel {

bool fastDefocus(const ktRenderContext& ctx, RowRegion region, Iop& input, ktSourceBands& bands,
                 const ChannelSet& channels, ktRowScratch& scratch, Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  if (r <= x) return true;
  const ktSourceBands::Window window(bands, y);
  if (!window.ok()) return false;
  input.get(y, x, r, channels, row);

  FastRowScatter scatter(ctx, bands, window, y, x, r, channels.intersection(ctx.settings->activeChannels),
                         scratch);
  const int padding = std::max(0, ctx.padding);
  for (int sy = y - padding; sy <= y + padding; ++sy) scatter.scatterSourceRow(sy);
  scratch.slices.composite(row);
  return true;
}

}  // namespace orvel
