// The depth-edge companion node, meant to sit before ktOrvel: where the depth jumps within a
// small neighbourhood it writes the neighbourhood's nearest depth into the depth channel, so
// that an anti-aliased edge pixel is defocused with the object it partly shows rather than as
// background. Every other channel and every other pixel passes through untouched. A thin
// adapter: the rows are ktDepthEdgeRow's.
#pragma once

#include "DDImage/Iop.h"
#include "ktDepthEdgeRule.h"

class ktDepthEdges : public DD::Image::Iop {
 public:
  static const DD::Image::Op::Description description;

  explicit ktDepthEdges(Node* node);

  void knobs(DD::Image::Knob_Callback f) override;
  void engine(int y, int x, int r, const DD::Image::ChannelSet& channels, DD::Image::Row& out) override;
  const char* node_help() const override;
  const char* Class() const override;

 protected:
  void _validate(bool for_real) override;
  void _request(int x, int y, int r, int t, const DD::Image::ChannelSet& channels, int count) override;

 private:
  // Knob values, under the knobs' names.
  DD::Image::Channel depthChannel = DD::Image::Chan_Z;
  int depthStyle = 0;  // as ktOrvel's: 0 "Real", 1 "1/z"
  int radius = 1;
  float threshold = 0.1f;

  // The rule the rows follow, read from the knobs at validation.
  ktDepthEdgeRule rule_;
  // Whether the input has the depth channel; without it everything passes through.
  bool hasDepth_ = false;

  // Writes the depth of row y from x to r to `out` (at x), its input depth being `centre` (at x).
  void fixDepth(int y, int x, int r, const float* centre, float* out) const;
};
