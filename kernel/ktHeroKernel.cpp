#include "ktHeroKernel.h"

#include <algorithm>
#include <cmath>

#include "DDImage/Iop.h"
#include "ktKernelBank.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;

// The knob values of the procedural shapes, in the form the per-pixel evaluation uses.
struct ApertureShape {
  bool blades;
  float aspect;
  float bladeTurns;  // angular width of one blade, in turns
  float curvature;
  float rotation;  // in turns
  float hardness;
  float sphAbb;
  float half;
  float half2;
};

ApertureShape apertureShape(const ktOrvelSettings& s, int side) {
  ApertureShape a;
  a.blades = s.kernelType == kKernelBlades;
  a.aspect = s.kAspectRatio;
  a.bladeTurns = 1.0f / float(s.kNumSides);
  a.curvature = s.kCurvature;
  a.rotation = s.kRotation;
  a.hardness = 1.0f / std::max(0.001f, s.kSoftness);
  a.sphAbb = s.kSphAbb;
  a.half = 0.5f * float(side);
  a.half2 = a.half * a.half;
  return a;
}

// Bladed opening: the disc pulled in by up to (1 - curvature) x bladeTurns of r2 mid-blade.
float bladeValue(const ApertureShape& a, float dx, float dy, float r2) {
  float theta = std::atan2(dy, dx);
  if (theta < 0.0f) theta += kTwoPi;
  const float turns = (theta + a.rotation * kTwoPi) / kTwoPi;
  const float m = std::fmod(turns, a.bladeTurns);
  const float bump = std::sin(m / a.bladeTurns * kPi);
  float v = (1.0f - a.curvature) * bump * a.bladeTurns + r2;
  if (!(v < 1.0f)) v = 1.0f;
  return 1.0f - v;
}

// An offset stretched by an aspect factor. A factor of infinity (aspect 0, or an infinite one)
// flattens the aperture onto its centre line, which stays at offset 0 instead of 0 x inf = NaN.
float stretch(float d, float factor) {
  const float s = d * factor;
  return std::isnan(s) ? 0.0f : s;
}

// Value of the procedural aperture at offset (dx, dy) from its centre, in [0, 1].
float apertureValue(const ApertureShape& a, float dx, float dy) {
  if (a.aspect > 1.0f) {
    dx = stretch(dx, a.aspect);
  } else if (a.aspect < 1.0f) {
    dy = stretch(dy, 1.0f / a.aspect);
  }
  const float r2 = (dy * dy + dx * dx) / a.half2;
  const float circle = 1.0f - std::min(r2, 1.0f);
  const float shape = a.blades ? bladeValue(a, dx, dy, r2) : circle;
  float value = std::min(shape * a.hardness, 1.0f);
  if (a.sphAbb > 0.0f) {
    value = value - std::fabs(a.sphAbb) * circle;
  } else if (a.sphAbb < 0.0f) {
    value = value - std::fabs(a.sphAbb) * (1.0f - circle);
  }
  if (value < 0.0f) value = 0.0f;
  if (value > 1.0f) value = 1.0f;
  return value;
}

void drawAperture(const ApertureShape& a, int side, float* plane) {
  for (int y = 0; y < side; ++y) {
    const float dy = float(y) + 0.5f - a.half;
    for (int x = 0; x < side; ++x) {
      const float dx = float(x) + 0.5f - a.half;
      plane[size_t(y) * side + x] = apertureValue(a, dx, dy);
    }
  }
}

// The Kernel input's channel that feeds hero plane z.
DD::Image::Channel sourceChannel(const ktOrvelSettings& s, const DD::Image::Iop& input,
                                 DD::Image::Channel z) {
  if (s.missingKernelChannel != DD::Image::Chan_Black && !input.channels().contains(z))
    return s.missingKernelChannel;
  return z;
}

// Squeezes the whole bounding box of `input` onto the side x side plane with Catmull-Rom, the
// image's top row first: the scatter lays a kernel's row 0 on the highest row it reaches.
void resampleInput(DD::Image::Iop& input, DD::Image::Channel z, int side, float* plane) {
  const DD::Image::Box& box = input.info().box();
  const int w = std::max(0, box.w());
  const int h = std::max(0, box.h());
  if (w == 0 || h == 0) {
    std::fill(plane, plane + size_t(side) * side, 0.0f);
    return;
  }
  const float sx = float(w) / float(side);
  const float sy = float(h) / float(side);
  for (int y = 0; y < side; ++y) {
    const float py = sy * (float(y) + 0.5f);
    const int iy = int(py);
    const float fy = py - float(iy);
    int rows[4];
    for (int j = 0; j < 4; ++j) rows[j] = std::clamp(iy - 1 + j, 0, h - 1) + box.y();
    for (int x = 0; x < side; ++x) {
      const float px = sx * (float(x) + 0.5f);
      const int ix = int(px);
      const float fx = px - float(ix);
      float columns[4];
      for (int i = 0; i < 4; ++i) {
        const int c = std::clamp(ix - 1 + i, 0, w - 1) + box.x();
        columns[i] = catmullRom(input.at(c, rows[0], z), input.at(c, rows[1], z), input.at(c, rows[2], z),
                                input.at(c, rows[3], z), fy);
      }
      plane[size_t(side - 1 - y) * side + x] = catmullRom(columns[0], columns[1], columns[2], columns[3], fx);
    }
  }
}

}  // namespace

int heroKernelSide(const ktOrvelSettings& s, bool forPreview, const DD::Image::Format& outputFormat,
                   const DD::Image::Box* kernelInputBox) {
  int side = forPreview ? std::min(outputFormat.w(), outputFormat.h()) : s.max_kernelsize;
  if (s.kernelType == kKernelInput && kernelInputBox) {
    side = std::min({side, std::max(0, kernelInputBox->w()), std::max(0, kernelInputBox->h())});
  }
  return std::max(0, side);
}

void makeHeroKernel(ktChannelFloatBuffer& hero, const ktOrvelSettings& s,
                    const DD::Image::ChannelSet& channels, int side, DD::Image::Iop* kernelInput) {
  side = std::max(0, side);
  hero.init(channels, side, side);
  if (channels.empty()) return;

  if (s.kernelType == kKernelInput) {
    for (DD::Image::Channel z : channels) {
      float* plane = hero.planes[z].data();
      if (kernelInput) {
        resampleInput(*kernelInput, sourceChannel(s, *kernelInput, z), side, plane);
      } else {
        std::fill(plane, plane + hero.count, 0.0f);
      }
    }
    return;
  }

  // The procedural value is the same in every channel: draw it once and copy it.
  const DD::Image::Channel first = channels.first();
  drawAperture(apertureShape(s, side), side, hero.planes[first].data());
  for (DD::Image::Channel z : channels) {
    if (z != first) hero.planes[z] = hero.planes[first];
  }
}
