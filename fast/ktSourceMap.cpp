#include "ktSourceMap.h"

#include <algorithm>
#include <cmath>

#include "DDImage/Row.h"
#include "ktLensValues.h"
#include "ktScatter.h"

using namespace DD::Image;

namespace {

constexpr int kMaxReach = 32767;

// Row distance the largest kernel of a scatter reaches, widened by the farthest chromatic shift.
int reachOf(const ktOrvelSettings& s, const std::vector<ktChannelFloatBuffer>& bank,
            const ChannelSet& channels, const ktSourceMap::Scatter& p) {
  int radius = -1;
  for (int q = 0; q < 2; ++q)
    if (p.kernel[q] != ktSourceMap::kNoPass) radius = std::max(radius, bank[p.kernel[q]].halfWidth);
  if (radius < 0) return -1;
  float shift = 0.0f;
  if (s.kChrAbb != 0.0f)
    for (Channel z : channels)
      shift = std::max(shift, std::fabs(scatter::chromaticShift(s, z, p.size, p.aberrationMatte)));
  if (!(shift < float(kMaxReach))) return kMaxReach;
  return std::min(kMaxReach, radius + static_cast<int>(std::ceil(shift)) + 1);
}

}  // namespace

void ktSourceMap::clear() { *this = ktSourceMap(); }

// Empties every table and keeps its storage for the next layout.
void ktSourceMap::reset() {
  offsets_.clear();
  reach_.clear();
  blockReach_.clear();
  rowReach_.clear();
  scatterReach_.clear();
  members_ = 0;
  rowScatters_.clear();
  scatters_.clear();
  for (std::vector<float>& v : values_) v.clear();
  stretches_.clear();
  rowStretches_.clear();
  firstRow_ = 0;
  lastRow_ = -1;
  position_ = 0;
  positionBase_ = 0;
}

ktSourceMap::Scales ktSourceMap::memberScales(uint32_t i) const {
  Scales m;
  for (int q = 0; q < 2; ++q) {
    m.passWeight[q] = memberPlane(q, 0)[i];
    for (int c = 0; c < kSharedChannels; ++c) m.scale[q][c] = memberPlane(q, 1 + c)[i];
  }
  return m;
}

bool ktSourceMap::canMap(const ktRenderContext& ctx, const ChannelSet& channels) {
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  if (bank.empty() || bank.size() >= kNoPass || channels.empty()) return false;
  for (const ktChannelFloatBuffer& k : bank)
    if (k.width > 0xffff) return false;
  return true;
}

void ktSourceMap::layout(const ktRenderContext& ctx, const ktKernelRows& kernels, const Area& area,
                         const ChannelSet& channels) {
  reset();
  if (area.x1 <= area.x0 || area.lastRow < area.firstRow || !canMap(ctx, channels)) return;
  ctx_ = &ctx;
  channels_ = channels;
  channelCount_ = static_cast<int>(channels.size());
  x0_ = area.x0;
  x1_ = area.x1;
  blocks_ = size_t(x1_ - x0_ + kBlock - 1) / kBlock;
  firstRow_ = area.firstRow;
  lastRow_ = area.lastRow;
  sharedKernels_ = kernels.shared();

  const size_t rows = size_t(lastRow_ - firstRow_ + 1);
  const size_t positions = rows * size_t(x1_ - x0_);
  // Stretches serve maps of shared kernels: their position tables hold one row at a time.
  const size_t tabled = sharedKernels_ ? size_t(x1_ - x0_) : positions;
  offsets_.reserve(tabled + 1);
  offsets_.push_back(0);
  // Most positions hold one scatter; deep ones more, which grow the lists as needed.
  scatterReach_.reserve(tabled);
  if (sharedKernels_) {
    growPlanes(positions);
    rowScatters_.reserve(tabled);
  }
  reach_.assign(sharedKernels_ ? 0 : positions, -1);
  blockReach_.assign(sharedKernels_ ? 0 : rows * blocks_, -1);
  rowReach_.assign(rows, -1);
  if (!sharedKernels_) {
    scatters_.reserve(positions);
    values_.resize(channels.size());
    for (std::vector<float>& v : values_) v.reserve(positions);
  }
}

void ktSourceMap::scatter(const ktScatter& from) {
  if (empty()) return;
  const std::vector<ktChannelFloatBuffer>& bank = *ctx_->kernels;
  scatter::Pass passes[2];
  const int used = scatter::choosePasses(bank, from.size, from.weight, passes);
  const float* values = from.values;
  Scatter sc;
  sc.size = from.size;
  sc.slice = static_cast<uint16_t>(from.slice);
  sc.aberrationMatte = from.aberrationMatte;
  for (int q = 0; q < 2; ++q) {
    sc.kernel[q] = q < used ? static_cast<uint16_t>(passes[q].kernel - bank.data()) : kNoPass;
    sc.passWeight[q] = q < used ? passes[q].weight : 0.0f;
  }
  const int reach = reachOf(*ctx_->settings, bank, channels_, sc);
  if (reach < 0) return;  // no pass adds anything

  if (sharedKernels_) {
    SharedScatter shared;
    shared.slice = sc.slice;
    shared.finite = true;
    for (int q = 0; q < 2; ++q) {
      shared.kernel[q] = sc.kernel[q];
      shared.passWeight[q] = sc.passWeight[q];
      shared.finite = shared.finite && std::isfinite(sc.passWeight[q]);
      for (int c = 0; c < kSharedChannels; ++c) {
        const float value = c < channelCount_ ? values[c] : 0.0f;
        shared.scale[q][c] = value * sc.passWeight[q];
        shared.finite = shared.finite && std::isfinite(value) && std::isfinite(shared.scale[q][c]);
      }
    }
    if (!mergeIntoPosition(shared, reach)) {
      scatterReach_.push_back(static_cast<int16_t>(reach));
      rowScatters_.push_back(shared);
    }
  } else {
    scatterReach_.push_back(static_cast<int16_t>(reach));
    scatters_.push_back(sc);
    for (int c = 0; c < channelCount_; ++c) values_[c].push_back(values[c]);
  }

  const size_t width = size_t(x1_ - x0_);
  const size_t row = position_ / width;
  rowReach_[row] = std::max(rowReach_[row], reach);
  if (sharedKernels_) return;  // stretches keep their own reach
  int16_t& positionReach = reach_[position_ - positionBase_];
  positionReach = std::max(positionReach, static_cast<int16_t>(reach));
  int16_t& block = blockReach_[row * blocks_ + (position_ % width) / kBlock];
  block = std::max(block, positionReach);
}

// Adds a finite scatter into one of the position's own with the same kernels and slice, which
// adds what both would, in one sweep instead of two (the pieces of a deep pixel often share a
// depth, or fall between the same two kernels); false when there is none, or the sum would not
// be finite.
bool ktSourceMap::mergeIntoPosition(const SharedScatter& s, int reach) {
  if (!s.finite) return false;
  for (size_t k = offsets_.back(); k < rowScatters_.size(); ++k) {
    SharedScatter& into = rowScatters_[k];
    if (!into.finite || into.kernel[0] != s.kernel[0] || into.kernel[1] != s.kernel[1] || into.slice != s.slice)
      continue;
    SharedScatter sum = into;
    for (int q = 0; q < 2; ++q) {
      sum.passWeight[q] += s.passWeight[q];
      sum.finite = sum.finite && std::isfinite(sum.passWeight[q]);
      for (int c = 0; c < kSharedChannels; ++c) {
        sum.scale[q][c] += s.scale[q][c];
        sum.finite = sum.finite && std::isfinite(sum.scale[q][c]);
      }
    }
    if (!sum.finite) return false;
    into = sum;
    scatterReach_[k] = std::max(scatterReach_[k], static_cast<int16_t>(reach));
    return true;
  }
  return false;
}

void ktSourceMap::endPosition() {
  if (empty()) return;
  offsets_.push_back(static_cast<uint32_t>(scatterReach_.size()));
  ++position_;
}

// Empties the position tables for the next row of a map served by stretches.
void ktSourceMap::beginRow() {
  positionBase_ = position_;
  rowScatters_.clear();
  offsets_.assign(1, 0);
  scatterReach_.clear();
}

// Makes room for `members` in every plane, with the gaps at both ends; storage only grows, so
// maps laid out again keep it and clear nothing.
void ktSourceMap::growPlanes(size_t members) {
  for (std::vector<float>& plane : memberPlanes_)
    if (plane.size() < members + 2 * kPlaneGap) plane.resize(members + 2 * kPlaneGap);
}

template <class WalkRow>
bool ktSourceMap::mapRows(WalkRow walkRow) {
  if (sharedKernels_) rowStretches_.push_back(0);
  for (int cy = firstRow_; cy <= lastRow_; ++cy) {
    if (sharedKernels_) beginRow();
    if (!walkRow(cy)) return false;
    if (sharedKernels_) findStretches(cy);
  }
  return true;
}

void ktSourceMap::mapFlat(Iop& input, Iop* mattes) {
  if (empty()) return;
  ktFlatWalk walk(*ctx_, input, mattes, channels_, x0_, x1_);
  mapRows([&](int cy) {
    walk.walk(cy, cy, *this);
    return true;
  });
}

bool ktSourceMap::mapDeep(Iop& input, Iop* mattes, DeepOp& deep, DeepPass pass) {
  if (empty()) return false;
  ktDeepWalk walk(*ctx_, input, mattes, deep, channels_, pass, x0_, x1_);
  return mapRows([&](int cy) { return walk.walk(cy, cy, *this); });
}

// Splits the row's scatters into stretches of one kernel pair and slice, each scatter joining
// a stretch of its key that reached the column before; a scatter with a non-finite value stands
// alone. The members' scales are then laid out stretch by stretch.
void ktSourceMap::findStretches(int cy) {
  const uint32_t* first = offsets_.data() + (rowOffset(cy) - positionBase_);
  const size_t rowBegin = stretches_.size();
  joined_.clear();
  open_.clear();
  for (int i = 0; i < x1_ - x0_; ++i) {
    opened_.clear();
    for (uint32_t k = first[i]; k < first[i + 1]; ++k) {
      const SharedScatter& s = rowScatters_[k];
      const int16_t reach = scatterReach_[k];
      auto joins = [&](uint32_t open) {
        const Stretch& st = stretches_[open];
        return s.finite && st.kernel[0] == s.kernel[0] && st.kernel[1] == s.kernel[1] && st.slice == s.slice;
      };
      const auto open = std::find_if(open_.begin(), open_.end(), joins);
      if (open != open_.end()) {
        Stretch& st = stretches_[*open];
        ++st.count;
        st.reach = std::max(st.reach, reach);
        joined_.push_back(*open);
        opened_.push_back(*open);
        open_.erase(open);
        continue;
      }
      joined_.push_back(uint32_t(stretches_.size()));
      if (s.finite) opened_.push_back(uint32_t(stretches_.size()));
      stretches_.push_back({x0_ + i, 1, 0, reach, s.finite, {s.kernel[0], s.kernel[1]}, s.slice});
    }
    std::swap(open_, opened_);
  }
  // Members of a stretch follow one another in the planes, in column order.
  uint32_t member = uint32_t(members_);
  for (size_t j = rowBegin; j < stretches_.size(); ++j) {
    stretches_[j].first = member;
    member += uint32_t(stretches_[j].count);
  }
  growPlanes(member);
  members_ = member;
  for (size_t k = 0; k < joined_.size(); ++k) {
    const uint32_t at = stretches_[joined_[k]].first++;
    const SharedScatter& s = rowScatters_[k];
    for (int q = 0; q < 2; ++q) {
      memberPlanes_[q * (1 + kSharedChannels)][kPlaneGap + at] = s.passWeight[q];
      for (int c = 0; c < kSharedChannels; ++c)
        memberPlanes_[q * (1 + kSharedChannels) + 1 + c][kPlaneGap + at] = s.scale[q][c];
    }
  }
  for (size_t j = rowBegin; j < stretches_.size(); ++j) stretches_[j].first -= uint32_t(stretches_[j].count);
  rowStretches_.push_back(static_cast<uint32_t>(stretches_.size()));
}
