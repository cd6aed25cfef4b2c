// The lens-defocus node as the host sees it: knobs, inputs, validation, requests, kernel
// preparation at open, and per-row dispatch by output type to the row engines.
#pragma once

#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/MetaData.h"
#include "DDImage/Row.h"
#include "ktApertureSamples.h"
#include "ktChannelFloatBuffer.h"
#include "ktDeepPass.h"
#include "ktOrvelFindings.h"
#include "ktOrvelSettings.h"
#include "ktRenderContext.h"
#include "ktRowRegion.h"
#include "ktRowScratch.h"
#include "ktScratchPool.h"
#include "ktSourceBands.h"
#include "ktTraceLayers.h"

namespace DD {
namespace Image {
class DeepOp;
class CameraOp;
}  // namespace Image
}  // namespace DD

class ktOrvel : public DD::Image::Iop {
 public:
  enum Input { kInput = 0, kKernel = 1, kCamera = 2, kDeepInput = 3, kMattes = 4 };
  // The build stamp the registration hands to the host's registry, as the record's `compiled` text.
  static constexpr const char* buildStamp = "Jun 23 2020 for 11.3v6";
  // The registration: the node's name and constructor, and the build stamp.
  struct Registration : DD::Image::Op::Description {
    Registration(const char* name, OpConstructor constructor, const char* stamp)
        : DD::Image::Op::Description(name, constructor) {
      compiled = stamp;
    }
  };
  static const Registration description;

  explicit ktOrvel(Node* node);
  ~ktOrvel() override;

  const DD::Image::MetaData::Bundle& _fetchMetaData(const char* key) override;
  void knobs(DD::Image::Knob_Callback f) override;
  int knob_changed(DD::Image::Knob* k) override;
  bool test_input(int n, DD::Image::Op* op) const override;
  void set_input(int n, DD::Image::Op* op, int input, int offset) override;
  void append(DD::Image::Hash& h) override;
  DD::Image::Op* default_input(int n) const override;
  const char* node_help() const override;
  const char* input_label(int n, char* buffer) const override;
  const char* Class() const override;
  void engine(int y, int x, int r, const DD::Image::ChannelSet& channels, DD::Image::Row& out) override;
  // The input-channel rule: adds the active channels, the depth channel and alpha.
  void in_channels(int input, DD::Image::ChannelSet& m) const override;

  // What the engines read, as one read-only view: the settings, the kernel bank, the slice
  // boundaries, the padding and the mattes in use, as validation and open left them.
  ktRenderContext renderContext() const;
  // The straightforward engine (kept as the reference) or the fast one, for the next open.
  void useReferenceEngine(bool reference) { referenceEngine = reference; }
  bool usesReferenceEngine() const { return referenceEngine; }
  // The most the Lens Trace layers may take, in bytes; 0 (the default) for half the memory.
  void limitMemory(double bytes) { memoryLimit = bytes > 0 ? bytes : 0.0; }
  // Bands of source rows the fast engine mapped since open, over every deep pass.
  size_t mappedBands() const;
  // What the last validation and open found, beside the messages they gave.
  const ktOrvelFindings& findings() const { return findings_; }

 protected:
  void _validate(bool for_real) override;
  void _open() override;
  void _request(int x, int y, int r, int t, const DD::Image::ChannelSet& channels, int count) override;

 private:
  // Owned by value; the engines read them through renderContext() once open.
  ktChannelFloatBuffer heroKernel;
  ktOrvelSettings settings;
  std::vector<ktChannelFloatBuffer> kernels;
  std::vector<float> sliceDepths;
  bool hasBloomMatte = false;
  bool hasDefocusMatte = false;
  bool hasChromicAberrationMatte = false;
  DD::Image::ChannelSet matteChannels;
  int padding = 0;
  int kernelSizeLimit = 0;
  double memoryLimit = 0.0;  // bytes the traced layers may take; 0: half the memory
  ktOrvelFindings findings_;

  // The source pixels mapped once per render for the fast engine, band by band as rows need
  // them; the straightforward engine walks them again for every row.
  ktSourceBands sourceBands;
  ktSourceBands deepBands[3];  // by deep pass: all samples, front only, back only
  bool referenceEngine = false;
  // The rows each rendering thread accumulates in, kept from row to row.
  ktScratchPool<ktRowScratch> rowScratch;

  // The deep input's layers and the aperture samples of the "Lens Trace" deep method, made at open;
  // and the settings of the "See Through" scatter that gives the gather each slice's mean colours.
  ktTraceLayers traceLayers;
  ktApertureSamples apertureSamples;
  ktOrvelSettings seeThroughSettings;

  // Builds the hero kernel, measures the padding and builds the kernel bank, as the output needs.
  void initialize();
  // The deep-channel rule: adds the active channels without Z, alpha, deep front and back.
  void deep_in_channels(DD::Image::ChannelSet& m) const;

  // Row engines.
  void defocus(orvel::RowRegion region, const DD::Image::ChannelSet& channels, DD::Image::Row& row);
  void deepDefocus(orvel::RowRegion region, DeepPass pass, const DD::Image::ChannelSet& channels,
                   DD::Image::Row& row);
  void depthVisualization(orvel::RowRegion region, const DD::Image::ChannelSet& channels,
                          DD::Image::Row& row);
  void deepDepthVisualization(orvel::RowRegion region, const DD::Image::ChannelSet& channels,
                              DD::Image::Row& row);
  void kernelVisualization(orvel::RowRegion region, const DD::Image::ChannelSet& channels,
                           DD::Image::Row& row);
  void lensTrace(orvel::RowRegion region, const DD::Image::ChannelSet& channels, DD::Image::Row& out);
  bool seeThroughBase(orvel::RowRegion region, ktRowScratch& scratch, DD::Image::Row& base);
  void deepPath(orvel::RowRegion region, const DD::Image::ChannelSet& channels, DD::Image::Row& out);

  // Kernel preparation.
  void makeHeroKernel(bool forPreview);
  void computeOptimalPadding();

  DD::Image::CameraOp* camera() const;
  DD::Image::DeepOp* deepOp() const;
  // The Kernel or Mattes input to validate, request and read; null when nothing is connected.
  DD::Image::Iop* optionalInput(int n) const;
  void emptyKernels();
  void reportUnusableSettings();
  void buildSourceMaps();
  void applyEnablingRules();
  void showLensTraceKnobs();
  bool tracesLens() const;
  void buildLensTrace();
  ktRenderContext seeThroughContext() const;

  // The node's version, shown on the panel and hashed.
  static constexpr int kVersion[3] = {1, 4, 7};
  char versionText_[16] = {};
};

// Chooses the engine of a ktOrvel node by symbol, for a host that loads the plug-in module:
// `reference` non-zero selects the straightforward engines kept for verification. Other
// operators are left alone.
extern "C" void ktOrvelUseReferenceEngine(DD::Image::Op* op, int reference);

// Sets the most a ktOrvel node's Lens Trace layers may take, in bytes (0: half the memory), for
// a host that loads the plug-in module and limits what a render may hold. Other operators are
// left alone.
extern "C" void ktOrvelLimitMemory(DD::Image::Op* op, double bytes);
