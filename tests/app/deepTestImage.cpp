#include "deepTestImage.h"

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>

#include <stdexcept>

DeepTestImage makeDeepImage(int width, int height, const std::vector<std::string>& channels,
                            const std::function<void(int, int, std::vector<float>&)>& samples) {
  DeepTestImage image;
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.pixels.resize(size_t(width) * size_t(height));
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) samples(x, row, image.pixels[size_t(row) * size_t(width) + size_t(x)]);
  return image;
}

void writeDeepImage(const std::string& path, const DeepTestImage& image) {
  const int n = int(image.channels.size());
  OIIO::ImageSpec spec(image.width, image.height, n, OIIO::TypeDesc::FLOAT);
  spec.channelnames = image.channels;
  spec.deep = true;
  if (image.tileSize > 0) spec.tile_width = spec.tile_height = image.tileSize;
  OIIO::DeepData data;
  data.init(spec);
  for (size_t p = 0; p < image.pixels.size(); ++p)
    data.set_samples(int64_t(p), int(image.pixels[p].size()) / n);
  for (size_t p = 0; p < image.pixels.size(); ++p)
    for (size_t i = 0; i < image.pixels[p].size(); ++i)
      data.set_deep_value(int64_t(p), int(i % size_t(n)), int(i / size_t(n)), image.pixels[p][i]);
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, spec) || !out->write_deep_image(data))
    throw std::runtime_error("cannot write deep test image " + path);
  out->close();
}
