// The vector target the fast engine's sweeps run on. Highway picks the best this processor runs;
// the environment variable ORVEL_SIMD_TARGET (avx512, avx2, sse4, ssse3, neon, scalar) or
// forceSimdTarget() caps it at a lower one, so that targets can be compared in one process.
#pragma once

#include <string>
#include <vector>

// Applies ORVEL_SIMD_TARGET, once per process; the sweeps call it before their first use.
void applySimdTargetFromEnvironment();
// Caps the targets at `name` and those below it; for a name this processor does not run, false
// and the best target again.
bool forceSimdTarget(const std::string& name);
// Back to the best target this processor runs.
void resetSimdTarget();
// The target the sweeps run on now, by the names above.
std::string simdTargetName();
// The names of the targets this processor runs, best first (under a cap in force, those below it).
std::vector<std::string> simdTargetNames();
