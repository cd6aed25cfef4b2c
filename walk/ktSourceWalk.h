// The source walks: what the source pixels of a row contribute, written once for both engines.
// The flat walk gives one scatter per pixel its focus region lets through; the deep walk one per
// piece of a deep pixel, nearest first with its visible share, then the uncovered remainder.
// Every scatter goes to a sink (`sink.scatter(const ktScatter&)`, then `sink.endPosition()`
// after each column): the reference engine spreads it into the output row's slices, the fast
// engine records it in its source map.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "DDImage/DeepOp.h"
#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktCombineSamples.h"
#include "ktDeepPass.h"
#include "ktDepthToCoc.h"
#include "ktPixelMattes.h"
#include "ktRenderContext.h"

// One scatter: a source pixel, or a piece of one, to spread.
struct ktScatter {
  int sx, sy;    // the source pixel, unclamped
  float size;    // blur diameter
  float weight;  // the share of the pixel spread
  size_t slice;
  float aberrationMatte;
  const float* values;  // per walk channel (ascending id): the value spread, with its bloom light
};

// One piece of a deep pixel as every deep walk sees it: its blur and focus region, its depth
// (clamped onto the focus region without the real-world lens), its slice and its alpha.
struct ktDeepPiece {
  CocSample coc;
  size_t slice;
  float alpha;
};
ktDeepPiece deepPieceAt(const ktRenderContext& ctx, const DD::Image::DeepPixel& pieces, size_t j,
                        DD::Image::Channel depthChannel);
// The depth channel of the pieces: deep back when the node's depth channel says so, else front.
DD::Image::Channel pieceDepthChannel(const ktOrvelSettings& s);
// The value piece j carries of channel z, un-premultiplied by the piece's alpha; where the deep
// samples lack z (`sampled` false), `flat`, the flat input's value.
inline float pieceValue(const DD::Image::DeepPixel& pieces, size_t j, DD::Image::Channel z, float alpha,
                        bool sampled, float flat) {
  return sampled ? pieces.getUnorderedSample(j, z) / alpha : flat;
}
// The deep channels a walk of `work` needs: those of `work` but Z (each piece carries its own
// depths), plus alpha and the deep front and back depths.
DD::Image::ChannelSet deepChannelsFor(DD::Image::ChannelSet work);
// The channels asked of a deep input offering `offered`: what it offers of deepChannelsFor(work),
// plus alpha and the deep front and back depths in any case.
DD::Image::ChannelSet deepRequestSet(const DD::Image::ChannelSet& offered, const DD::Image::ChannelSet& work);
// The deep pixels the walks read: the format's extent counted from 0, joined with the deep
// input's box so that samples outside the format are spread too. A position beyond it reads
// the nearest pixel of its edge.
DD::Image::Box deepSourceArea(const ktRenderContext& ctx, const DD::Image::DeepOp& deep);

// What both walks read of a source row: the rows of the walk's channels and the mattes over
// columns left .. right-1, and the matte values of a column.
class ktWalkRows {
 public:
  ktWalkRows(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::ChannelSet& channels, int left, int right);

 protected:
  void fetch(int cy);

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  DD::Image::Iop& input_;
  DD::Image::Iop* mattes_;
  const DD::Image::ChannelSet channels_;
  std::vector<DD::Image::Channel> channelList_;
  const int left_, right_;
  DD::Image::Row colour_;
  ktMatteRow matteRow_;
  std::vector<const float*> colourOf_;  // by walk channel, the fetched colour row
  std::vector<float> values_;           // by walk channel, the values of the scatter being made
};

class ktFlatWalk : public ktWalkRows {
 public:
  ktFlatWalk(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::ChannelSet& channels, int left, int right);
  // Walks source row sy, read from input row cy, into `sink`.
  template <class Sink>
  void walk(int sy, int cy, Sink& sink) {
    fetchRow(cy);
    ktScatter scatter;
    for (int sx = left_; sx < right_; ++sx) {
      if (pixel(sx, sy, cy, scatter)) sink.scatter(scatter);
      sink.endPosition();
    }
  }

 private:
  void fetchRow(int cy);
  bool pixel(int sx, int sy, int cy, ktScatter& out);
  DD::Image::Row depth_;
  const float* depthValues_ = nullptr;
};

// Walks the pieces `pass` keeps.
class ktDeepWalk : public ktWalkRows {
 public:
  // A pixel whose uncovered share is below this counts as fully covered.
  static constexpr float kCoveredEpsilon = 1e-6f;

  ktDeepWalk(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             DD::Image::DeepOp& deep, const DD::Image::ChannelSet& channels, DeepPass pass, int left,
             int right);
  // Walks source row sy, read from format row cy, into `sink`; false (nothing walked) when the
  // deep input cannot deliver the row.
  template <class Sink>
  bool walk(int sy, int cy, Sink& sink) {
    if (!fetchRow(cy)) return false;
    ktScatter scatter;
    for (int sx = left_; sx < right_; ++sx) {
      if (beginPixel(sx, cy)) {
        const DD::Image::DeepPixel pieces = cutPieces(plane_, layout_, cy, sxc_, combined_);
        float coverage = 0.0f;
        if (seeThrough_) {
          coverage = seeThroughPieces(pieces, sx, sy, sink, scatter);
        } else {
          for (size_t j = 0; j < pieces.getSampleCount(); ++j) {
            if (!piece(pieces, j, sx, sy, coverage, scatter)) continue;
            sink.scatter(scatter);
            coverage += scatter.weight;
            if (1.0f - coverage < kCoveredEpsilon) break;
          }
        }
        if (coverage < 1.0f) sink.scatter(remainder(sx, sy, 1.0f - coverage));
      }
      sink.endPosition();
    }
    return true;
  }

 private:
  // "See Through": every piece of the pixel, each with its alpha times what the pieces of its
  // own slice left; nearer slices hide nothing here, the slice compositing decides what shows.
  // Returns the pixel's visible coverage, which still sets the remainder.
  template <class Sink>
  float seeThroughPieces(const DD::Image::DeepPixel& pieces, int sx, int sy, Sink& sink, ktScatter& scatter) {
    float visible = 0.0f;
    sliceCoverage_.clear();
    for (size_t j = 0; j < pieces.getSampleCount(); ++j) {
      if (!piece(pieces, j, sx, sy, 0.0f, scatter)) continue;
      const float alpha = scatter.weight;
      float& covered = coverageOfSlice(scatter.slice);
      scatter.weight = (1.0f - covered) * alpha;
      covered += scatter.weight;
      if (1.0f - visible >= kCoveredEpsilon) visible += (1.0f - visible) * alpha;  // as "Visible Share" stops
      if (scatter.weight > 0.0f) sink.scatter(scatter);
    }
    return visible;
  }
  float& coverageOfSlice(size_t slice);
  bool fetchRow(int cy);
  bool beginPixel(int sx, int cy);
  bool piece(const DD::Image::DeepPixel& pieces, size_t j, int sx, int sy, float coverage, ktScatter& out);
  ktScatter remainder(int sx, int sy, float weight);

  DD::Image::DeepOp& deep_;
  const DD::Image::Box area_;  // deepSourceArea
  const DeepPass pass_;
  DD::Image::ChannelSet request_;
  DD::Image::Channel depthChannel_;
  float farSize_;
  size_t farSlice_;
  DD::Image::DeepPlane plane_;
  ktSampleLayout layout_{DD::Image::ChannelSet(), DD::Image::ChannelMap()};  // plane_'s
  DD::Image::DeepOutPixel combined_;
  std::vector<char> sampled_;    // by walk channel: whether the deep samples carry it
  std::vector<float> fallback_;  // by walk channel: the flat input's value, for the others
  int sxc_ = 0, syc_ = 0;        // the pixel being walked, clamped into area_
  ktPixelMattes pixelMattes_;
  float pixelBloom_ = 0.0f;  // the pixel's bloom level, its bloom matte applied
  const bool seeThrough_;
  std::vector<std::pair<size_t, float>> sliceCoverage_;  // "See Through": by slice, the coverage so far
};
