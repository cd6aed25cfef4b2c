// The kernel bank: entry k is the normalised kernel for a blur of k pixels, a Catmull-Rom
// resampling of the hero kernel with odd side s(k) = k (odd k) or k - 1 (even k), at least 1.
#pragma once

#include <cstddef>
#include <vector>

#include "ktChannelFloatBuffer.h"

// The bank of a render holds kernelSizeLimit + kKernelBankMargin entries, 0 .. kernelSizeLimit + 4:
// a blur at the limit blends its entry with the one two above it, which the margin keeps inside
// the bank. Its last entry, the widest kernel, is kernelSizeLimit + kKernelBankMargin - 1.
constexpr int kKernelBankMargin = 5;

// Side of bank entry k: 1, 1, 1, 3, 3, 5, 5, ...
int kernelSide(int k);

// Catmull-Rom through p1 (t = 0) and p2 (t = 1).
float catmullRom(float p0, float p1, float p2, float p3, float t);

// Fills the plane of channel z of `buffer` with a size x size resampling of the hero plane.
void buildKernel(const ktChannelFloatBuffer& hero, ktChannelFloatBuffer& buffer, int size, DD::Image::Channel z);

// Builds entry k completely: sized, resampled, and normalised by the strongest channel. When no
// channel sums above 0, every channel becomes a single centre tap of 1 (no blur).
void initializeKernel(const ktChannelFloatBuffer& hero, const DD::Image::ChannelSet& channels,
                      ktChannelFloatBuffer& entry, int k);

// What the bank workers share; they write disjoint entries of `bank`.
struct ktKernelBankJob {
  const ktChannelFloatBuffer* hero;
  const DD::Image::ChannelSet* channels;
  std::vector<ktChannelFloatBuffer>* bank;
};

// Worker body: builds entries threadIndex, threadIndex + threadCount, ... of the job's bank.
void initializeKernelsThreaded(unsigned threadIndex, unsigned threadCount, void* job);

// Empties `bank`, resizes it to `entries` and builds it on `workers` host threads. When the
// hero's planes of all `channels` are equal, each entry holds the plane of the first channel
// only and names it as the plane every channel reads (ktChannelFloatBuffer::plane).
void buildKernelBank(std::vector<ktChannelFloatBuffer>& bank, const ktChannelFloatBuffer& hero,
                     const DD::Image::ChannelSet& channels, size_t entries, unsigned workers);
