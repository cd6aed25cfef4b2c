// Whole frames of ktOrvel through the host's render driver on small arbitrary scenes: an image
// of up to 12 x 10 pixels whose box may lie anywhere around its format, any depths, settings
// stored through the knobs from their ranges and far beyond, and optionally a kernel image, a
// camera, a deep input and mattes, for every output type and both flat engines. Checked: no
// crash and no bad memory access (the sanitizers), the only validation error is the missing
// kernel input, and every output channel is finite wherever the scene is sound: settings within
// the knobs' ranges (a plausible span for knobs without one), finite depths, bounded colours,
// mattes and kernel values, deep samples with back >= front and alpha in 0 .. 1. With
// ORVEL_FUZZ_ENGINES set, the fast and the reference flat engine must also agree there.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/CameraOp.h"
#include "DDImage/MemoryDeepOp.h"
#include "DDImage/MemoryIop.h"
#include "DDImage/RenderDriver.h"
#include "DDImage/Thread.h"
#include "fuzzInput.h"
#include "ktOrvel.h"

using namespace DD::Image;

namespace {

// Magnitudes up to which colours, mattes and kernel values count as sound: sums of a few
// thousand of them stay far from overflowing a float.
constexpr float kBound = 1e6f;

Channel extraChannel() {
  static const Channel z = findChannel("fuzz.extra", true);
  return z;
}

// Float knobs with the span the finiteness check accepts: the slider range where the knob has
// one, else a plausible span for the quantity.
struct FloatKnob {
  const char* name;
  float lo, hi;
};
const FloatKnob kFloatKnobs[] = {
    {"multiplier", 1, 256},
    {"frontmultiplier", 1, 256},
    {"backmultiplier", 1, 256},
    {"focalPlane", 1, 256},
    {"focusRegionSize", 1, 256},
    {"focalLength", 0, 300},
    {"fStop", 0.5f, 64},
    {"worldScaleMultiplier", 0.01f, 100},
    {"apertureWidth", 1, 100},
    {"apertureHeight", 1, 100},
    {"bloom", 0, 1},
    {"bloomCurvature", 0, 4},
    {"bloomThreshold", 0, 1},
    {"kSphAbb", -1, 1},
    {"kChrAbb", -10, 10},
    {"kAspectRatio", 0, 2},
    {"kSoftness", 0, 1},
    {"kCurvature", -1, 1},
    {"kRotation", 0, 1},
    {"kChrAbbOff", 0, 2},
    {"depthSlicesNearAndFar", -1000, 1000},
};
const char* const kEnumKnobs[] = {"outputType", "focusOutput", "depthStyle", "focusRegionFalloff",
                                  "worldScale", "filmFormat",  "kernelType"};
const char* const kBoolKnobs[] = {"realWorldLens", "normalizeVisualization",
                                  "integrateFrontAndBackSeperately", "expandBBoxToMaxKernelSize",
                                  "overrideNearAndFarForSlices"};
const char* const kChannelKnobs[] = {"depthChannel", "defocusMatteChannel", "bloomMatteChannel",
                                     "chromicAberrationMatteChannel", "missingKernelChannel"};
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
  return table[m % (sizeof table / sizeof table[0])];
}

bool within(double v, float lo, float hi) { return v >= lo && v <= hi; }
bool bounded(float v) { return std::fabs(v) <= kBound; }  // false for NaN and infinities

// What the finiteness check needs to know about the scene.
struct Soundness {
  bool settings = true;
  bool inputs = true;
  std::vector<bool> channel = std::vector<bool>(Chan_Last, true);  // flat values bounded
};

struct Scene {
  int w = 1, h = 1;
  Box box;
  bool kernel = false, camera = false, deep = false, mattes = false, noFlat = false, reference = false;
  float scale = 1.0f;
};

// Inputs byte: bit 0 kernel image, 1 camera, 2 deep input, 3 mattes, 4 nothing on Input,
// 5 reference engine, 6-7 the output context's scale.
Scene readScene(fuzz::Reader& in) {
  Scene s;
  const uint8_t inputs = in.byte();
  s.kernel = inputs & 1;
  s.camera = inputs & 2;
  s.deep = inputs & 4;
  s.mattes = inputs & 8;
  s.noFlat = inputs & 16;
  s.reference = inputs & 32;
  const float scales[] = {1.0f, 0.5f, 0.25f, 2.0f};
  s.scale = scales[inputs >> 6];
  s.w = 1 + in.byte() % 12;
  s.h = 1 + in.byte() % 10;
  s.box = Box(0, 0, s.w, s.h);
  if (in.byte() != 0) {
    const int x = int(in.byte() % 9) - 4, y = int(in.byte() % 9) - 4;
    s.box = Box(x, y, x + int(in.byte() % 17), y + int(in.byte() % 15));
  }
  return s;
}

// Knob fields, in order: enumerations, booleans, channels, the channel set, the three integers,
// then every float knob value. A zero mode byte keeps the knob's default.
void readKnobs(fuzz::Reader& in, ktOrvel& node, Soundness& sound) {
  for (const char* name : kEnumKnobs) {
    Knob* k = node.knob(name);
    const uint8_t m = in.byte();
    if (m == 0) continue;
    const int labels = int(k->enumLabels().size());
    k->set_value(m == 255 ? double(in.anyInt()) : double(int(m - 1) % (labels + 1)));
    node.knob_changed(k);
  }
  const uint8_t toggles = in.byte();
  for (size_t i = 0; i < sizeof kBoolKnobs / sizeof kBoolKnobs[0]; ++i) {
    if (!((toggles >> i) & 1)) continue;
    Knob* k = node.knob(kBoolKnobs[i]);
    k->set_value(k->get_value() != 0.0 ? 0.0 : 1.0);
    node.knob_changed(k);
  }
  for (const char* name : kChannelKnobs) {
    const uint8_t m = in.byte();
    if (m == 0) continue;
    Knob* k = node.knob(name);
    k->set_value(double(channelChoice(m - 1)));
    node.knob_changed(k);
  }
  if (const uint8_t m = in.byte()) {
    Knob* k = node.knob("orvelChannels");
    k->from_script(kChannelSets[(m - 1) % (sizeof kChannelSets / sizeof kChannelSets[0])]);
    node.knob_changed(k);
  }
  // Integers: a small value most of the time, any integer now and then, always stored through
  // the knob, which clamps. Kernel sizes above 64 cost seconds a frame under the sanitizers and
  // reach no other branch: a larger stored size is folded back into 1 .. 64.
  struct IntKnob {
    const char* name;
    int base, span;
    bool keepOnZero;
  };
  const IntKnob ints[] = {
      {"max_kernelsize", 1, 40, false}, {"kNumSides", 3, 14, true}, {"correctiveSlices", 1, 12, true}};
  for (const IntKnob& i : ints) {
    const uint8_t m = in.byte();
    Knob* k = node.knob(i.name);
    if (m == 0 && i.keepOnZero) continue;
    k->set_value(m >= 250 ? double(in.anyInt()) : double(i.base + m % i.span));
    if (k == node.knob("max_kernelsize") && k->get_value() > 64.0)
      k->set_value(double(int(k->get_value()) % 64 + 1));
    node.knob_changed(k);
  }
  for (const FloatKnob& f : kFloatKnobs) {
    Knob* k = node.knob(f.name);
    for (int i = 0; i < k->arraySize(); ++i) {
      const uint8_t m = in.byte();
      if (m != 0) k->set_value(double(in.decode(m, f.lo, f.hi)), i);
    }
    node.knob_changed(k);
    for (int i = 0; i < k->arraySize(); ++i)
      sound.settings = sound.settings && within(k->get_value(i), f.lo, f.hi);
  }
}

// One channel of an image: a mode byte (0: one value everywhere, else one value per pixel).
template <typename Set>
void readPlane(fuzz::Reader& in, const Box& box, float lo, float hi, Set set, bool& ok) {
  const bool perPixel = in.byte() != 0;
  const float constant = perPixel ? 0.0f : in.value(lo, hi);
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const float v = perPixel ? in.value(lo, hi) : constant;
      ok = ok && bounded(v);
      set(x, y, v);
    }
}

// Any finite depth is sound, however large; a channel's own output needs bounded values. With a
// deep input every channel counts for every other: the flat alpha composites the front pass over
// the back one, and flat values stand in for channels the samples lack.
void readFlat(fuzz::Reader& in, MemoryIop& image, Channel depthChannel, bool deep, Soundness& sound) {
  const Box box = image.info().box();
  for (Channel z : image.channels()) {
    bool ok = true;
    readPlane(
        in, box, 0.0f, z == Chan_Z ? 300.0f : 4.0f, [&](int x, int y, float v) { image.set(x, y, z, v); },
        ok);
    if (z == depthChannel)
      for (int y = box.y(); y < box.t(); ++y)
        for (int x = box.x(); x < box.r(); ++x)
          sound.inputs = sound.inputs && std::isfinite(image.at(x, y, z));
    sound.channel[z] = ok;
    if (deep) sound.inputs = sound.inputs && ok;
  }
}

void readMattes(fuzz::Reader& in, MemoryIop& mattes, Soundness& sound) {
  for (Channel z : mattes.channels()) {
    bool ok = true;
    readPlane(
        in, mattes.info().box(), 0.0f, 2.0f, [&](int x, int y, float v) { mattes.set(x, y, z, v); }, ok);
    sound.inputs = sound.inputs && ok;
  }
}

std::unique_ptr<MemoryIop> readKernel(fuzz::Reader& in, Soundness& sound) {
  const int w = 1 + in.byte() % 6, h = 1 + in.byte() % 6;
  // Some kernel images lack green and blue, for the missing-kernel-channel rule.
  const ChannelSet channels = in.flag() ? ChannelSet{Chan_Red, Chan_Alpha} : Mask_RGBA;
  auto kernel = std::make_unique<MemoryIop>(Format(w, h), Box(0, 0, w, h), channels);
  for (Channel z : channels) {
    bool ok = true;
    readPlane(
        in, kernel->info().box(), 0.0f, 1.0f, [&](int x, int y, float v) { kernel->set(x, y, z, v); }, ok);
    // An aperture image is a non-negative weight; negative taps may cancel to nothing.
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ok = ok && kernel->at(x, y, z) >= 0.0f;
    sound.inputs = sound.inputs && ok;
  }
  return kernel;
}

void readCamera(fuzz::Reader& in, CameraOp& camera, Soundness& sound) {
  const float focalLength = in.value(1, 300), focus = in.value(1, 256), fStop = in.value(0.5f, 64);
  const float width = in.value(1, 100), height = in.value(1, 100);
  camera.focal_length(focalLength);
  camera.focal_point(focus);
  camera.fStop(fStop);
  camera.film_width(width);
  camera.film_height(height);
  sound.settings = sound.settings && within(focalLength, 1, 300) && within(focus, 1, 256) &&
                   within(fStop, 0.5f, 64) && within(width, 1, 100) && within(height, 1, 100);
}

// Deep samples over the flat image's box: per pixel a count of 0 .. 3, then per sample front,
// thickness, alpha and the colours (premultiplied).
std::unique_ptr<MemoryDeepOp> readDeep(fuzz::Reader& in, const Format& format, const Box& box,
                                       Soundness& sound) {
  ChannelSet channels = Mask_Deep + ChannelSet(Chan_Alpha) + ChannelSet{Chan_Red, Chan_Blue};
  const uint8_t layout = in.byte();
  if (layout & 1) channels += Chan_Green;
  if (layout & 2) channels += extraChannel();
  auto deep = std::make_unique<MemoryDeepOp>(format, box, channels);
  const ChannelMap& map = deep->channelMap();
  std::vector<float> samples;
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const size_t count = in.byte() % 4;
      samples.assign(count * size_t(map.size()), 0.0f);
      for (size_t i = 0; i < count; ++i) {
        float* s = samples.data() + i * size_t(map.size());
        const float front = in.value(0, 300);
        const float back = front + in.value(0, 50);
        const float alpha = in.value(0, 1);
        s[map.column(Chan_DeepFront)] = front;
        s[map.column(Chan_DeepBack)] = back;
        s[map.column(Chan_Alpha)] = alpha;
        bool ok =
            std::isfinite(front) && std::isfinite(back) && back >= front && alpha >= 0.0f && alpha <= 1.0f;
        for (Channel z : channels) {
          if (z == Chan_Alpha || z == Chan_DeepFront || z == Chan_DeepBack) continue;
          const float c = in.value(0, 1);
          s[map.column(z)] = c;
          // Un-premultiplied colours stay bounded: the engine divides by alpha.
          ok = ok && bounded(c) && (alpha == 0.0f || std::fabs(c) <= kBound * alpha);
        }
        sound.inputs = sound.inputs && ok;
      }
      deep->setPixel(x, y, samples.data(), count);
    }
  return deep;
}

// The scene and the frame, for the report of a violated property (ORVEL_FUZZ_DUMP set).
void dumpImage(const char* what, const MemoryIop& image) {
  const Box& b = image.info().box();
  std::fprintf(stderr, "%s: box %d %d %d %d\n", what, b.x(), b.y(), b.r(), b.t());
  for (Channel z : image.channels()) {
    std::fprintf(stderr, "  %s:", getName(z).c_str());
    for (int y = b.t() - 1; y >= b.y(); --y) {
      std::fprintf(stderr, "\n   ");
      for (int x = b.x(); x < b.r(); ++x)
        std::fprintf(stderr, " %.9g", double(image.plane(z)[size_t(y - b.y()) * b.w() + (x - b.x())]));
    }
    std::fprintf(stderr, "\n");
  }
}

void dumpScene(const ktOrvel& node, const Scene& scene, const MemoryIop& image, const RenderReport& report) {
  if (!std::getenv("ORVEL_FUZZ_DUMP")) return;
  std::fprintf(stderr,
               "format %d x %d, kernel %d camera %d deep %d mattes %d noFlat %d reference %d scale %g\n",
               scene.w, scene.h, scene.kernel, scene.camera, scene.deep, scene.mattes, scene.noFlat,
               scene.reference, double(scene.scale));
  for (const auto& k : node.allKnobs())
    if (!k->name().empty()) std::fprintf(stderr, "  %s %s\n", k->name().c_str(), k->to_script().c_str());
  std::fprintf(stderr, "padding %d kernelSizeLimit %d\n", node.padding, node.kernelSizeLimit);
  dumpImage("input", image);
  if (report.image) dumpImage("output", *report.image);
}

void checkFrame(const ktOrvel& node, const Scene& scene, const RenderReport& report, const Soundness& sound) {
  if (!report.errors.empty()) {
    // The one validation error the node reports: an "Input" kernel with nothing to read.
    FUZZ_CHECK(report.errors.size() == 1 && report.errors[0] == "No input kernel connected!");
    FUZZ_CHECK(node.settings.kernelType == kKernelInput && !scene.kernel);
    return;
  }
  FUZZ_CHECK(report.image != nullptr);
  const Box& box = report.image->info().box();
  FUZZ_CHECK(box == node.info().box());
  if (!sound.settings || !sound.inputs) return;
  for (Channel z : report.image->channels()) {
    if (!sound.channel[z]) continue;
    const float* p = report.image->plane(z);
    const size_t n = box.empty() ? 0 : size_t(box.w()) * size_t(box.h());
    for (size_t i = 0; i < n; ++i) {
      if (std::isfinite(p[i])) continue;
      std::fprintf(stderr, "channel %d pixel (%d, %d) is %g\n", int(z), box.x() + int(i % box.w()),
                   box.y() + int(i / box.w()), double(p[i]));
      FUZZ_CHECK(std::isfinite(p[i]));
    }
  }
}

// Seed inputs are written field by field in the order the target reads them.
struct SeedWriter {
  fuzz::Writer w;

  void scene(uint8_t inputs, int width, int height) {
    w.bytes({inputs, uint8_t(width - 1), uint8_t(height - 1), 0});
  }
  // Knob fields: enumeration values (index + 1, 0 keeps the default), toggled booleans, channel
  // choices, the kernel size and the float knobs named in `floats`.
  void knobs(std::initializer_list<uint8_t> enums, uint8_t toggles, std::initializer_list<uint8_t> channels,
             int kernelSize, std::initializer_list<std::pair<const char*, std::vector<float>>> floats) {
    std::vector<uint8_t> e(enums);
    e.resize(sizeof kEnumKnobs / sizeof kEnumKnobs[0], 0);
    for (uint8_t v : e) w.byte(v);
    w.byte(toggles);
    std::vector<uint8_t> c(channels);
    c.resize(sizeof kChannelKnobs / sizeof kChannelKnobs[0], 0);
    for (uint8_t v : c) w.byte(v);
    w.byte(0);  // channel set kept
    w.bytes({uint8_t(kernelSize - 1), 0, 0});
    for (const FloatKnob& f : kFloatKnobs) {
      const std::vector<float>* values = nullptr;
      for (const auto& given : floats)
        if (std::string(given.first) == f.name) values = &given.second;
      const size_t slots = std::string(f.name) == "kChrAbbOff"              ? 3
                           : std::string(f.name) == "depthSlicesNearAndFar" ? 2
                                                                            : 1;
      for (size_t i = 0; i < slots; ++i) {
        if (values && i < values->size())
          w.exact((*values)[i]);
        else
          w.byte(0);
      }
    }
  }
  template <typename Fn>
  void plane(int pixels, float lo, float hi, Fn value) {
    w.byte(1);
    for (int i = 0; i < pixels; ++i) w.step(value(i), lo, hi);
  }
  void constant(float v, float lo, float hi) { w.byte(0).step(v, lo, hi); }
};

std::vector<fuzz::Writer> seeds() {
  std::vector<fuzz::Writer> out;
  const int W = 8, H = 6, N = W * H;
  auto rampDepth = [&](int i) { return 2.0f + 38.0f * float(i % W) / float(W); };
  auto flatRGBAZ = [&](SeedWriter& s) {
    s.w.byte(0);  // no extra channel
    s.plane(N, 0, 4, [](int i) { return i == 20 ? 4.0f : 0.3f; });
    s.constant(0.2f, 0, 4);
    s.constant(0.6f, 0, 4);
    s.constant(1, 0, 4);
    s.plane(N, 0, 300, rampDepth);
  };
  {
    SeedWriter s;  // blur on a depth ramp with a highlight, 3 slices
    s.scene(0, W, H);
    s.knobs({}, 0, {}, 12, {{"multiplier", {9}}, {"focalPlane", {10}}, {"focusRegionSize", {4}}});
    flatRGBAZ(s);
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // the reference engine, blades, quadratic falloff, front only
    s.scene(32, W, H);
    s.knobs({0, 2, 0, 2, 0, 0, 3}, 0, {}, 9,
            {{"multiplier", {7}}, {"focalPlane", {12}}, {"kAspectRatio", {0.6f}}, {"kCurvature", {0.4f}}});
    flatRGBAZ(s);
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // mattes drive defocus, bloom and chromatic aberration
    s.scene(8, W, H);
    s.knobs({}, 0, {0, 2, 3, 4}, 10,
            {{"multiplier", {8}},
             {"focalPlane", {10}},
             {"bloom", {0.8f}},
             {"bloomThreshold", {0.2f}},
             {"kChrAbb", {5}}});
    flatRGBAZ(s);
    for (int c = 0; c < 5; ++c) s.plane(N, 0, 2, [c](int i) { return float((i + c) % 5) * 0.4f; });
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // a deep input, front and back integrated separately
    s.scene(4, W, H);
    s.knobs({}, 4, {}, 10, {{"multiplier", {8}}, {"focalPlane", {20}}, {"focusRegionSize", {6}}});
    flatRGBAZ(s);
    s.w.byte(1);  // green in the samples
    for (int i = 0; i < N; ++i) {
      const int count = i % 3;
      s.w.byte(uint8_t(count));
      for (int k = 0; k < count; ++k) {
        s.w.step(5.0f + 20.0f * float(k) + float(i % W), 0, 300).step(k == 0 ? 0.0f : 8.0f, 0, 50);
        s.w.step(k == 0 ? 1.0f : 0.5f, 0, 1).step(0.5f, 0, 1).step(0.25f, 0, 1).step(0.1f, 0, 1);
      }
    }
    out.push_back(s.w);
  }
  for (uint8_t type : {3, 4, 5}) {
    SeedWriter s;  // the focal distance view, the filter shape, the focus matte
    s.scene(0, W, H);
    s.knobs({type}, 0, {}, 8, {{"multiplier", {6}}, {"focalPlane", {15}}});
    flatRGBAZ(s);
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // a kernel image lacking green and blue, read through the missing-channel rule
    s.scene(1, W, H);
    s.knobs({0, 0, 0, 0, 0, 0, 1}, 0, {0, 0, 0, 0, 2}, 8, {{"multiplier", {6}}, {"focalPlane", {10}}});
    flatRGBAZ(s);
    s.w.bytes({3, 2, 1});
    for (int c = 0; c < 2; ++c) s.plane(12, 0, 1, [](int i) { return i % 3 == 1 ? 1.0f : 0.25f; });
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // a real lens from a camera, depths in metres, 1/z
    s.scene(2, W, H);
    s.knobs({0, 0, 2, 0, 3}, 1, {}, 16, {});
    s.w.byte(0);
    for (int c = 0; c < 4; ++c) s.constant(0.5f, 0, 4);
    s.plane(N, 0, 300, [](int i) { return 0.05f + 0.1f * float(i % 7); });
    s.w.exact(50).exact(4).exact(2.8f).exact(36).exact(24);
    out.push_back(s.w);
  }
  {
    SeedWriter s;  // the box beyond the format, grown by the kernel size
    s.w.bytes({0, W - 1, H - 1, 1, 1, 2, 14, 11});
    s.knobs({}, 8, {}, 6, {{"multiplier", {5}}, {"focalPlane", {10}}});
    flatRGBAZ(s);
    out.push_back(s.w);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  // One kernel-bank worker: a fuzzer process runs one input at a time.
  Thread::numCPUs = 1;
  extraChannel();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const Scene scene = readScene(in);
  Soundness sound;
  const Format format(scene.w, scene.h);

  ktOrvel node(nullptr);
  node.build_knobs();
  node.referenceEngine = scene.reference;
  OutputContext context;
  context.format(format);
  context.scale(scene.scale);
  node.setOutputContext(context);
  readKnobs(in, node, sound);

  const bool extra = in.flag();
  MemoryIop image(format, scene.box,
                  Mask_RGBA + ChannelSet(Chan_Z) + (extra ? ChannelSet(extraChannel()) : Mask_None));
  readFlat(in, image, node.settings.depthChannel, scene.deep, sound);
  if (!scene.noFlat) node.connect(ktOrvel::kInput, &image);

  std::unique_ptr<MemoryIop> mattes, kernel;
  std::unique_ptr<MemoryDeepOp> deep;
  CameraOp camera;
  if (scene.mattes) {
    mattes = std::make_unique<MemoryIop>(format, Box(0, 0, scene.w, scene.h),
                                         Mask_RGBA + ChannelSet(extraChannel()));
    readMattes(in, *mattes, sound);
    node.connect(ktOrvel::kMattes, mattes.get());
  }
  if (scene.kernel) {
    kernel = readKernel(in, sound);
    node.connect(ktOrvel::kKernel, kernel.get());
  }
  if (scene.camera) {
    readCamera(in, camera, sound);
    node.connect(ktOrvel::kCamera, &camera);
  }
  if (scene.deep) {
    deep = readDeep(in, format, scene.box, sound);
    node.connect(ktOrvel::kDeepInput, deep.get());
  }

  RenderOptions options;
  options.threads = 1;
  const RenderReport report = renderFrame(node, options);
  dumpScene(node, scene, image, report);
  checkFrame(node, scene, report, sound);

  // With ORVEL_FUZZ_ENGINES set, a flat frame is rendered again with the other flat engine and
  // must agree, as the engine agreement tests ask, wherever the scene is sound and the kernels
  // fit the frame (larger ones sum so many taps into a pixel that the reference's own rounding
  // passes the tolerance).
  static const bool engines = std::getenv("ORVEL_FUZZ_ENGINES") != nullptr;
  const bool kernelsFit = 2 * node.padding < std::min(format.width(), format.height());
  if (engines && kernelsFit && !scene.deep && report.image && sound.settings && sound.inputs) {
    node.referenceEngine = !scene.reference;
    const RenderReport other = renderFrame(node, options);
    FUZZ_CHECK(other.image != nullptr && other.image->info().box() == report.image->info().box());
    const Box& b = report.image->info().box();
    const size_t n = b.empty() ? 0 : size_t(b.w()) * size_t(b.h());
    const MemoryIop& reference = scene.reference ? *report.image : *other.image;
    const MemoryIop& fast = scene.reference ? *other.image : *report.image;
    // Per channel, the largest difference at most 1e-5 of the channel's largest reference value.
    static double record = 0.0;  // the largest relative difference so far, printed as it grows
    for (Channel z : report.image->channels()) {
      if (!sound.channel[z]) continue;
      const float* p = fast.plane(z);
      const float* q = reference.plane(z);
      double largest = 0.0, largestValue = 0.0;
      size_t worst = 0;
      for (size_t i = 0; i < n; ++i) {
        largestValue = std::max(largestValue, std::fabs(double(q[i])));
        const double difference = std::fabs(double(p[i]) - double(q[i]));
        if (!(difference <= largest)) largest = difference, worst = i;
      }
      const double relative = largestValue > 0.0 ? largest / largestValue : largest;
      if (relative > record || !(largest <= 1e-5 * largestValue)) {
        record = std::max(record, relative);
        std::fprintf(stderr,
                     "channel %d: largest difference %.3g (%.3g of the largest value) at (%d, %d): %.9g "
                     "fast, %.9g reference\n",
                     int(z), largest, relative, b.x() + int(worst % b.w()), b.y() + int(worst / b.w()),
                     double(p[worst]), double(q[worst]));
      }
      FUZZ_CHECK(largest <= 1e-5 * largestValue);
    }
  }
  return 0;
}
