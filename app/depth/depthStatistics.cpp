#include "depth/depthStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "ktLensValues.h"
#include "standin/MemoryIop.h"

namespace {

const double kPercents[] = {0, 1, 5, 25, 50, 75, 95, 99, 100};

float percentileOfSorted(const std::vector<float>& sorted, double percent) {
  const double position = percent / 100.0 * double(sorted.size() - 1);
  const size_t below = size_t(position);
  const size_t above = std::min(below + 1, sorted.size() - 1);
  const double t = position - double(below);
  return float(double(sorted[below]) * (1.0 - t) + double(sorted[above]) * t);
}

std::string percentLabel(double percent) {
  if (percent == 0) return "min";
  if (percent == 100) return "max";
  char text[16];
  std::snprintf(text, sizeof text, "%g%%", percent);
  return text;
}

}  // namespace

DepthSummary summariseDepths(std::vector<float> depths, const ktOrvelSettings& settings, DepthKind kind) {
  DepthSummary summary;
  summary.count = depths.size();
  size_t inFocus = 0, front = 0, behind = 0;
  for (float d : depths) {
    const CocSample coc = depthToCoc(settings, settings.max_kernelsize, d, kind);
    if (coc.coc <= 1.0f)
      ++inFocus;
    else if (coc.region == FocusRegion::Front)
      ++front;
    else
      ++behind;
  }
  const double all = std::max<size_t>(1, depths.size());
  summary.inFocus = double(inFocus) / all, summary.front = double(front) / all;
  summary.behind = double(behind) / all;
  // "1/z" values are listed as the distances they stand for, as the node reads them: 0 or below is
  // infinitely far, a value that is not finite just in front of the camera.
  const bool inverse = kind == DepthKind::Flat && settings.depthStyle == kDepthInverse;
  if (inverse)
    for (float& d : depths) d = !std::isfinite(d) ? 1.0f / kFarDepth : d > 0.0f ? 1.0f / d : INFINITY;
  const auto firstNonFinite =
      std::partition(depths.begin(), depths.end(), [](float d) { return std::isfinite(d); });
  summary.nonFinite = size_t(depths.end() - firstNonFinite);
  depths.erase(firstNonFinite, depths.end());
  if (depths.empty()) return summary;
  std::sort(depths.begin(), depths.end());
  for (double p : kPercents) {
    const float d = percentileOfSorted(depths, p);
    summary.percentiles.push_back(
        {p, d, depthToCoc(settings, settings.max_kernelsize, inverse ? 1.0f / d : d, kind).coc});
  }
  return summary;
}

void printDepthSummary(const DepthSummary& summary, const ktOrvelSettings& s, std::ostream& out) {
  char line[160];
  if (summary.count == 0) {
    out << "no depths to measure\n";
    return;
  }
  std::snprintf(line, sizeof line, "%-8s %14s %12s\n", "", "depth", "blur (px)");
  out << line;
  for (const DepthPercentile& p : summary.percentiles) {
    const bool capped = p.blur > float(s.max_kernelsize);
    std::snprintf(line, sizeof line, "%-8s %14.6g %12.4g%s\n", percentLabel(p.percent).c_str(), p.depth,
                  p.blur, capped ? "  (above max_kernelsize: rendered at most at it)" : "");
    out << line;
  }
  if (summary.nonFinite)
    out << summary.nonFinite << " depths are NaN or infinite: the node takes them as infinitely far\n";
  std::snprintf(line, sizeof line, "in focus (blur at most 1 px) %.1f%%, in front %.1f%%, behind %.1f%%\n",
                100 * summary.inFocus, 100 * summary.front, 100 * summary.behind);
  out << line;
}

bool medianDepthAround(const standin::MemoryIop& image, const float* plane, int x, int y, float& depth) {
  const DD::Image::Box& b = image.info().box();
  std::vector<float> values;
  for (int yy = std::max(b.y(), y - 2); yy <= std::min(b.t() - 1, y + 2); ++yy)
    for (int xx = std::max(b.x(), x - 2); xx <= std::min(b.r() - 1, x + 2); ++xx) {
      const float v = plane[size_t(yy - b.y()) * size_t(b.w()) + size_t(xx - b.x())];
      if (std::isfinite(v)) values.push_back(v);
    }
  if (values.empty()) return false;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  depth = n % 2 ? values[n / 2] : 0.5f * (values[n / 2 - 1] + values[n / 2]);
  return true;
}

using namespace DD::Image;

namespace {

double knobValue(const Op& node, const char* name, double fallback) {
  const Knob* k = node.knob(name);
  return k ? k->get_value() : fallback;
}

}  // namespace

ktOrvelSettings lensSettingsOf(const Op& node, int width, int height) {
  ktOrvelSettings s;
  float* const floats[] = {&s.focalPlane,     &s.focusRegionSize, &s.multiplier, &s.frontmultiplier,
                           &s.backmultiplier, &s.focalLength,     &s.fStop,      &s.worldScaleMultiplier,
                           &s.apertureWidth,  &s.apertureHeight};
  const char* const floatNames[] = {"focalPlane",     "focusRegionSize", "multiplier", "frontmultiplier",
                                    "backmultiplier", "focalLength",     "fStop",      "worldScaleMultiplier",
                                    "apertureWidth",  "apertureHeight"};
  for (size_t i = 0; i < sizeof floats / sizeof floats[0]; ++i)
    *floats[i] = static_cast<float>(knobValue(node, floatNames[i], *floats[i]));
  s.max_kernelsize = int(knobValue(node, "max_kernelsize", s.max_kernelsize));
  s.focusRegionFalloff = int(knobValue(node, "focusRegionFalloff", s.focusRegionFalloff));
  s.depthStyle = int(knobValue(node, "depthStyle", s.depthStyle));
  s.worldScale = int(knobValue(node, "worldScale", s.worldScale));
  s.realWorldLens = knobValue(node, "realWorldLens", 0) != 0;
  s.filmFormat = int(knobValue(node, "filmFormat", s.filmFormat));
  applyFilmFormat(s);
  computeLensValues(s, width, height);
  s.contextScale = 1.0f;
  return s;
}
