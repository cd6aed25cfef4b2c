// What the vector sweeps read of a kernel row, and how many colour rows they carry at most: the
// fast engine describes its kernel bank in these terms (ktKernelRows.h).
#pragma once

#include <cstdint>

// The most colour rows one sweep adds into, each kept in its own accumulator.
constexpr int kSweepChannels = 4;

// Columns between the first and one past the last non-zero tap of one kernel row, and its
// longest run of equal taps (runBegin .. runEnd-1, all `run`), where it has one long enough to
// pay for adding it as a run (otherwise runBegin == runEnd).
struct ktKernelSpan {
  uint16_t begin, end;
  uint16_t runBegin, runEnd;
  float run;
};
