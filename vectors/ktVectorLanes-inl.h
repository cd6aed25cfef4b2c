// Loads and stores the vector sweeps share, compiled once per Highway target: vectors of at most
// 16 floats, lanes of a row between two columns, and the last block of a row that ends inside a
// vector. x86 from AVX2 on masks its loads and stores (masked lanes never fault); elsewhere the
// lanes go through a small buffer, touching only the floats asked for.
#if defined(ORVEL_VECTOR_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef ORVEL_VECTOR_LANES_INL_H_
#undef ORVEL_VECTOR_LANES_INL_H_
#else
#define ORVEL_VECTOR_LANES_INL_H_
#endif

#include <hwy/highway.h>

#include <algorithm>

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using Tag = hn::CappedTag<float, 16>;
using Vector = hn::Vec<Tag>;

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
constexpr bool kMaskedMemory = true;
#else
constexpr bool kMaskedMemory = false;
#endif

// p[from .. to-1] in those lanes, zero in the others; reads nothing else.
HWY_INLINE Vector loadLanes(Tag d, const float* p, int from, int to) {
  if (kMaskedMemory)
    return hn::MaskedLoad(hn::AndNot(hn::FirstN(d, size_t(from)), hn::FirstN(d, size_t(to))), d, p);
  HWY_ALIGN float lanes[16] = {};
  const int begin = std::max(from, 0);
  if (to > begin) std::copy(p + begin, p + to, lanes + begin);
  return hn::Load(d, lanes);
}

// The first `count` floats of p (all lanes when count >= Lanes(d)).
HWY_INLINE Vector loadBlock(Tag d, const float* p, int count) {
  return count >= int(hn::Lanes(d)) ? hn::LoadU(d, p) : loadLanes(d, p, 0, count);
}

HWY_INLINE void storeBlock(Tag d, Vector v, float* p, int count) {
  if (count >= int(hn::Lanes(d))) {
    hn::StoreU(v, d, p);
  } else if (kMaskedMemory) {
    hn::BlendedStore(v, hn::FirstN(d, size_t(count)), d, p);
  } else {
    HWY_ALIGN float lanes[16];
    hn::Store(v, d, lanes);
    std::copy(lanes, lanes + std::max(count, 0), p);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#endif  // ORVEL_VECTOR_LANES_INL_H_
