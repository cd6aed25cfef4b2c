// The parameter panel: knobs in panel order, the enabling rules and knob_changed.
#include <cstdio>
#include <cstring>

#include "DDImage/Knobs.h"
#include "ktOrvel.h"

using namespace DD::Image;

namespace {

void enableKnob(const Op& op, const char* name, bool on) {
  if (Knob* k = op.knob(name)) k->enable(on);
}

}  // namespace

void ktOrvel::knobs(Knob_Callback f) {
  std::snprintf(versionText_, sizeof versionText_, "%d.%d.%d", kVersion[0], kVersion[1], kVersion[2]);
  ktOrvelSettings& s = settings;

  Tab_knob(f, "Orvel");
  Text_knob(f, "Version", versionText_);
  ChannelMask_knob(f, &s.orvelChannels, "orvelChannels", "Orvel Channels");
  Input_Channel_knob(f, &s.depthChannel, 1, 0, "depthChannel", "Depth Channel");
  Enumeration_knob(f, &s.outputType, OutputTypeENUM, "outputType", "Output Type");
  Tooltip(
      f,
      "Orvel - the actual Orvel effect with lens bloom if any.\nLens Bloom - just the bloom effect.\n"
      "Focal Distance Visualization - preview the focal distance values.\nFilter Shape - preview the shape "
      "of the kernel.\nFocus Mattes - Front/Back mattes for the focus.");
  Enumeration_knob(f, &s.focusOutput, FocusTypeENUM, "focusOutput", "Focus Region Output");
  Tooltip(f, "Whether the front, back or all regions should be output");
  Float_knob(f, &s.multiplier, "multiplier", "Multiplier");
  SetRange(f, 1, 256);
  Float_knob(f, &s.frontmultiplier, "frontmultiplier", "Front Multiplier");
  SetRange(f, 1, 256);
  Float_knob(f, &s.backmultiplier, "backmultiplier", "Back Multiplier");
  SetRange(f, 1, 256);
  Tooltip(f, "Used to increase the depth values resulting in a higher blur.");
  Enumeration_knob(f, &s.depthStyle, DepthStyleENUM, "depthStyle", "Depth Style");
  Tooltip(f, "Real = real world values, 1/z = values that come out of Scanline renderer");
  Float_knob(f, &s.focalPlane, "focalPlane", "Focal Plane");
  SetRange(f, 1, 256);
  Tooltip(f, "The plane in focus.");
  Float_knob(f, &s.focusRegionSize, "focusRegionSize", "Focus Region Size");
  SetRange(f, 1, 256);
  Tooltip(f, "The size of the region in focus.");
  Enumeration_knob(f, &s.focusRegionFalloff, FalloffTypeENUM, "focusRegionFalloff", "Focus Region Falloff");
  Tooltip(f, "Falloff of the orvel effect across the region.");
  Channel_knob(f, &s.defocusMatteChannel, 1, "defocusMatteChannel", "Defocus Matte Channel");
  Tooltip(f, "A channel in the Mattes input that is used to modulate the defocus level.");
  Bool_knob(f, &s.normalizeVisualization, "normalizeVisualization", "Normalize Visualization");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(f, "Normalize the depth visualization output.");
  Bool_knob(f, &s.integrateFrontAndBackSeperately, "integrateFrontAndBackSeperately",
            "Integrate Deep Front and Back Separately");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(
      f,
      "In some cases artifacts can arise from integrating all the slices together, this will seperate the "
      "front and back focus areas and integrate them seperate to help avoid these.");
  Enumeration_knob(f, &s.deepMethod, DeepMethodENUM, "deepMethod", "Deep Method");
  Tooltip(f,
          "How a deep input is defocused.\nVisible Share - every deep sample is spread with the share of its "
          "pixel it covers; fast, and what lies hidden behind an opaque sample never shows. Use it for deep "
          "renders without hidden samples.\nSee Through - every deep sample is spread with what the samples "
          "of its own depth slice leave of it, so what a blurred foreground hides shows through its veil "
          "(partial occlusion); about as fast. Use it for deep renders that keep hidden samples, or layers "
          "merged into deep.\nLens Trace - "
          "every output pixel follows rays through the whole aperture into the deep layers, so a thin "
          "blurred foreground object hides only part of the light behind it (split highlights behind "
          "posts and wires); slower, and grainy with few samples. Use it for thin objects close to the camera "
          "before bright background the deep render keeps behind them.");
  Int_knob(f, &s.lensTraceSamples, "lensTraceSamples", "Lens Trace Samples");
  SetRange(f, 1, 1024);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f,
          "Rays traced through the aperture for every output pixel with Lens Trace (fewer where the blur "
          "is below six pixels): more give smoother highlights and cost proportionally more time.");

  Tab_knob(f, "Lens");
  Bool_knob(f, &s.realWorldLens, "realWorldLens", "Real World Lens Simulation");
  Tooltip(f, "Match the defocusing effects of a real world lens using the below parameters.");
  Float_knob(f, &s.focalLength, "focalLength", "Focal Length");
  SetFlags(f, Knob::FORCE_RANGE);
  SetRange(f, 0, 300);
  Tooltip(f, "The camera's focal length.");
  Float_knob(f, &s.fStop, "fStop", "Aperture");
  Tooltip(f, "The camera's aperture/fstop.");
  Enumeration_knob(f, &s.worldScale, WorldScaleENUM, "worldScale", "World Scale");
  Tooltip(f, "Define the scale of the world, this directly affects the real world camera settings.");
  Float_knob(f, &s.worldScaleMultiplier, "worldScaleMultiplier", "World Scale Multiplier");
  Tooltip(f,
          "This can be used to adjust the current world scale, as an example: if your scene units are 10cm "
          "then you would set world scale to cm and set this to 10.");
  Enumeration_knob(f, &s.filmFormat, FilmFormatENUM, "filmFormat", "Film Format");
  Tooltip(f, "Desired predefined film back.");
  Float_knob(f, &s.apertureWidth, "apertureWidth", "Aperture Width");
  Tooltip(f, "Used for a custom film back size, this is the width of the frames format in mm.");
  Float_knob(f, &s.apertureHeight, "apertureHeight", "Aperture Height");
  Tooltip(f, "Used for a custom film back size, this is the height of the frames format in mm.");

  Tab_knob(f, "Optical Artifacts");
  Float_knob(f, &s.bloom, "bloom", "Bloom");
  SetRange(f, 0, 1);
  Tooltip(f, "The level of lens blooming.");
  Float_knob(f, &s.bloomCurvature, "bloomCurvature", "Curvature");
  SetRange(f, 0, 4);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f, "The curvature of the lens.");
  Float_knob(f, &s.bloomThreshold, "bloomThreshold", "Bloom Threshold");
  SetRange(f, 0, 1);
  Tooltip(f, "The point at which the input colour drives the bloom.");
  Channel_knob(f, &s.bloomMatteChannel, 1, "bloomMatteChannel", "Bloom Matte Channel");
  Tooltip(f, "A channel in the Mattes input that is used to modulate the bloom level.");
  Float_knob(f, &s.kSphAbb, "kSphAbb", "Spherical Aberration");
  SetRange(f, -1, 1);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f, "The amount of spherical aberration present on the lens.");
  Float_knob(f, &s.kChrAbb, "kChrAbb", "Chromic Aberration");
  SetRange(f, -10, 10);
  Tooltip(f, "The amount of chromic aberration present on the lens.");
  Color_knob(f, s.kChrAbbOff, "kChrAbbOff", "Chromic Aberration Offset");
  Tooltip(f, "A spectral offset representing the chromic abberation effect of the lens.");
  Channel_knob(f, &s.chromicAberrationMatteChannel, 1, "chromicAberrationMatteChannel",
               "Chromic Aberration Matte Channel");
  Tooltip(f, "A channel in the Mattes input that is used to modulate the chromic aberration level.");

  Tab_knob(f, "Kernel");
  Enumeration_knob(f, &s.kernelType, KernelTypeENUM, "kernelType", "Kernel Type");
  Tooltip(f,
          "Input - use a second input image as the shape.\nCircular - a clean round lens shape.\nAperture "
          "Blades - more geometric result due to the number of aperture blades.");
  Int_knob(f, &s.max_kernelsize, "max_kernelsize", "Maximum Kernel Size");
  SetRange(f, 1, 256);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f, "A limit on the size of the blur - used to speed up computations if needed.");
  Bool_knob(f, &s.expandBBoxToMaxKernelSize, "expandBBoxToMaxKernelSize",
            "Expand Bounding Box To Max Kernel Size");
  Tooltip(f, "Make sure the output bounding box has been expanded to accommodate the maximum kernel size.");
  Channel_knob(f, &s.missingKernelChannel, 1, "missingKernelChannel", "Missing Kernel Channel");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(f, "This channel will be used from the input kernel image if the required channel is missing.");
  Float_knob(f, &s.kAspectRatio, "kAspectRatio", "AspectRatio");
  SetRange(f, 0, 2);
  Tooltip(f, "Controls the aspect ratio of the kernel, useful for anamorphic Orvel.");
  Float_knob(f, &s.kSoftness, "kSoftness", "Softness");
  Tooltip(f, "How soft the kernel should be 0 is hard, 1 is soft.");
  Int_knob(f, &s.kNumSides, "kNumSides", "Blade Count");
  SetRange(f, 3, 16);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f, "The number of blades in the aperture.");
  Float_knob(f, &s.kCurvature, "kCurvature", "Curvature");
  Tooltip(f, "Controls the curvature of the aperture blades.");
  Float_knob(f, &s.kRotation, "kRotation", "Rotation");
  SetRange(f, 0, 1);
  Tooltip(f, "Rotate the blades.");

  Tab_knob(f, "Corrective Slices");
  Int_knob(f, &s.correctiveSlices, "correctiveSlices", "Number of Corrective Slices");
  SetRange(f, 1, 256);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(
      f,
      "Corrective slices are used to improve layering results, use this to specify the desired number.\n 1 "
      "- default\n 2 - seperate foreground and background\n 3 or more - equally divide up the space into "
      "the number of slices specified");
  Bool_knob(f, &s.overrideNearAndFarForSlices, "overrideNearAndFarForSlices", "Override Near/Far");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(
      f,
      "Customize the viewing volume for corrective slice purposes when the slice count is greater than 2.");
  MultiFloat_knob(f, s.depthSlicesNearAndFar, 2, "depthSlicesNearAndFar", "Near and Far");
  Tooltip(f, "Set the values used to override the near and far plane for corrective slice purposes.");

  applyEnablingRules();
}

// The rules read the record's current values; a knob not found is skipped.
void ktOrvel::applyEnablingRules() {
  const bool artistic = !settings.realWorldLens;
  enableKnob(*this, "multiplier", artistic);
  enableKnob(*this, "focusRegionFalloff", artistic);
  Knob* width = knob("apertureWidth");
  Knob* height = knob("apertureHeight");
  if (width && height) {
    width->enable(settings.filmFormat == kFilmFormatCustom);
    height->enable(settings.filmFormat == kFilmFormatCustom);
  }
  enableKnob(*this, "depthSlicesNearAndFar", settings.overrideNearAndFarForSlices);
  showLensTraceKnobs();
}

void ktOrvel::showLensTraceKnobs() {
  if (Knob* k = knob("lensTraceSamples")) k->visible(settings.deepMethod == kDeepLensTrace);
}

int ktOrvel::knob_changed(Knob* k) {
  if (!k) return Iop::knob_changed(k);
  const std::string& name = k->name();
  if (name == "filmFormat") {
    Knob* width = knob("apertureWidth");
    Knob* height = knob("apertureHeight");
    if (width && height) {
      if (settings.filmFormat != kFilmFormatCustom && settings.filmFormat >= 0 && settings.filmFormat < 10) {
        width->disable();
        height->disable();
        width->set_value(double(ktFilmFormats[settings.filmFormat].width));
        height->set_value(double(ktFilmFormats[settings.filmFormat].height));
      } else {
        width->enable();
        height->enable();
      }
      settings.apertureWidth = static_cast<float>(width->get_value());
      settings.apertureHeight = static_cast<float>(height->get_value());
    }
    return 1;
  }
  if (name == "realWorldLens") {
    enableKnob(*this, "multiplier", !settings.realWorldLens);
    enableKnob(*this, "focusRegionFalloff", !settings.realWorldLens);
    return 1;
  }
  if (name == "deepMethod") showLensTraceKnobs();
  if (name == "overrideNearAndFarForSlices")
    enableKnob(*this, "depthSlicesNearAndFar", settings.overrideNearAndFarForSlices);
  return Iop::knob_changed(k);
}
