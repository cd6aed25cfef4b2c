// Kernel preparation at open: the hero kernel, the padding scan and the kernel bank.
#include <unistd.h>

#include "DDImage/DeepOp.h"
#include "DDImage/Row.h"
#include "DDImage/Thread.h"
#include "ktCocScan.h"
#include "ktHeroKernel.h"
#include "ktKernelBank.h"
#include "ktLensTrace.h"
#include "ktOrvel.h"

using namespace DD::Image;

void ktOrvel::_open() { initialize(); }

void ktOrvel::initialize() {
  const int type = settings.outputType;
  if (type == kFocalDistance || type == kFocusMatte) return;
  makeHeroKernel(type == kFilterShape);
  if (type == kFilterShape) return;
  computeOptimalPadding();
  if (tracesLens()) buildLensTrace();
  buildKernelBank(kernels, heroKernel, settings.activeChannels,
                  static_cast<size_t>(kernelSizeLimit) + kKernelBankMargin, Thread::numCPUs);
  if (!referenceEngine) buildSourceMaps();
}

// The view of the "See Through" scatter that gives "Lens Trace" each slice's mean colours.
ktRenderContext ktOrvel::seeThroughContext() const {
  ktRenderContext ctx = renderContext();
  ctx.settings = &seeThroughSettings;
  return ctx;
}

// The fast engine's maps, made band by band as rows need them: the flat one, or one per deep
// pass the output uses.
void ktOrvel::buildSourceMaps() {
  const ktRenderContext ctx = renderContext();
  Iop* flat = input(kInput);
  Iop* mattes = optionalInput(kMattes);
  DeepOp* deep = settings.deepInput ? deepOp() : nullptr;
  const ChannelSet channels = settings.activeChannels;
  if (!deep) {
    sourceBands.setup(ctx, requestedBox(), channels, flat->y(), flat->t(), Thread::numCPUs,
                      [flat, mattes](ktSourceMap& band) {
                        band.mapFlat(*flat, mattes);
                        return true;
                      });
    return;
  }
  const Box area = deepSourceArea(ctx, *deep);
  const bool separate = settings.integrateFrontAndBackSeperately;
  const bool passes[3] = {!separate, separate && settings.focusOutput != kFocusBack,
                          separate && settings.focusOutput != kFocusFront};
  // For "Lens Trace", the "See Through" maps of all the pieces, when the output takes them all.
  const bool traced = tracesLens();
  if (traced && (separate || !traceLayers.built)) return;
  for (DeepPass pass : {DeepPass::All, DeepPass::Front, DeepPass::Back})
    if (passes[int(pass)])
      deepBands[int(pass)].setup(
          traced ? seeThroughContext() : ctx, requestedBox(), channels, area.y(), area.t() - 1, Thread::numCPUs,
          [flat, mattes, deep, pass](ktSourceMap& band) { return band.mapDeep(*flat, mattes, *deep, pass); });
}

bool ktOrvel::tracesLens() const {
  return settings.deepMethod == kDeepLensTrace && settings.deepInput && deepOp();
}

namespace {

// The most the traced layers may take: half the machine's physical memory (8 GB when the system
// does not say), the renderer's own default limit for an input.
double traceMemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? 0.5 * double(pages) * double(pageSize) : 8.0 * 1024 * 1024 * 1024;
}

}  // namespace

// The traced layers and the aperture samples (the "See Through" scatter that gives the gather
// each slice's mean colours uses the kernel bank and maps made after). Layers beyond the memory
// limit (the one set, or half the memory) are refused with an error, and the rows stay empty.
void ktOrvel::buildLensTrace() {
  seeThroughSettings = settings;
  seeThroughSettings.deepMethod = kDeepSeeThrough;
  const double limit = memoryLimit > 0 ? memoryLimit : traceMemoryLimit();
  traceLayers = buildTraceLayers(renderContext(), *deepOp(), *input(kInput), optionalInput(kMattes),
                                 Thread::numCPUs, limit);
  if (!traceLayers.built && traceLayers.bytes > limit) {
    const double gb = 1024.0 * 1024.0 * 1024.0;
    error("Lens Trace layers would take %.2f GB, more than the %.2f GB allowed (%s)", traceLayers.bytes / gb,
          limit / gb, memoryLimit > 0 ? "the memory limit set" : "half the memory");
  }
  std::vector<int> planes(traceLayers.channels.begin(), traceLayers.channels.end());
  if (planes.empty()) planes.push_back(Chan_Alpha);
  apertureSamples = makeApertureSamples(heroKernel, planes, settings.lensTraceSamples);
}

void ktOrvel::makeHeroKernel(bool forPreview) {
  Iop* kernelInput = settings.kernelType == kKernelInput ? optionalInput(kKernel) : nullptr;
  const Box kernelBox = kernelInput ? kernelInput->info().box() : Box();
  const int side = heroKernelSide(settings, forPreview, info_.format(), kernelInput ? &kernelBox : nullptr);
  if (settings.kernelType == kKernelInput && !kernelInput) {
    // Validation has reported the missing Kernel input; an empty aperture keeps rows defined.
    heroKernel.init(settings.activeChannels, side, side);
    for (Channel z : settings.activeChannels) heroKernel.planes[z].assign(heroKernel.count, 0.0f);
    return;
  }
  ::makeHeroKernel(heroKernel, settings, settings.activeChannels, side, kernelInput);
}

namespace {

// Runs scanRows(scan, first, end, step) on the host's threads, each thread scanning every n-th
// row from y0 + its index into a scan of its own; the scans then give their largest blur.
template <class ScanRows>
ktCocScan scanOverThreads(const ktOrvelSettings& settings, int y0, int t, ScanRows scanRows) {
  const unsigned threads = unsigned(std::max(1, std::min(int(Thread::numCPUs), t - y0)));
  std::vector<ktCocScan> scans(threads, ktCocScan(settings));
  struct Call {
    ScanRows* scanRows;
    std::vector<ktCocScan>* scans;
    int y0, t;
  } call{&scanRows, &scans, y0, t};
  Thread::spawn(
      [](unsigned index, unsigned n, void* user) {
        Call& c = *static_cast<Call*>(user);
        (*c.scanRows)((*c.scans)[index], c.y0 + int(index), c.t, int(n));
      },
      threads, &call);
  Thread::wait(&call);
  ktCocScan all(settings);
  for (const ktCocScan& scan : scans) all.merge(scan);
  return all;
}

}  // namespace

// The largest blur over every pixel the engines spread: the flat input's box, or the deep
// pixels of deepSourceArea, whether or not the format covers them.
void ktOrvel::computeOptimalPadding() {
  DeepOp* deep = settings.deepInput ? deepOp() : nullptr;
  const ktCocScan scan = [&] {
    if (deep) {
      const Box area = deepSourceArea(renderContext(), *deep);
      return scanOverThreads(settings, area.y(), area.t(), [&](ktCocScan& rows, int first, int end, int step) {
        DeepPlane plane;
        for (int y = first; y < end; y += step) {
          if (!deep->deepEngine(Box(area.x(), y, area.r(), y + 1), Mask_Deep, plane)) continue;
          const Box& b = plane.box();
          if (y < b.y() || y >= b.t()) continue;
          for (int x = std::max(area.x(), b.x()); x < std::min(area.r(), b.r()); ++x) {
            const DeepPixel pixel = plane.getPixel(y, x);
            const size_t n = pixel.getSampleCount();
            if (n > 0) rows.add(pixel.getOrderedSample(n - 1, Chan_DeepBack), DepthKind::Deep);
          }
        }
      });
    }
    const Channel depth = settings.depthChannel;
    const Box held = input(kInput)->info().box();
    Iop& flat = *input(kInput);
    if (held.w() <= 0) return ktCocScan(settings);  // an empty box holds no depth
    return scanOverThreads(settings, held.y(), held.t(), [&](ktCocScan& rows, int first, int end, int step) {
      Row row(held.x(), held.r());
      for (int y = first; y < end; y += step) {
        row.get(flat, y, held.x(), held.r(), ChannelSet(depth));
        rows.addRow(row[depth] + held.x(), held.w(), DepthKind::Flat);
      }
    });
  }();
  const ktCocScan::Result result = scan.finish();
  findings_.kernelSizeCut = result.capped;
  if (result.capped)
    warning(
        "Max kernel size is less than the maximum coc in the result, you may want to consider increasing the "
        "max "
        "kernel size above %d.",
        scan.measured());
  kernelSizeLimit = result.kernelSizeLimit;
  padding = result.padding;
}
