// The fast engine's sink: what its rows need of the source positions of a band of rows, recorded
// once per render from the shared walks instead of walked again for every output row: the
// scatters of every position (one per flat pixel; one per deep piece plus the uncovered
// remainder), each with its kernel passes, slice, reach and the value each channel scatters.
// Columns are the output box widened by the padding.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "ktKernelRows.h"
#include "ktRenderContext.h"
#include "ktSourceWalk.h"

class ktSourceMap {
 public:
  static constexpr uint16_t kNoPass = 0xffff;
  static constexpr int kBlock = 64;  // columns summarised by one block reach
  static constexpr int kSharedChannels = ktKernelRows::kMaxChannels;

  // Where a map lies: columns x0 .. x1-1 and rows firstRow .. lastRow; source rows clamp to
  // clampLo .. clampHi.
  struct Area {
    int x0, x1;
    int firstRow, lastRow;
    int clampLo, clampHi;
  };

  // A scatter as the per-channel path reads it.
  struct Scatter {
    float size;           // blur diameter (for the chromatic shift)
    float passWeight[2];  // the two kernels' shares times the scatter's weight
    uint16_t kernel[2];   // bank entries of the two passes; kNoPass where a pass is not used
    uint16_t slice;
    float aberrationMatte;
  };

  // What a scatter adds with each pass, besides the taps: the pass's share (into the weight row)
  // and, for each of up to four channels, its value times the share (what the taps are
  // multiplied by).
  struct Scales {
    float passWeight[2];
    float scale[2][kSharedChannels];  // by pass, then by position among the active channels
  };

  // A scatter of the shared path, in one record: its scales, kernels and slice.
  struct SharedScatter : Scales {
    uint16_t kernel[2];  // bank entries; kNoPass where a pass is not used
    uint16_t slice;
    bool finite;  // every value, share and scale is finite: zero taps may be left out
  };

  // Consecutive positions of one row, one scatter of each, that share kernels and slice and have
  // finite values: the fast engine adds them in one sweep. A scatter with a non-finite value
  // stands alone.
  struct Stretch {
    int sx0;  // the first member's column; member j stands at sx0 + j
    int count;
    uint32_t first;  // the first member's index in the member planes; the others follow
    int16_t reach;
    bool finite;
    uint16_t kernel[2];
    uint16_t slice;
  };

  // Whether maps can be made for this bank and these channels (kernel indices and widths fit
  // the map's 16-bit fields).
  static bool canMap(const ktRenderContext& ctx, const DD::Image::ChannelSet& channels);
  // Lays the map out over `area` for `channels`, keeping the storage of an earlier layout. With
  // kernels.shared() stretches serve the scatters, and the position tables (reach, first,
  // scatterReach) are not kept; otherwise scatters() and scattered() do. Then mapFlat() or
  // mapDeep() fills it.
  void layout(const ktRenderContext& ctx, const ktKernelRows& kernels, const Area& area,
              const DD::Image::ChannelSet& channels);
  // Walks every row laid out into the map: the flat pixels of `input`, or the pieces of `deep`
  // that `pass` keeps; false when the deep input cannot deliver a row.
  void mapFlat(DD::Image::Iop& input, DD::Image::Iop* mattes);
  bool mapDeep(DD::Image::Iop& input, DD::Image::Iop* mattes, DD::Image::DeepOp& deep, DeepPass pass);
  // The walks' sink: `sc.values` holds the value of every channel of the layout, ascending id.
  void scatter(const ktScatter& sc);
  void endPosition();
  // Releases the storage.
  void clear();
  bool empty() const { return offsets_.empty(); }
  // Whether every position laid out has been ended.
  bool complete() const {
    const size_t positions = size_t(lastRow_ - firstRow_ + 1) * size_t(x1_ - x0_);
    return !empty() && position_ == positions && offsets_.size() == position_ - positionBase_ + 1;
  }

  int x0() const { return x0_; }
  int rowReach(int cy) const { return rowReach_[cy - firstRow_]; }

  // Of maps not served by stretches, by position (absolute column): the farthest row distance a
  // scatter of the position reaches (-1: none), the first of its scatters (the next position's
  // first ends them), and the largest reach of the kBlock columns from x0() + kBlock * i.
  const int16_t* reach(int cy) const { return reach_.data() + rowOffset(cy) - x0_; }
  const uint32_t* first(int cy) const { return offsets_.data() + rowOffset(cy) - x0_; }
  const int16_t* blockReach(int cy) const { return blockReach_.data() + size_t(cy - firstRow_) * blocks_; }
  // By scatter index.
  const int16_t* scatterReach() const { return scatterReach_.data(); }
  // The scales of the members of stretches (maps served by stretches), one plane per pass and
  // scale, by member index: plane 0 holds passWeight[pass], plane 1 + c scale[pass][c]. Every
  // plane is readable kPlaneGap floats beyond both ends, so vectors may load past a stretch.
  static constexpr int kPlaneGap = 16;
  const float* memberPlane(int pass, int plane) const {
    return memberPlanes_[pass * (1 + kSharedChannels) + plane].data() + kPlaneGap;
  }
  Scales memberScales(uint32_t i) const;
  const Scatter* scatters() const { return scatters_.data(); }
  const float* scattered(int activeIndex) const { return values_[activeIndex].data(); }
  // The stretches of a row by their first column (maps of shared kernels only; empty otherwise).
  bool hasStretches() const { return !rowStretches_.empty(); }
  const Stretch* stretchesBegin(int cy) const { return stretches_.data() + rowStretches_[cy - firstRow_]; }
  const Stretch* stretchesEnd(int cy) const { return stretches_.data() + rowStretches_[cy - firstRow_ + 1]; }

 private:
  size_t rowOffset(int cy) const { return size_t(cy - firstRow_) * size_t(x1_ - x0_); }
  void reset();
  void beginRow();
  template <class WalkRow>
  bool mapRows(WalkRow walkRow);
  void findStretches(int cy);
  bool mergeIntoPosition(const SharedScatter& s, int reach);
  void growPlanes(size_t members);

  int x0_ = 0, x1_ = 0;              // mapped columns
  int firstRow_ = 0, lastRow_ = -1;  // mapped rows, inclusive
  const ktRenderContext* ctx_ = nullptr;
  size_t blocks_ = 0;        // blocks per row
  size_t position_ = 0;      // the position being built
  size_t positionBase_ = 0;  // the position of the tables' first entry
  int channelCount_ = 0;
  bool sharedKernels_ = false;  // served by stretches: the position tables hold one row
  DD::Image::ChannelSet channels_;
  std::vector<uint32_t> offsets_;
  std::vector<int16_t> reach_;
  std::vector<int16_t> blockReach_;
  std::vector<int> rowReach_;
  std::vector<int16_t> scatterReach_;
  std::vector<float> memberPlanes_[2 * (1 + kSharedChannels)];  // maps served by stretches
  size_t members_ = 0;                                          // members the planes hold
  std::vector<SharedScatter> rowScatters_;                      // the whole records of the row being mapped
  std::vector<uint32_t> joined_;         // by scatter of that row, the stretch it joined
  std::vector<uint32_t> open_, opened_;  // the stretches reaching the last column, this one
  std::vector<Scatter> scatters_;
  std::vector<std::vector<float>> values_;  // by active channel position, over the scatters
  std::vector<Stretch> stretches_;
  std::vector<uint32_t> rowStretches_;
};
