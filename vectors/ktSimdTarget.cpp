#include "ktSimdTarget.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktSimdTarget.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

int64_t compiledTarget() { return HWY_TARGET; }

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(compiledTarget);
}  // namespace orvel

namespace {

struct Target {
  const char* name;
  int64_t bit;
};

// Best first.
const Target kTargets[] = {{"avx512", HWY_AVX3}, {"avx2", HWY_AVX2}, {"sse4", HWY_SSE4},
                           {"ssse3", HWY_SSSE3}, {"neon", HWY_NEON}, {"scalar", HWY_SCALAR | HWY_EMU128}};

int64_t runnable() { return hwy::SupportedTargets() & HWY_TARGETS; }

// Caps the targets at `name`; for a name this processor does not run, false and no cap.
bool capTargets(const std::string& name) {
  hwy::DisableTargets(0);
  for (const Target& t : kTargets)
    if (name == t.name && (runnable() & t.bit)) {
      // Better targets have the lower bits.
      hwy::DisableTargets((t.bit & -t.bit) - 1);
      return true;
    }
  return false;
}

}  // namespace

void applySimdTargetFromEnvironment() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (const char* name = std::getenv("ORVEL_SIMD_TARGET")) capTargets(name);
  });
}

bool forceSimdTarget(const std::string& name) {
  applySimdTargetFromEnvironment();  // before, so that it cannot undo this later
  return capTargets(name);
}

void resetSimdTarget() { hwy::DisableTargets(0); }

std::string simdTargetName() {
  const int64_t current = HWY_DYNAMIC_DISPATCH(orvel::compiledTarget)();
  for (const Target& t : kTargets)
    if (current & t.bit) return t.name;
  return hwy::TargetName(current);
}

std::vector<std::string> simdTargetNames() {
  std::vector<std::string> names;
  for (const Target& t : kTargets)
    if (runnable() & t.bit) names.push_back(t.name);
  return names;
}
#endif  // HWY_ONCE
