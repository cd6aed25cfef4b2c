#include "bench/benchCommand.h"

#include <hwy/targets.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <thread>

#include "DDImage/Thread.h"
#include "bench/process.h"
#include "bench/processBench.h"
#include "bench/realDeepFrame.h"
#include "cli/knobs.h"
#include "cli/messages.h"
#include "files/imageWriter.h"
#include "render/nodeSession.h"
#include "render/pluginLoader.h"
#include "scenes/deepScenes.h"
#include "scenes/flatScenes.h"
#include "standin/OpHost.h"

using namespace DD::Image;
using namespace standin;

namespace {

// The vector target the fast engine's sweeps run on in this process: the best one Highway finds
// on the processor, under any cap set by ORVEL_SIMD_TARGET once the node has rendered.
std::string vectorTarget() {
  const int64_t supported = hwy::SupportedTargets() & HWY_TARGETS;
  const int64_t best = supported & -supported;  // better targets have the lower bits
  return best == HWY_AVX3 ? "AVX-512" : hwy::TargetName(best);
}

// A reference engine run longer than this is not repeated.
constexpr double kSlowSeconds = 20.0;

struct BenchCase {
  const char* name;
  bool deep;
  int maxKernel;
  bool largeBlurs = false;       // diameters of about 55 pixels on average, 100 at most
  int frameScale = 1;            // times the bench's frame size in each direction
  const char* target = nullptr;  // a vector target forced on the fast engine, which alone runs
  bool occluder = false;         // the occluder deep frame, fast engine only
  int lensTraceSamples = 0;      // above 0: "Lens Trace" with this many samples, against the case before
  bool seeThrough = false;       // "See Through", both engines, against the "Visible Share" case before
  bool realDeep = false;  // the merged real deep renders at the node's defaults, fast engine only
};

const BenchCase kCases[] = {
    {"flat, max_kernelsize 64", false, 64},
    {"flat, max_kernelsize 256", false, 256},
    {"deep, max_kernelsize 64", true, 64},
    {"flat large blurs, 128", false, 128, true},
    {"  the same, AVX2 forced", false, 128, true, 1, "avx2"},
    {"flat, 256, twice the size", false, 256, false, 2},
    {"occluder, Visible Share", true, 64, false, 1, nullptr, true},
    {"occluder, See Through", true, 64, false, 1, nullptr, true, 0, true},
    {"occluder, Lens Trace 64", true, 64, false, 1, nullptr, true, 64},
    {"occluder, Lens Trace 256", true, 64, false, 1, nullptr, true, 256},
    {"real deep, See Through", true, 64, false, 1, nullptr, false, 0, true, true},
    {"real deep, Lens Trace 128", true, 64, false, 1, nullptr, false, 128, false, true},
};

// What a child reports: the header, then the RGBA of the format, four floats a pixel.
struct EngineFigures {
  double seconds;
  double firstSeconds;  // the first render: the node also opens (padding scan, kernel bank)
  double baseBytes;  // resident before the frame is built: the program and its libraries
  double peakBytes;
  int runs;
  int ok;
  char target[32];  // the vector target the fast engine ran on
  char error[256];
};

size_t areaBytes(int width, int height) {
  return sizeof(EngineFigures) + size_t(width) * size_t(height) * 4 * sizeof(float);
}

float* areaPixels(void* area) {
  return reinterpret_cast<float*>(static_cast<char*>(area) + sizeof(EngineFigures));
}

// The knobs of the bench frame: focus at 100, an average blur of about 20 pixels; or with large
// blurs, about 55 (the far background 60, the foreground 100).
std::vector<KnobAssignment> benchKnobs(const BenchCase& c) {
  const std::string values[][2] = {
      {"focalPlane", "100"},
      {"focusRegionSize", "60"},
      {"multiplier", c.largeBlurs ? "50" : "16"},
      {"backmultiplier", c.largeBlurs ? "1.2" : "1.5"},
      {"frontmultiplier", c.largeBlurs ? "2" : std::to_string(c.maxKernel / 16.0)},
      {"max_kernelsize", std::to_string(c.maxKernel)},
  };
  std::vector<KnobAssignment> out;
  if (!c.realDeep)
    for (const auto& v : values) out.push_back(KnobAssignment{v[0], v[1], "bench"});
  if (c.seeThrough) out.push_back(KnobAssignment{"deepMethod", "See Through", "bench"});
  if (c.lensTraceSamples > 0) {
    out.push_back(KnobAssignment{"deepMethod", "Lens Trace", "bench"});
    out.push_back(KnobAssignment{"lensTraceSamples", std::to_string(c.lensTraceSamples), "bench"});
  }
  return out;
}

// Records `status` for the parent; returns the child's exit status.
int fail(EngineFigures& figures, const Status& status) {
  std::snprintf(figures.error, sizeof figures.error, "%s", status.message.c_str());
  figures.ok = 0;
  return 1;
}

// Renders `runs` times (once when the reference engine proves slow) and keeps the fastest.
Status timeRenders(Iop& iop, const BenchRequest& request, bool reference, EngineFigures& figures,
                   std::unique_ptr<MemoryIop>& image) {
  std::vector<std::string> warnings;
  FrameSettings settings;
  settings.threads = request.threads;
  const int runs = request.quick ? 1 : request.runs;
  figures.seconds = std::numeric_limits<double>::infinity();
  for (figures.runs = 0; figures.runs < runs;) {
    image.reset();  // the peak is one render's: the previous picture is not kept through the next
    const auto start = std::chrono::steady_clock::now();
    if (Status s = renderNodeFrame(iop, settings, image, warnings); !s.ok()) return s;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.seconds = std::min(figures.seconds, seconds);
    if (figures.runs == 0) figures.firstSeconds = seconds;
    ++figures.runs;
    if (reference && seconds > kSlowSeconds) break;
  }
  return Status::success();
}

// `name` as a file name: letters and digits kept, every other run of characters one '-'.
std::string fileNameOf(const std::string& name) {
  std::string out;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)))
      out += c;
    else if (!out.empty() && out.back() != '-')
      out += '-';
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out;
}

// With --keep, writes the picture as a float EXR into the folder, named for the case and engine.
Status keepPicture(const MemoryIop& image, const BenchCase& c, bool reference, const std::string& folder) {
  if (folder.empty()) return Status::success();
  WriteOptions options;
  options.pixels = PixelChoice::Float;
  std::vector<std::string> warnings;
  const std::string path =
      folder + "/" + fileNameOf(c.name) + (reference ? "-reference" : "-fast") + ".exr";
  return writeImage(image, ChannelNames(), path, options, warnings);
}

// The child's work: builds the frame, renders it with one engine, reports figures and RGBA.
int benchEngine(const BenchCase& c, bool reference, const BenchRequest& request, int width, int height,
                void* area) {
  EngineFigures& figures = *static_cast<EngineFigures*>(area);
  figures.baseBytes = residentBytes();
  if (c.target) setenv("ORVEL_SIMD_TARGET", c.target, 1);  // read by the node's first render
  std::unique_ptr<Op> node;
  Iop* iop = nullptr;
  if (Status s = createOrvelNode(node, iop); !s.ok()) return fail(figures, s);
  if (Status s = chooseEngine(*node, reference); !s.ok()) return fail(figures, s);
  std::unique_ptr<MemoryIop> flat;
  std::unique_ptr<MemoryDeepOp> deep;
  if (c.realDeep) {
    if (Status s = readRealDeepFrame(realDeepDataFolder(), deep); !s.ok()) return fail(figures, s);
    OpHost::connect(*node, 3, deep.get());
  } else if (c.deep) {
    deep = c.occluder ? makeOccluderScene(width, height) : makeDeepScene(width, height);
    OpHost::connect(*node, 3, deep.get());
  } else {
    flat = makeBenchScene(width, height);
    OpHost::connect(*node, 0, flat.get());
  }
  OpHost::setProjectFormat(*iop, Format(width, height));
  std::vector<std::string> warnings;
  if (Status s = applyKnobs(*node, benchKnobs(c), warnings); !s.ok()) return fail(figures, s);
  std::unique_ptr<MemoryIop> image;
  if (Status s = timeRenders(*iop, request, reference, figures, image); !s.ok()) return fail(figures, s);
  figures.peakBytes = peakResidentBytes();  // before the copy below touches the shared pages
  if (Status s = keepPicture(*image, c, reference, request.keep); !s.ok()) return fail(figures, s);
  std::snprintf(figures.target, sizeof figures.target, "%s", reference ? "" : vectorTarget().c_str());
  float* out = areaPixels(area);
  const Channel rgba[4] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < 4; ++k) *out++ = image->at(x, y, rgba[k]);
  figures.ok = 1;
  return 0;
}

// Per channel of RGBA, the largest |fast - reference| and the largest |reference|; the pictures
// agree when every channel's difference is at most 1e-5 of its largest value (exactly where that
// is 0) and non-finite values are alike.
struct Agreement {
  double difference[4] = {};
  double largest[4] = {};
  bool nonFiniteAlike = true;
  bool within() const {
    for (int k = 0; k < 4; ++k)
      if (!(difference[k] <= 1e-5 * largest[k])) return false;
    return nonFiniteAlike;
  }
};

Agreement agreement(const float* fast, const float* reference, size_t count) {
  Agreement a;
  for (size_t i = 0; i < count; ++i) {
    const int k = int(i % 4);
    if (!std::isfinite(fast[i]) || !std::isfinite(reference[i])) {
      a.nonFiniteAlike =
          a.nonFiniteAlike && (std::isnan(reference[i]) ? std::isnan(fast[i]) : fast[i] == reference[i]);
      continue;
    }
    a.difference[k] = std::max(a.difference[k], std::fabs(double(fast[i]) - double(reference[i])));
    a.largest[k] = std::max(a.largest[k], std::fabs(double(reference[i])));
  }
  return a;
}

constexpr double kMB = 1024.0 * 1024.0;

void printEngine(const char* caseName, const char* engine, const EngineFigures& f) {
  std::printf("%-26s %-10s %9.3f %5d %9.0f %9.0f %-8s%s\n", caseName, engine, f.seconds, f.runs,
              f.peakBytes / kMB, f.baseBytes / kMB, f.target, f.runs == 1 ? "  (one run)" : "");
}

// The memory a flat frame's render took (peak less base, the larger of the engines) against its
// budget: three times its input (RGBA and depth) and output (RGBA).
void printFlatBudget(int width, int height, const EngineFigures& fast, const EngineFigures& reference) {
  const double pixels = double(width) * double(height);
  const double input = pixels * 5 * sizeof(float) / kMB, output = pixels * 4 * sizeof(float) / kMB;
  const double used =
      std::max(fast.peakBytes - fast.baseBytes, reference.peakBytes - reference.baseBytes) / kMB;
  std::printf(
      "%-26s memory for the frame (peak - base) %.1f MB, budget 3 x (input %.1f + output %.1f MB) = "
      "%.1f MB: %s\n",
      "", used, input, output, 3 * (input + output), used <= 3 * (input + output) ? "within" : "OVER");
}

// The fast time of the last case that ran both engines: a case with a forced target compares
// with it. A "Lens Trace" case compares with the "See Through" case before it, also in peak memory.
double lastFastSeconds = 0.0, lastFastFirstSeconds = 0.0, lastPeakBytes = 0.0;
// The fast time of the flat frame at each max_kernelsize, which the deep frame compares with.
std::map<int, double> flatFastSeconds;

// The large-blur frame, again as a whole `orvel render` process, beside the fast engine's time.
Status benchWholeRender(const BenchCase& c, const BenchRequest& request, int width, int height) {
  KnobValues knobs;
  for (const KnobAssignment& a : benchKnobs(c)) knobs.emplace_back(a.name, a.value);
  return benchWholeProcess(width, height, knobs, request.threads, request.quick ? 1 : request.runs,
                           lastFastSeconds, lastFastFirstSeconds);
}

Status benchCase(const BenchCase& c, const BenchRequest& request, int width, int height) {
  width *= c.frameScale;
  height *= c.frameScale;
  if (c.realDeep) {
    const std::string folder = realDeepDataFolder();
    if (folder.empty()) {
      std::printf("%-26s skipped: ../shared/data/lowres-balls-deep.exr and lowres-trunks-deep.exr not found\n",
                  c.name);
      return Status::success();
    }
    if (Status s = realDeepFrameSize(folder, width, height); !s.ok()) return s;
  }
  const bool traceComparison = c.realDeep || (c.occluder && !c.seeThrough);
  SharedArea fast(areaBytes(width, height)), reference(areaBytes(width, height));
  if (!fast.valid() || !reference.valid()) return Status::usage("cannot map memory for the bench results");
  SharedArea* areas[2] = {&fast, &reference};
  for (int e = 0; e < (c.target || traceComparison ? 1 : 2); ++e) {
    const Status s =
        runInChild([&] { return benchEngine(c, e == 1, request, width, height, areas[e]->data()); });
    const EngineFigures& f = *static_cast<const EngineFigures*>(areas[e]->data());
    if (!s.ok())
      return Status{s.code, std::string(c.name) + ": " + (f.error[0] ? f.error : s.message.c_str())};
    printEngine(e == 0 ? c.name : "", e == 0 ? "fast" : "reference", f);
  }
  const EngineFigures& ff = *static_cast<const EngineFigures*>(fast.data());
  if (traceComparison) {
    // The gather has no reference twin: it is timed against the "See Through" case before it, the
    // scatter engine on the same frame.
    if (c.lensTraceSamples > 0 && lastFastSeconds > 0)
      std::printf("%-26s / See Through (fast) %.2f, peak memory %.2f\n", "", ff.seconds / lastFastSeconds,
                  ff.peakBytes / lastPeakBytes);
    if (c.lensTraceSamples == 0) lastFastSeconds = ff.seconds, lastPeakBytes = ff.peakBytes;
    return Status::success();
  }
  if (c.target) {
    std::printf("%-26s fast / fast on the best target %.2f\n", "", ff.seconds / lastFastSeconds);
    return Status::success();
  }
  if (c.seeThrough && lastFastSeconds > 0)
    std::printf("%-26s / Visible Share (fast) %.2f\n", "", ff.seconds / lastFastSeconds);
  lastFastSeconds = ff.seconds, lastFastFirstSeconds = ff.firstSeconds, lastPeakBytes = ff.peakBytes;
  const bool plain = c.frameScale == 1 && !c.largeBlurs && !c.occluder && !c.realDeep;
  if (plain && !c.deep) flatFastSeconds[c.maxKernel] = ff.seconds;
  if (plain && c.deep && flatFastSeconds.count(c.maxKernel))
    std::printf("%-26s deep / flat at max_kernelsize %d (fast) %.2f\n", "", c.maxKernel,
                ff.seconds / flatFastSeconds[c.maxKernel]);
  const EngineFigures& rf = *static_cast<const EngineFigures*>(reference.data());
  const Agreement a =
      agreement(areaPixels(fast.data()), areaPixels(reference.data()), size_t(width) * size_t(height) * 4);
  std::printf("%-26s %d x %d; reference / fast %.2f\n", "", width, height, rf.seconds / ff.seconds);
  std::printf("%-26s largest difference by channel RGBA, as a share of its largest value (and absolute):",
              "");
  for (int k = 0; k < 4; ++k)
    std::printf(" %.2g (%.3g)", a.largest[k] > 0 ? a.difference[k] / a.largest[k] : 0.0, a.difference[k]);
  std::printf("; %s\n", a.within() ? "every share within 1e-5" : "a share BEYOND 1e-5");
  if (!c.deep) printFlatBudget(width, height, ff, rf);
  if (c.largeBlurs) return benchWholeRender(c, request, width, height);
  return Status::success();
}

}  // namespace

int runBench(const BenchRequest& request) {
  int width = request.quick ? 960 : 1920, height = request.quick ? 540 : 1080;
  if (request.width > 0) width = request.width, height = request.height;
  const unsigned threads = request.threads ? request.threads : Thread::numCPUs;
  std::printf("orvel bench: %d x %d frames; %u processors, %u threads; fast path vector target: %s\n", width,
              height, Thread::numCPUs, threads, vectorTarget().c_str());
  std::printf("seconds per frame: the fastest of the runs (a reference run over %.0f s is not repeated)\n",
              kSlowSeconds);
  std::printf(
      "peak MB: resident-set high-water mark (VmHWM) of the child process that rendered that engine;\n"
      "base MB: its resident set before the frame was built (the program and its libraries)\n\n");
  std::printf("%-26s %-10s %9s %5s %9s %9s %-8s\n", "case", "engine", "s/frame", "runs", "peak MB", "base MB",
              "vectors");
  // --cases: the cases whose name holds the text; otherwise --quick: the first case alone, a frame
  // rendered in seconds.
  for (const BenchCase& c : kCases) {
    const bool chosen = request.cases.empty() ? !request.quick || &c == kCases
                                              : std::string(c.name).find(request.cases) != std::string::npos;
    if (!chosen) continue;
    if (Status s = benchCase(c, request, width, height); !s.ok()) return reportStatus(s);
  }
  return kExitOk;
}
