#include "files/layerInput.h"

#include <cmath>
#include <limits>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "files/imageReader.h"
#include "files/inputChecks.h"
#include "ktOrvelSettings.h"

using namespace DD::Image;
using namespace standin;

namespace {

// The depth of a pixel nothing can be seen behind: the far end of every lens.
constexpr float kFar = std::numeric_limits<float>::max();

double knobValue(const Op& node, const char* name) {
  const Knob* k = node.knob(name);
  return k ? k->get_value() : 0.0;
}

// The distance a depth value stands for: "1/z" values inverted, what names no distance far away.
float sampleDepth(float v, bool inverse) {
  if (!std::isfinite(v)) return kFar;
  if (inverse) return v > 0.0f ? 1.0f / v : kFar;
  return v;
}

std::string formatText(const Format& f) {
  return std::to_string(f.width()) + " x " + std::to_string(f.height());
}

bool sameFormat(const Format& a, const Format& b) {
  return a.width() == b.width() && a.height() == b.height() && a.x() == b.x() && a.y() == b.y() &&
         a.r() == b.r() && a.t() == b.t();
}

Status checkLayer(const std::string& path, const LoadedImage& layer, const LoadedImage& first,
                  const std::string& firstPath, Channel depth) {
  const MemoryIop& image = *layer.image;
  if (!image.channels().contains(Chan_Alpha))
    return Status::usage("--layer '" + path +
                         "' has no alpha channel: a layer needs colour, alpha and depth");
  if (!image.channels().contains(depth))
    return Status::usage("--layer '" + path + "' has no depth channel " +
                         fileChannelName(layer.names, depth) + " (set depthChannel to the layers' depth)");
  if (!sameFormat(image.format(), first.image->format()))
    return Status::usage("--layer '" + path + "' is " + formatText(image.format()) + ", but '" + firstPath +
                         "' is " + formatText(first.image->format()) + ": all layers share one format");
  return Status::success();
}

double imageBytes(const MemoryIop& image) {
  return double(image.info().box().w()) * image.info().box().h() * image.channels().size() * sizeof(float);
}

size_t coveredPixels(const MemoryIop& image) {
  const float* alpha = image.plane(Chan_Alpha);
  const size_t n = size_t(image.info().box().w()) * size_t(image.info().box().h());
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) count += alpha[i] > 0.0f;
  return count;
}

// Appends the samples of pixel (x, y) of every layer that covers it.
void gatherSamples(const std::vector<LoadedImage>& layers, const ChannelMap& map, Channel depth, bool inverse,
                   int x, int y, std::vector<float>& samples) {
  samples.clear();
  for (const LoadedImage& layer : layers) {
    const MemoryIop& image = *layer.image;
    const Box& box = image.info().box();
    if (x < box.x() || x >= box.r() || y < box.y() || y >= box.t()) continue;
    const size_t i = size_t(y - box.y()) * size_t(box.w()) + size_t(x - box.x());
    if (!(image.plane(Chan_Alpha)[i] > 0.0f)) continue;
    const size_t at = samples.size();
    samples.resize(at + size_t(map.size()), 0.0f);
    for (Channel z : image.channels())
      if (map.chanNo(z) >= 0) samples[at + size_t(map.chanNo(z))] = image.plane(z)[i];
    const float d = sampleDepth(image.plane(depth)[i], inverse);
    samples[at + size_t(map.chanNo(Chan_DeepFront))] = samples[at + size_t(map.chanNo(Chan_DeepBack))] = d;
  }
}

}  // namespace

Status readLayers(const std::vector<std::string>& paths, const Op& node, double maxBytes, LoadedDeep& out,
                  std::vector<std::string>& warnings, const std::string& part) {
  const Channel depth = Channel(int(knobValue(node, "depthChannel")));
  const bool inverse = int(knobValue(node, "depthStyle")) == kDepthInverse;
  std::vector<LoadedImage> layers(paths.size());
  double bytes = 0, samples = 0;
  ChannelSet layout;
  Box box;
  for (size_t l = 0; l < paths.size(); ++l) {
    if (Status s = readImage(paths[l], maxBytes - bytes, layers[l], warnings, part); !s.ok()) return s;
    if (Status s = checkLayer(paths[l], layers[l], layers[0], paths[0], depth); !s.ok()) return s;
    const MemoryIop& image = *layers[l].image;
    bytes += imageBytes(image);
    samples += double(coveredPixels(image));
    layout += image.channels();
    if (l == 0)
      box.set(image.info().box());
    else
      box.merge(image.info().box());
  }
  layout -= depth;
  layout -= Chan_Z;
  layout += Mask_Deep;
  const double pixels = double(box.w()) * box.h();
  const double deepBytes = samples * layout.size() * sizeof(float) + pixels * sizeof(std::vector<float>);
  if (Status s = checkMemory(bytes + deepBytes, maxBytes, paths.back()); !s.ok()) return s;

  out.image = std::make_unique<MemoryDeepOp>(layers[0].image->format(), box, layout);
  out.fileChannels = layers[0].fileChannels;
  out.header = layers[0].header;
  std::vector<float> pixel;
  const ChannelMap& map = out.image->channelMap();
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      gatherSamples(layers, map, depth, inverse, x, y, pixel);
      out.image->setPixel(x, y, pixel.data(), pixel.size() / size_t(map.size()));
    }
  return Status::success();
}
