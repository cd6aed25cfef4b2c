// Validation and input requests.
#include "DDImage/CameraOp.h"
#include "DDImage/DeepOp.h"
#include "ktLensValues.h"
#include "ktOrvel.h"

using namespace DD::Image;

void ktOrvel::_validate(bool for_real) {
  hasBloomMatte = hasDefocusMatte = hasChromicAberrationMatte = false;
  matteChannels.clear();
  settings.activeChannels.clear();

  findings_ = ktOrvelFindings();
  findings_.kernelInputMissing = settings.kernelType == kKernelInput && !node_input(kKernel);
  if (findings_.kernelInputMissing) error("No input kernel connected!");

  // A film format other than "Custom" is the film back: a value typed into its disabled
  // aperture knobs is overridden, as the knobs' state says. A camera overrides both.
  applyFilmFormat(settings);
  if (CameraOp* cam = camera()) {
    settings.focalLength = static_cast<float>(cam->focalLength());
    settings.focalPlane = static_cast<float>(cam->focusDistance());
    settings.fStop = static_cast<float>(cam->fStop());
    settings.apertureWidth = static_cast<float>(cam->horizontalAperture());
    settings.apertureHeight = static_cast<float>(cam->verticalAperture());
  }

  input(kInput)->validate(for_real);
  copy_info();
  if (Iop* kernel = optionalInput(kKernel)) kernel->validate(for_real);
  if (Iop* mattes = optionalInput(kMattes)) {
    mattes->validate(for_real);
    const Channel matte[3] = {settings.bloomMatteChannel, settings.defocusMatteChannel,
                              settings.chromicAberrationMatteChannel};
    bool* flag[3] = {&hasBloomMatte, &hasDefocusMatte, &hasChromicAberrationMatte};
    for (int i = 0; i < 3; ++i)
      if (matte[i] != Chan_Black) {
        matteChannels += matte[i];
        *flag[i] = true;
      }
  }

  settings.deepInput = false;
  if (DeepOp* deep = deepOp()) {
    settings.deepInput = true;
    deep->validate(true);
  }
  reportUnusableSettings();

  if (settings.expandBBoxToMaxKernelSize) {
    const int m = settings.max_kernelsize;
    info_.clipmove(-(m / 2), -(m / 2), (m - 1) / 2, (m - 1) / 2);
  }

  if (for_real) {
    const Format& full = info_.full_size_format();
    computeLensValues(settings, full.width(), full.height());
    sliceDepths = computeSliceDepths(settings);
    settings.contextScale = uiContext().scale_x();
  }

  kernelSizeLimit = settings.max_kernelsize;
  padding = settings.max_kernelsize / 2;
  emptyKernels();
}

// Settings under which nothing could blur as asked are refused by name, rather than rendered as
// if everything were in focus; a knob that changes nothing here says so.
void ktOrvel::reportUnusableSettings() {
  if (settings.kernelType != kKernelInput && !(settings.kAspectRatio > 0.0f))
    error("kAspectRatio %g flattens the aperture to nothing: use a value above 0", settings.kAspectRatio);
  if (settings.realWorldLens && !(settings.focalLength > 0.0f))
    error("focalLength %g mm: the real-world lens needs a focal length above 0", settings.focalLength);
  if (settings.realWorldLens && !(settings.fStop > 0.0f))
    error("fStop %g: the real-world lens needs an f-number above 0", settings.fStop);
  const bool defocuses = settings.outputType == kDefocusedImage || settings.outputType == kLensBloom;
  if (defocuses && settings.deepInput && !settings.integrateFrontAndBackSeperately &&
      (settings.focusOutput == kFocusFront || settings.focusOutput == kFocusBack))
    warning("focusOutput %s changes nothing on a deep input unless integrateFrontAndBackSeperately is on",
            FocusTypeENUM[settings.focusOutput]);
}

// The host may ask several times (several outputs or regions) before its one open: the
// channels to defocus and the regions asked of the inputs add up over the requests.
void ktOrvel::_request(int x, int y, int r, int t, const ChannelSet& channels, int count) {
  if (settings.orvelChannels.all())
    settings.activeChannels += channels;
  else
    settings.activeChannels = settings.orvelChannels;
  ChannelSet need = channels;
  in_channels(kInput, need);
  const Box padded(x - padding, y - padding, r + padding, t + padding);

  input(kInput)->request(padded.x(), padded.y(), padded.r(), padded.t(), need, count);
  if (Iop* kernel = optionalInput(kKernel)) {
    ChannelSet kernelChannels = settings.activeChannels;
    kernelChannels += settings.missingKernelChannel;
    kernel->request(kernel->x(), kernel->y(), kernel->r(), kernel->t(), kernelChannels, count);
  }
  if (Iop* mattes = optionalInput(kMattes))
    mattes->request(padded.x(), padded.y(), padded.r(), padded.t(), matteChannels, count);
  DeepOp* deep = deepOp();
  if (deep && settings.deepInput) {
    ChannelSet deepChannels = channels;
    deep_in_channels(deepChannels);
    if (!deep->op()->real_valid()) deep->validate(true);
    deepChannels &= deep->deepInfo().channels();
    deep->deepRequest(padded, deepChannels, count);
  }
}

void ktOrvel::emptyKernels() {
  for (ktChannelFloatBuffer& k : kernels) k.clear();
  kernels.clear();
  heroKernel.clear();
  sourceBands.clear();
  for (ktSourceBands& bands : deepBands) bands.clear();
  traceLayers = ktTraceLayers();
  apertureSamples = ktApertureSamples();
}
