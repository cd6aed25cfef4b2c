// The hero kernel: the master aperture image every bank kernel is resampled from, and what
// "Filter Shape" shows. Square, side N, one plane per active channel; pixel (x, y) has its
// centre at (x + 0.5, y + 0.5) and the shape its centre at (N / 2, N / 2).
#pragma once

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "ktChannelFloatBuffer.h"
#include "ktOrvelSettings.h"

namespace DD {
namespace Image {
class Iop;
}
}  // namespace DD

// Side N: min(format width, height) for the preview, else max_kernelsize; for "Input" with a
// Kernel input, no larger than that input's box (an empty box gives 0).
int heroKernelSide(const ktOrvelSettings& s, bool forPreview, const DD::Image::Format& outputFormat,
                   const DD::Image::Box* kernelInputBox);

// Rebuilds `hero` at side N for `channels`: the procedural "Circular" or "Aperture Blades"
// shape, or for "Input" the Kernel input resampled with Catmull-Rom (kernelInput non-null).
void makeHeroKernel(ktChannelFloatBuffer& hero, const ktOrvelSettings& s, const DD::Image::ChannelSet& channels,
                    int side, DD::Image::Iop* kernelInput);
