#include "bench/vectorTarget.h"

#include <hwy/targets.h>

std::string vectorTarget() {
  const int64_t supported = hwy::SupportedTargets() & HWY_TARGETS;
  const int64_t best = supported & -supported;  // better targets have the lower bits
  return best == HWY_AVX3 ? "AVX-512" : hwy::TargetName(best);
}
