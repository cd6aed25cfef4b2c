// Whole frames of ktOrvel through the render driver on small scenes (up to 12 x 10, the box
// anywhere around the format) with any depths, knobs far beyond their ranges, and optionally a
// kernel image, a deep input and mattes. Checked: no crash or bad memory access; the only errors
// are a missing kernel input and a refused lens setting; where the scene is sound (knobs in range, finite depths, bounded values,
// sound deep samples) every output is finite, and with ORVEL_FUZZ_ENGINES both flat engines agree.
// Frames whose scatter work passes a bound are opened only, so that no input runs for minutes.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/Thread.h"
#include "fuzz_input.h"
#include "ktOrvel.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

// Colours, mattes and kernel values up to this magnitude are sound: sums of a few thousand of
// them stay far from overflowing a float.
constexpr float kBound = 1e6f;
bool bounded(float v) { return std::fabs(v) <= kBound; }  // false for NaN and infinities

// The work of one frame, as pairs of a source pixel and an output pixel within its kernel's
// reach: the output box widened by the padding on every side times the kernel's area, three
// times over for deep pixels (up to three samples each). Measured on the node opened as the
// render opens it; the outputs that scatter nothing cost next to nothing.
double frameWork(ktOrvel& node, bool deep) {
  node.validate(true);
  if (node.hasError()) return 0.0;
  const Box b = node.info().box();
  node.request(b.x(), b.y(), b.r(), b.t(), node.channels(), 1);
  node.open();
  const int type = node.renderContext().settings->outputType;
  if (type == kFocalDistance || type == kFilterShape || type == kFocusMatte) return 0.0;
  const double reach = 2.0 * node.renderContext().padding + 1.0;
  const double w = std::max(0, b.w()) + reach - 1.0, h = std::max(0, b.h()) + reach - 1.0;
  return w * h * reach * reach * (deep ? 3.0 : 1.0);
}

// Frames above this many pairs are opened, not rendered: they reach no branch smaller ones miss,
// and take long under the sanitizers (about 0.5 us a pair and 2 s for the largest frame, 269 x
// 269, in the reference engine under ASan; a 75-byte input of 1.6e9 pairs ran for 433 s).
constexpr double kMaxWork = 4e6;

Channel extraChannel() {
  static const Channel z = getChannel("fuzz.extra");
  return z;
}

// The knobs an input may set, each with the span of values that counts as sound (floats: the
// slider range, or a plausible span for knobs without one).
enum Kind { kFloat, kEnum, kBool, kChannel, kChannels, kInt };
// clang-format off
struct KnobField { const char* name; Kind kind; float lo = 0, hi = 0; };
// clang-format on
// clang-format off
const KnobField kKnobs[] = {
    {"multiplier", kFloat, 1, 256}, {"frontmultiplier", kFloat, 1, 256}, {"backmultiplier", kFloat, 1, 256},
    {"focalPlane", kFloat, 1, 256}, {"focusRegionSize", kFloat, 1, 256}, {"focalLength", kFloat, 0, 300},
    {"fStop", kFloat, 0.5f, 64}, {"worldScaleMultiplier", kFloat, 0.01f, 100}, {"apertureWidth", kFloat, 1, 100},
    {"apertureHeight", kFloat, 1, 100}, {"bloom", kFloat, 0, 1}, {"bloomCurvature", kFloat, 0, 4},
    {"bloomThreshold", kFloat, 0, 1}, {"kSphAbb", kFloat, -1, 1}, {"kChrAbb", kFloat, -10, 10},
    {"kAspectRatio", kFloat, 0, 2}, {"kSoftness", kFloat, 0, 1}, {"kCurvature", kFloat, -1, 1},
    {"kRotation", kFloat, 0, 1}, {"kChrAbbOff", kFloat, 0, 2}, {"depthSlicesNearAndFar", kFloat, -1000, 1000},
    {"outputType", kEnum}, {"focusOutput", kEnum}, {"depthStyle", kEnum}, {"focusRegionFalloff", kEnum},
    {"worldScale", kEnum}, {"filmFormat", kEnum}, {"kernelType", kEnum}, {"realWorldLens", kBool},
    {"normalizeVisualization", kBool}, {"integrateFrontAndBackSeperately", kBool},
    {"expandBBoxToMaxKernelSize", kBool}, {"overrideNearAndFarForSlices", kBool}, {"depthChannel", kChannel},
    {"defocusMatteChannel", kChannel}, {"bloomMatteChannel", kChannel},
    {"chromicAberrationMatteChannel", kChannel}, {"missingKernelChannel", kChannel},
    {"orvelChannels", kChannels}, {"max_kernelsize", kInt, 1, 40}, {"kNumSides", kInt, 3, 14},
    {"correctiveSlices", kInt, 1, 12}};
// clang-format on
constexpr size_t kKnobCount = sizeof kKnobs / sizeof kKnobs[0];
const char* const kChannelSets[] = {"rgba",
                                    "rgb",
                                    "all",
                                    "none",
                                    "rgba.alpha",
                                    "{rgba.red depth.Z}",
                                    "{rgba.green fuzz.extra}",
                                    "{rgba.blue rgba.alpha}"};

Channel channelChoice(uint8_t m) {
  const Channel table[] = {Chan_Black, Chan_Red,       Chan_Green,     Chan_Blue,     Chan_Alpha,
                           Chan_Z,     extraChannel(), Chan_DeepFront, Chan_DeepBack, Channel(1023)};
  return table[m % 10];
}

// Knob assignments: a count, then per assignment a selector byte and the value's fields. An
// enumeration takes a byte (255: any integer), a channel or channel set a choice byte, an
// integer a small value or (bytes from 250) any integer, a float one field per array element.
void readKnobs(fuzz::Reader& in, ktOrvel& node) {
  for (int n = in.byte() % 24; n > 0; --n) {
    const KnobField& f = kKnobs[in.byte() % kKnobCount];
    Knob* k = node.knob(f.name);
    const uint8_t m = in.byte();
    // clang-format off
    switch (f.kind) {
      case kFloat:
        k->set_value(double(in.decode(m, f.lo, f.hi)));
        for (int i = 1; i < standin::record(k)->arraySize(); ++i) k->set_value(double(in.value(f.lo, f.hi)), i);
        break;
      case kEnum: k->set_value(m == 255 ? double(in.anyInt()) : double(m % (standin::record(k)->enumLabels().size() + 1))); break;
      case kBool: k->set_value(m & 1); break;
      case kChannel: k->set_value(double(channelChoice(m))); break;
      case kChannels: k->from_script(kChannelSets[m % 8]); break;
      case kInt:
        k->set_value(m >= 250 ? double(in.anyInt()) : double(int(f.lo) + m % int(f.hi)));
        // Kernel sizes above 64 cost seconds a frame under the sanitizers and reach no other
        // branch: a larger stored size is folded back into 1 .. 64.
        if (k->get_value() > 64.0 && f.name == std::string("max_kernelsize")) k->set_value(int(k->get_value()) % 64 + 1);
        break;
    }
    // clang-format on
    node.knob_changed(k);
  }
}

// Channel z of `img` over its box: a mode byte (0: one value everywhere, else one per pixel).
// Sound when every value is bounded (and not negative where `weights`).
bool readPlane(fuzz::Reader& in, MemoryIop& img, Channel z, float lo, float hi, bool weights = false) {
  const bool perPixel = in.byte() != 0;
  const float constant = perPixel ? 0.0f : in.value(lo, hi);
  const Box box = img.info().box();
  bool ok = true;
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const float v = perPixel ? in.value(lo, hi) : constant;
      ok = ok && bounded(v) && (!weights || v >= 0.0f);
      img.set(x, y, z, v);
    }
  return ok;
}

std::vector<fuzz::Writer> seeds() {
  // Knob assignments by name: floats exact, the others a choice byte.
  const auto knobs = [](fuzz::Writer& w, std::initializer_list<std::pair<const char*, float>> set) {
    w.byte(uint8_t(set.size()));
    for (const auto& [name, v] : set) {
      size_t i = 0;
      while (std::string(kKnobs[i].name) != name) ++i;
      w.byte(uint8_t(i));
      if (kKnobs[i].kind == kFloat) w.exact(v);
      if (kKnobs[i].kind == kFloat && std::string(name) == "kChrAbbOff") w.exact(v).exact(v);
      if (kKnobs[i].kind != kFloat) w.byte(uint8_t(v));
    }
  };
  // An 8 x 6 flat RGBAZ image: a highlight in red, depths ramping from 2 to 35.
  const auto image = [](fuzz::Writer& w) {
    w.byte(0).byte(1);
    for (int i = 0; i < 48; ++i) w.step(i == 20 ? 4.0f : 0.3f, 0, 4);
    w.byte(0).step(0.2f, 0, 4).byte(0).step(0.6f, 0, 4).byte(0).step(1, 0, 4).byte(1);
    for (int i = 0; i < 48; ++i) w.step(2.0f + 38.0f * float(i % 8) / 8.0f, 0, 300);
  };
  std::vector<fuzz::Writer> out(8);
  // clang-format off
  knobs(out[0].byte(0).byte(7).byte(5).byte(0), {{"multiplier", 9}, {"focalPlane", 10}, {"focusRegionSize", 4},
                                                  {"max_kernelsize", 11}});
  // The reference engine, blades, quadratic falloff, front only.
  knobs(out[1].byte(0x20).byte(7).byte(5).byte(0), {{"kernelType", 2}, {"focusRegionFalloff", 1}, {"focusOutput", 1},
        {"multiplier", 7}, {"focalPlane", 12}, {"kAspectRatio", 0.6f}, {"kCurvature", 0.4f}});
  // Mattes drive defocus, bloom and chromatic aberration.
  knobs(out[2].byte(8).byte(7).byte(5).byte(0), {{"multiplier", 8}, {"focalPlane", 10}, {"bloom", 0.8f},
        {"bloomThreshold", 0.2f}, {"kChrAbb", 5}, {"defocusMatteChannel", 1}, {"bloomMatteChannel", 2},
        {"chromicAberrationMatteChannel", 3}});
  // A deep input, front and back integrated separately.
  knobs(out[3].byte(4).byte(7).byte(5).byte(0), {{"multiplier", 8}, {"focalPlane", 20}, {"focusRegionSize", 6},
        {"integrateFrontAndBackSeperately", 1}});
  // The focal distance view, the filter shape, the focus matte.
  for (int type = 2; type <= 4; ++type)
    knobs(out[2 + type].byte(0).byte(7).byte(5).byte(0), {{"outputType", float(type)}, {"multiplier", 6},
          {"focalPlane", 15}});
  // A real lens, depths in metres, the box beyond the format.
  knobs(out[7].byte(0).byte(7).byte(5).byte(1).byte(1).byte(2).byte(14).byte(11), {{"worldScale", 2},
        {"realWorldLens", 1}, {"focalLength", 50}, {"focalPlane", 4}, {"fStop", 2.8f}});
  // clang-format on
  for (fuzz::Writer& w : out) image(w);
  for (int c = 0; c < 5; ++c) {  // the mattes' RGBA and extra channel
    out[2].byte(1);
    for (int i = 0; i < 48; ++i) out[2].step(float((i + c) % 5) * 0.4f, 0, 2);
  }
  out[3].byte(1);  // green in the samples
  for (int i = 0; i < 48; ++i) {
    out[3].byte(uint8_t(i % 3));
    for (int k = 0; k < i % 3; ++k) {  // front, thickness, alpha, red, green, blue
      out[3].step(5.0f + 20.0f * float(k) + float(i % 8), 0, 300).step(k ? 8.0f : 0.0f, 0, 50);
      out[3].step(k ? 0.5f : 1, 0, 1).step(0.5f, 0, 1).step(0.25f, 0, 1).step(0.1f, 0, 1);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  Thread::numCPUs = 1;  // one kernel-bank worker: a fuzzer process runs one input at a time
  extraChannel();
  return 0;
}

// Scene byte: bit 0 kernel image, 2 deep input, 3 mattes, 4 nothing on Input, 5 the
// reference engine, 6-7 the output context's scale; then width, height, the box, the knobs, the
// flat image and the optional inputs in that order.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t inputs = in.byte();
  const int w = 1 + in.byte() % 12, h = 1 + in.byte() % 10;
  Box box(0, 0, w, h);
  if (in.byte() != 0) {
    const int x = int(in.byte() % 9) - 4, y = int(in.byte() % 9) - 4;
    box.set(x, y, x + int(in.byte() % 17), y + int(in.byte() % 15));
  }
  const Format format(w, h);
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  node.useReferenceEngine(inputs & 32);
  OutputContext context;
  OpHost::setProjectFormat(node, format);
  context.setProxyscale(std::vector<float>{1.0f, 0.5f, 0.25f, 2.0f}[inputs >> 6]);
  node.setOutputContext(context);
  readKnobs(in, node);
  bool sound = true;
  for (const KnobField& f : kKnobs)
    for (int i = 0; f.kind == kFloat && i < standin::record(node.knob(f.name))->arraySize(); ++i) {
      const double v = node.knob(f.name)->get_value(i);
      sound = sound && v >= f.lo && v <= f.hi;
    }

  // Any finite depth is sound; a channel's own output needs bounded values. With a deep input
  // every channel counts for every other: flat values stand in for channels the samples lack.
  MemoryIop image(
      format, box,
      ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z) + (in.flag() ? ChannelSet(extraChannel()) : Mask_None));
  std::vector<bool> channelSound(Chan_Last, true);
  for (Channel z : image.channels()) {
    channelSound[z] = readPlane(in, image, z, 0.0f, z == Chan_Z ? 300.0f : 4.0f);
    if (z == node.renderContext().settings->depthChannel)
      for (int y = box.y(); y < box.t(); ++y)
        for (int x = box.x(); x < box.r(); ++x) sound = sound && std::isfinite(image.at(x, y, z));
    if (inputs & 4) sound = sound && channelSound[z];
  }
  if (!(inputs & 16)) OpHost::connect(node, ktOrvel::kInput, &image);

  std::unique_ptr<MemoryIop> mattes, kernel;
  std::unique_ptr<MemoryDeepOp> deep;
  if (inputs & 8) {
    mattes = std::make_unique<MemoryIop>(format, Box(0, 0, w, h),
                                         ChannelSet(Mask_RGBA) + ChannelSet(extraChannel()));
    for (Channel z : mattes->channels()) sound = readPlane(in, *mattes, z, 0.0f, 2.0f) && sound;
    OpHost::connect(node, ktOrvel::kMattes, mattes.get());
  }
  if (inputs & 1) {  // some kernel images lack green and blue, for the missing-kernel-channel rule
    const int kw = 1 + in.byte() % 6, kh = 1 + in.byte() % 6;
    const ChannelSet channels = in.flag() ? (ChannelSet(Chan_Red) + Chan_Alpha) : Mask_RGBA;
    kernel = std::make_unique<MemoryIop>(Format(kw, kh), Box(0, 0, kw, kh), channels);
    // An aperture is a non-negative weight; negative taps may cancel to nothing.
    for (Channel z : channels) sound = readPlane(in, *kernel, z, 0.0f, 1.0f, true) && sound;
    OpHost::connect(node, ktOrvel::kKernel, kernel.get());
  }
  if (inputs & 4) {  // per pixel 0 .. 3 samples: front, thickness, alpha, the colours (premultiplied)
    ChannelSet channels = ChannelSet(Mask_Deep) + (ChannelSet(Chan_Red) + Chan_Blue + Chan_Alpha);
    const uint8_t layout = in.byte();
    if (layout & 1) channels += Chan_Green;
    if (layout & 2) channels += extraChannel();
    deep = std::make_unique<MemoryDeepOp>(format, box, channels);
    const ChannelMap& map = deep->channelMap();
    for (int y = box.y(); y < box.t(); ++y)
      for (int x = box.x(); x < box.r(); ++x) {
        const size_t count = in.byte() % 4;
        std::vector<float> samples(count * size_t(map.size()), 0.0f);
        for (size_t i = 0; i < count; ++i) {
          float* s = samples.data() + i * size_t(map.size());
          const float front = in.value(0, 300), back = front + in.value(0, 50), alpha = in.value(0, 1);
          s[map.chanNo(Chan_DeepFront)] = front;
          s[map.chanNo(Chan_DeepBack)] = back;
          s[map.chanNo(Chan_Alpha)] = alpha;
          sound = sound && std::isfinite(front) && std::isfinite(back) && back >= front && alpha >= 0.0f &&
                  alpha <= 1.0f;
          for (Channel z : channels) {
            if (z == Chan_Alpha || z == Chan_DeepFront || z == Chan_DeepBack) continue;
            s[map.chanNo(z)] = in.value(0, 1);
            // Un-premultiplied colours stay bounded: the engine divides by alpha.
            sound = sound && bounded(s[map.chanNo(z)]) &&
                    (alpha == 0.0f || std::fabs(s[map.chanNo(z)]) <= kBound * alpha);
          }
        }
        deep->setPixel(x, y, samples.data(), count);
      }
    OpHost::connect(node, ktOrvel::kDeepInput, deep.get());
  }

  if (frameWork(node, deep != nullptr) > kMaxWork) return 0;
  RenderOptions options;
  options.threads = 1;
  const RenderReport report = renderFrame(node, options);
  if (!report.errors.empty()) {
    const ktOrvelSettings& s = *node.renderContext().settings;
    for (const std::string& e : report.errors)
      FUZZ_CHECK((e == "No input kernel connected!" && s.kernelType == kKernelInput && !kernel) ||
                 (e.rfind("kAspectRatio ", 0) == 0 && !(s.kAspectRatio > 0.0f)) ||
                 (e.rfind("focalLength ", 0) == 0 && s.realWorldLens && !(s.focalLength > 0.0f)) ||
                 (e.rfind("fStop ", 0) == 0 && s.realWorldLens && !(s.fStop > 0.0f)));
    return 0;
  }
  FUZZ_CHECK(report.image != nullptr && report.image->info().box() == node.info().box());
  if (!sound) return 0;
  const Box& b = report.image->info().box();
  const size_t n = b.w() > 0 && b.h() > 0 ? size_t(b.w()) * size_t(b.h()) : 0;
  for (Channel z : report.image->channels())
    for (size_t i = 0; channelSound[z] && i < n; ++i) {
      FUZZ_CHECK(std::isfinite(report.image->plane(z)[i]));
    }

  // The other flat engine renders the same frame and must agree, as the engine agreement tests
  // ask: per channel, the largest difference at most 1e-5 of the channel's largest reference
  // value, where the kernels fit the frame (larger ones sum so many taps into a pixel that the
  // reference's own rounding passes the tolerance). The largest difference is printed as it grows.
  static const bool engines = std::getenv("ORVEL_FUZZ_ENGINES") != nullptr;
  if (!engines || deep || 2 * node.renderContext().padding >= std::min(b.w(), b.h())) return 0;
  const bool reference = node.usesReferenceEngine();
  node.useReferenceEngine(!reference);
  const RenderReport other = renderFrame(node, options);
  FUZZ_CHECK(other.image != nullptr && other.image->info().box() == b);
  const MemoryIop& ref = reference ? *report.image : *other.image;
  const MemoryIop& fast = reference ? *other.image : *report.image;
  static double record = 0.0;
  for (Channel z : report.image->channels()) {
    double largest = 0.0, largestValue = 0.0;
    for (size_t i = 0; channelSound[z] && i < n; ++i) {
      largestValue = std::max(largestValue, std::fabs(double(ref.plane(z)[i])));
      largest = std::max(largest, std::fabs(double(fast.plane(z)[i]) - double(ref.plane(z)[i])));
    }
    const double relative = largestValue > 0.0 ? largest / largestValue : largest;
    if (relative > record)
      std::fprintf(stderr, "channel %d: largest difference %.3g of its largest value\n", int(z),
                   record = relative);
    FUZZ_CHECK(largest <= 1e-5 * largestValue);
  }
  return 0;
}
