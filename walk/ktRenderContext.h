// The read-only view of one render that the row engines see: settings, kernel bank, slice
// boundaries and the values measured at open. The node fills it; engines never write it.
#pragma once

#include <vector>

#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "ktChannelFloatBuffer.h"
#include "ktOrvelSettings.h"

struct ktRenderContext {
  const ktOrvelSettings* settings = nullptr;
  const std::vector<ktChannelFloatBuffer>* kernels = nullptr;
  const ktChannelFloatBuffer* heroKernel = nullptr;
  const std::vector<float>* sliceDepths = nullptr;
  int padding = 0;
  int kernelSizeLimit = 0;
  DD::Image::Format format;  // the output format
  bool hasBloomMatte = false;
  bool hasDefocusMatte = false;
  bool hasChromicAberrationMatte = false;
  DD::Image::ChannelSet matteChannels;
};
