// The node's parameter record: one member per knob under the knob's name, plus the lens values
// derived at validation. The engines read it directly and never write it.
#pragma once

#include "DDImage/Channel.h"
#include "DDImage/ChannelSet.h"
#include "DDImage/MetaData.h"

extern const char* const OutputTypeENUM[];
extern const char* const FocusTypeENUM[];
extern const char* const DepthStyleENUM[];
extern const char* const FalloffTypeENUM[];
extern const char* const WorldScaleENUM[];
extern const char* const FilmFormatENUM[];
extern const char* const KernelTypeENUM[];
extern const char* const DeepMethodENUM[];

enum OutputType {
  kDefocusedImage = 0,
  kLensBloom = 1,
  kFocalDistance = 2,
  kFilterShape = 3,
  kFocusMatte = 4
};
enum FocusType { kFocusBoth = 0, kFocusFront = 1, kFocusBack = 2 };
enum DepthStyle { kDepthReal = 0, kDepthInverse = 1 };
enum FalloffType { kFalloffLinear = 0, kFalloffQuadratic = 1 };
enum KernelType { kKernelInput = 0, kKernelCircular = 1, kKernelBlades = 2 };
// Entries of `worldScale`, by the labels of WorldScaleENUM: the unit of world distances.
enum WorldScale { kWorldMm = 0, kWorldCm = 1, kWorldM = 2, kWorldInches = 3, kWorldFeet = 4 };
constexpr int kFilmFormatCustom = 9;
// Entries of `deepMethod`, by the labels of DeepMethodENUM; code names them only through these.
enum DeepMethod { kDeepVisibleShare = 0, kDeepSeeThrough = 1, kDeepLensTrace = 2 };

// A film back in millimetres.
struct FilmBack {
  float width;
  float height;
};

// Film backs by `filmFormat`; the "Custom" row is never applied.
extern const FilmBack ktFilmFormats[10];

struct ktOrvelSettings {
  float focalPlane = 100.0f;
  float focusRegionSize = 1.0f;
  DD::Image::Channel defocusMatteChannel = DD::Image::Chan_Black;
  int max_kernelsize = 256;
  float multiplier = 1.0f;
  float frontmultiplier = 1.0f;
  float backmultiplier = 1.0f;
  int kernelType = kKernelCircular;
  float kAspectRatio = 1.0f;
  int kNumSides = 6;
  float kCurvature = 0.1f;
  float kRotation = 0.0f;
  float kSphAbb = 0.0f;
  float kChrAbb = 0.0f;
  DD::Image::Channel chromicAberrationMatteChannel = DD::Image::Chan_Black;
  DD::Image::Channel missingKernelChannel = DD::Image::Chan_Black;
  float kSoftness = 0.1f;
  float focalLength = 35.0f;
  float fStop = 6.0f;
  bool realWorldLens = false;
  int outputType = kDefocusedImage;
  int focusRegionFalloff = kFalloffLinear;
  float kChrAbbOff[3] = {0.6f, 1.0f, 1.0f};
  int focusOutput = kFocusBoth;
  int worldScale = kWorldCm;
  float worldScaleMultiplier = 1.0f;
  int filmFormat = 0;
  int depthStyle = kDepthReal;
  int correctiveSlices = 10;
  bool overrideNearAndFarForSlices = false;
  float depthSlicesNearAndFar[2] = {0.0f, 0.0f};
  float bloom = 0.0f;
  float bloomCurvature = 2.0f;
  float bloomThreshold = 0.7f;
  DD::Image::Channel bloomMatteChannel = DD::Image::Chan_Black;
  float apertureWidth = 22.0f;
  float apertureHeight = 16.0f;
  // Derived at validation for real.
  float pixelsPerMm = 0.0f;
  float focusHalfSize = 0.0f;
  float focusHalfSizeInv = 0.0f;
  float focusFar = 0.0f;
  float focusNear = 0.0f;
  float focusRange = 0.0f;
  double lensCoefficient = 0.0;  // double: focused far away it is tiny, the depth ratio huge
  float contextScale = 0.0f;
  bool normalizeVisualization = true;
  bool integrateFrontAndBackSeperately = false;
  int deepMethod = kDeepVisibleShare;
  int lensTraceSamples = 128;
  bool deepInput = false;
  bool expandBBoxToMaxKernelSize = false;
  DD::Image::Channel depthChannel = DD::Image::Chan_Z;
  DD::Image::ChannelSet orvelChannels = DD::Image::Mask_RGBA;
  DD::Image::ChannelSet activeChannels = DD::Image::Mask_RGBA;
  DD::Image::MetaData::Bundle metaData;
};

// A film format other than "Custom" sets the film back to its row of ktFilmFormats, whatever
// the aperture knobs hold; "Custom" (or a value out of range) leaves them in force.
void applyFilmFormat(ktOrvelSettings& s);
